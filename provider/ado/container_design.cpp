#include "provider/ado/container_design.h"

#include <algorithm>
#include <cctype>

#include "provider/error.h"
#include "provider/format/container.h"
#include "provider/format/container_properties.h"
#include "provider/format/file_io.h"
#include "provider/format/file_names.h"
#include "provider/format/header.h"
#include "provider/indexing/attach.h"

namespace dorvane::provider {
namespace fs = std::filesystem;

namespace {

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::int64_t intOf(const Value& value) {
    const auto* i = std::get_if<std::int64_t>(&value);
    return i ? *i : 0;
}

// The container's own table, writable with its .dcx kept true, and the object records it holds.
class ObjectRecords {
public:
    explicit ObjectRecords(const fs::path& dbc) : m_container(Container::open(dbc, OpenMode::Exclusive)) {
        if (auto refusal = indexing::attachIndexMaintenance(table(), m_keep)) throw *refusal;
    }
    ~ObjectRecords() { m_keep.clear(); }

    Table& table() { return m_container->dbcTable(); }
    const ContainerTable& member(const std::string& name) const {
        const ContainerTable* entry = m_container->findTable(name);
        if (!entry) throw ProviderError::make(FoxError::TableNotInDatabase, name);
        return *entry;
    }
    int field(const char* name) { return table().fieldIndex(name); }

    std::int64_t append(std::int64_t parent, const std::string& type, const std::string& name,
                        const PropertyMap& properties, const std::string& riinfo = {}) {
        std::int64_t id = table().recordCount() + 1;
        for (std::uint32_t recno = 1; recno <= table().recordCount(); ++recno)
            id = std::max(id, intOf(table().value(recno, field("OBJECTID"))) + 1);
        FieldAssignments values = {{field("OBJECTID"), id},
                                   {field("PARENTID"), parent},
                                   {field("OBJECTTYPE"), type},
                                   {field("OBJECTNAME"), name},
                                   {field("PROPERTY"), Blob{encodeProperties(properties)}}};
        if (!riinfo.empty()) values.emplace_back(field("RIINFO"), riinfo);
        table().append(values);
        return id;
    }

    // Live records of this type under this parent.
    int count(std::int64_t parent, const std::string& type) {
        int n = 0;
        for (std::uint32_t recno = 1; recno <= table().recordCount(); ++recno) {
            if (table().isDeleted(recno) || intOf(table().value(recno, field("PARENTID"))) != parent)
                continue;
            const Value objectType = table().value(recno, field("OBJECTTYPE"));
            const auto* text = std::get_if<std::string>(&objectType);
            if (text && text->starts_with(type)) ++n;
        }
        return n;
    }

private:
    std::unique_ptr<Container> m_container;
    std::vector<std::unique_ptr<indexing::IndexMaintainer>> m_keep;
};

void markStructuralIndex(const fs::path& dbf) {
    File file = File::openExisting(dbf, true);
    char flags = 0;
    file.readAt(kOffsetTableFlags, &flags, 1);
    flags = static_cast<char>(flags | kTableFlagStructuralIndex);
    file.writeAt(kOffsetTableFlags, &flags, 1);
    file.sync();
}

bool hasTag(const fs::path& dbf, const std::string& tag) {
    const fs::path cdx = siblingFile(dbf, "cdx");
    if (!fs::exists(cdx)) return false;
    const auto tags = index::CdxFile::open(cdx.string()).tags();
    return std::any_of(tags.begin(), tags.end(),
                       [&](const auto& t) { return equalsIgnoringAsciiCase(t.name, tag); });
}

}  // namespace

void addIndexTag(const fs::path& dbc, const std::string& tableName, const index::TagDefinition& tag,
                 bool primary) {
    // The index first, with the container free for opening the table with its long field names.
    ContainerTable member;
    {
        const auto container = Container::open(dbc, OpenMode::ReadOnly);
        const ContainerTable* entry = container->findTable(tableName);
        if (!entry) throw ProviderError::make(FoxError::TableNotInDatabase, tableName);
        member = *entry;
    }
    const fs::path cdx = siblingFile(member.path, "cdx");
    const index::TagContent content{tag, {}, std::nullopt};
    if (!Table::open(member.path, OpenMode::Exclusive)->structuralIndexPath()) {
        index::CdxFile::create(cdx.string(), {content});
        markStructuralIndex(member.path);
    } else {
        auto table = openTableWithLongNames(member.path, OpenMode::Exclusive);
        std::vector<std::unique_ptr<indexing::IndexMaintainer>> keep;
        if (auto refusal = indexing::attachIndexMaintenance(*table, keep)) throw *refusal;
        keep.front()->indexFile().addTag(content);
    }
    {
        // The keys of the records already there.
        auto table = openTableWithLongNames(member.path, OpenMode::Exclusive);
        std::vector<std::unique_ptr<indexing::IndexMaintainer>> keep;
        if (auto refusal = indexing::attachIndexMaintenance(*table, keep)) throw *refusal;
        keep.front()->rebuild();
    }
    ObjectRecords objects(dbc);
    objects.append(member.objectId, "Index", lowered(tag.name),
                   {{kPropertyCandidate, std::string(1, tag.candidate || primary ? '\x01' : '\x00')}});
    if (!primary) return;
    Table& dbcTable = objects.table();
    const Value memo = dbcTable.value(member.recno, objects.field("PROPERTY"));
    const auto* blob = std::get_if<Blob>(&memo);
    const auto* text = std::get_if<std::string>(&memo);
    PropertyMap properties = parseProperties(blob ? blob->bytes : text ? *text : std::string());
    properties[kPropertyPrimaryKey] = textProperty(lowered(tag.name));
    dbcTable.update(member.recno, {{objects.field("PROPERTY"), Blob{encodeProperties(properties)}}});
}

void addRelation(const fs::path& dbc, const RelationDefinition& relation) {
    if (relation.rules.size() != 3 || !std::all_of(relation.rules.begin(), relation.rules.end(),
                                                   [](char c) { return c == 'C' || c == 'R' || c == 'I'; }))
        throw ProviderError::make(FoxError::SyntaxError);
    ObjectRecords objects(dbc);
    const ContainerTable child = objects.member(relation.childTable);
    const ContainerTable parent = objects.member(relation.parentTable);
    if (!hasTag(child.path, relation.childTag) || !hasTag(parent.path, relation.parentTag))
        throw ProviderError::make(FoxError::TagNotFound);
    const int n = objects.count(child.objectId, "Relation") + 1;
    objects.append(child.objectId, "Relation", "Relation " + std::to_string(n),
                   {{kPropertyChildTag, textProperty(lowered(relation.childTag))},
                    {kPropertyParentTable, textProperty(lowered(parent.name))},
                    {kPropertyParentTag, textProperty(lowered(relation.parentTag))}},
                   relation.rules);
}

}  // namespace dorvane::provider
