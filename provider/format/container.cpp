#include "provider/format/container.h"

#include <algorithm>

#include "provider/error.h"
#include "provider/format/container_properties.h"
#include "provider/format/file_names.h"

namespace dorvane::provider {
namespace {

std::string trimmedRight(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
}

std::int32_t intOf(const Value& value) {
    if (auto i = std::get_if<std::int64_t>(&value)) return static_cast<std::int32_t>(*i);
    return 0;
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    if (std::filesystem::equivalent(a, b, error)) return true;
    return equalsIgnoringAsciiCase(std::filesystem::weakly_canonical(a, error).string(),
                                   std::filesystem::weakly_canonical(b, error).string());
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::unique_ptr<Container> Container::open(const std::filesystem::path& dbcPath, OpenMode mode) {
    std::unique_ptr<Container> container(new Container);
    container->m_path = dbcPath;
    container->m_table = Table::open(dbcPath, mode);
    Table& t = *container->m_table;
    container->m_objectId = t.fieldIndex("OBJECTID");
    container->m_parentId = t.fieldIndex("PARENTID");
    container->m_objectType = t.fieldIndex("OBJECTTYPE");
    container->m_objectName = t.fieldIndex("OBJECTNAME");
    container->m_property = t.fieldIndex("PROPERTY");
    if (std::min({container->m_objectId, container->m_parentId, container->m_objectType,
                  container->m_objectName, container->m_property}) < 0)
        throw ProviderError::make(FoxError::NotATable, dbcPath.filename().string());
    container->reload();
    return container;
}

void Container::reload() {
    m_table->refresh();
    m_tables.clear();
    m_views.clear();
    const std::filesystem::path folder = m_path.parent_path();
    std::vector<Value> row;
    for (std::uint32_t recno = 1; recno <= m_table->recordCount(); ++recno) {
        if (m_table->isDeleted(recno)) continue;
        m_table->readRecord(recno, row);
        const std::string type = trimmedRight(textOf(row[static_cast<std::size_t>(m_objectType)]));
        const std::string name = trimmedRight(textOf(row[static_cast<std::size_t>(m_objectName)]));
        const std::int32_t id = intOf(row[static_cast<std::size_t>(m_objectId)]);
        const std::int32_t parent = intOf(row[static_cast<std::size_t>(m_parentId)]);
        if (type == "Table") {
            const PropertyMap properties = parseProperties(textOf(row[static_cast<std::size_t>(m_property)]));
            ContainerTable table;
            table.objectId = id;
            table.recno = recno;
            table.name = name;
            table.relativePath = propertyText(properties, kPropertyPath);
            std::string relative = table.relativePath;
            std::replace(relative.begin(), relative.end(), '\\', '/');
            const std::filesystem::path full = folder / relative;
            const auto resolved = resolveFileCaseInsensitive(full.parent_path(), full.filename().string());
            table.path = resolved ? *resolved : full;
            m_tables.push_back(std::move(table));
        } else if (type == "View") {
            const PropertyMap properties = parseProperties(textOf(row[static_cast<std::size_t>(m_property)]));
            m_views.push_back({id, name, propertyText(properties, kPropertyViewSql)});
        } else if (type == "Field") {
            auto owner = std::find_if(m_tables.begin(), m_tables.end(),
                                      [&](const ContainerTable& t) { return t.objectId == parent; });
            if (owner != m_tables.end()) owner->fields.push_back({id, name});
        }
    }
}

const ContainerTable* Container::findTable(std::string_view name) const {
    for (const ContainerTable& t : m_tables)
        if (equalsIgnoringAsciiCase(t.name, name)) return &t;
    return nullptr;
}

const ContainerTable* Container::findTableByFile(const std::filesystem::path& dbf) const {
    for (const ContainerTable& t : m_tables)
        if (sameFile(t.path, dbf)) return &t;
    return nullptr;
}

const ContainerTable& Container::requireTable(std::string_view name) const {
    const ContainerTable* table = findTable(name);
    if (!table) throw ProviderError::make(FoxError::TableNotInDatabase, name);
    return *table;
}

std::unique_ptr<Table> Container::openTable(std::string_view name, OpenMode mode) const {
    const ContainerTable& entry = requireTable(name);
    auto table = Table::open(entry.path, mode);
    std::vector<std::string> names;
    for (const ContainerField& f : entry.fields) names.push_back(f.name);
    table->setLongFieldNames(names);
    return table;
}

std::int32_t Container::nextObjectId() {
    std::int32_t highest = 0;
    for (std::uint32_t recno = 1; recno <= m_table->recordCount(); ++recno)
        highest = std::max(highest, intOf(m_table->value(recno, m_objectId)));
    return std::max<std::int32_t>(highest + 1, static_cast<std::int32_t>(m_table->recordCount() + 1));
}

std::uint32_t Container::appendObject(std::int32_t parentId, const std::string& type, const std::string& name,
                                      const std::string& properties) {
    FieldAssignments values = {{m_objectId, std::int64_t{nextObjectId()}},
                               {m_parentId, std::int64_t{parentId}},
                               {m_objectType, type},
                               {m_objectName, name}};
    if (!properties.empty()) values.push_back({m_property, Blob{properties}});
    return m_table->append(values);
}

void Container::addTable(const std::string& name, const std::filesystem::path& dbf,
                         const std::vector<std::string>& fieldNames) {
    if (findTable(name)) throw ProviderError::make(FoxError::FileAlreadyExists, name);
    m_table->ensureWritable();
    auto member = Table::open(dbf, OpenMode::Exclusive);
    if (!member->header().backlink.empty())
        throw ProviderError::make(FoxError::CannotAddTable, member->header().backlink);
    member->ensureWritable();
    const std::filesystem::path relative = std::filesystem::relative(dbf, m_path.parent_path());
    const PropertyMap properties = {{kPropertySubType, std::string(1, '\x01')},
                                    {kPropertyPath, textProperty(lowered(relative.generic_string()))}};
    const std::uint32_t recno = appendObject(1, "Table", lowered(name), encodeProperties(properties));
    const std::int32_t tableId = intOf(m_table->value(recno, m_objectId));
    for (const std::string& field : fieldNames) appendObject(tableId, "Field", lowered(field), {});
    const std::filesystem::path back = std::filesystem::relative(m_path, dbf.parent_path());
    member->setBacklink(lowered(back.generic_string()));
    reload();
}

void Container::removeTable(std::string_view name) {
    const ContainerTable entry = requireTable(name);
    m_table->ensureWritable();
    for (std::uint32_t recno = 1; recno <= m_table->recordCount(); ++recno) {
        if (m_table->isDeleted(recno)) continue;
        const std::int32_t id = intOf(m_table->value(recno, m_objectId));
        const std::int32_t parent = intOf(m_table->value(recno, m_parentId));
        if (id == entry.objectId || parent == entry.objectId) m_table->setDeleted(recno, true);
    }
    if (std::filesystem::exists(entry.path)) Table::open(entry.path, OpenMode::Exclusive)->setBacklink({});
    reload();
}

void Container::addField(std::string_view table, const std::string& fieldName) {
    const ContainerTable& entry = requireTable(table);
    for (const ContainerField& f : entry.fields)
        if (equalsIgnoringAsciiCase(f.name, fieldName))
            throw ProviderError::make(FoxError::FieldNameInvalid, fieldName);
    validateFieldName(fieldName, kMaxContainerFieldName);
    appendObject(entry.objectId, "Field", lowered(fieldName), {});
    reload();
}

void Container::removeField(std::string_view table, std::string_view fieldName) {
    const ContainerTable& entry = requireTable(table);
    for (const ContainerField& f : entry.fields) {
        if (!equalsIgnoringAsciiCase(f.name, fieldName)) continue;
        for (std::uint32_t recno = 1; recno <= m_table->recordCount(); ++recno)
            if (!m_table->isDeleted(recno) && intOf(m_table->value(recno, m_objectId)) == f.objectId) {
                m_table->setDeleted(recno, true);
                break;
            }
        reload();
        return;
    }
    throw ProviderError::make(FoxError::VariableNotFound, fieldName);
}

void Container::renameField(std::string_view table, std::string_view fieldName, const std::string& newName) {
    const ContainerTable& entry = requireTable(table);
    validateFieldName(newName, kMaxContainerFieldName);
    const ContainerField* target = nullptr;
    for (const ContainerField& f : entry.fields) {
        if (equalsIgnoringAsciiCase(f.name, newName) && !equalsIgnoringAsciiCase(f.name, fieldName))
            throw ProviderError::make(FoxError::FieldNameInvalid, newName);
        if (equalsIgnoringAsciiCase(f.name, fieldName)) target = &f;
    }
    if (!target) throw ProviderError::make(FoxError::VariableNotFound, fieldName);
    for (std::uint32_t recno = 1; recno <= m_table->recordCount(); ++recno)
        if (!m_table->isDeleted(recno) && intOf(m_table->value(recno, m_objectId)) == target->objectId) {
            m_table->update(recno, {{m_objectName, lowered(newName)}});
            break;
        }
    reload();
}

std::unique_ptr<Table> openTableWithLongNames(const std::filesystem::path& dbf, OpenMode mode) {
    auto table = Table::open(dbf, mode);
    const auto dbc = table->containerPath();
    if (!dbc) return table;
    try {
        const auto container = Container::open(*dbc, OpenMode::ReadOnly);
        if (const ContainerTable* entry = container->findTableByFile(dbf)) {
            std::vector<std::string> names;
            for (const ContainerField& f : entry->fields) names.push_back(f.name);
            table->setLongFieldNames(names);
        }
    } catch (const ProviderError&) {
        // The container is missing or unreadable: the table keeps its short names.
    }
    return table;
}

}  // namespace dorvane::provider
