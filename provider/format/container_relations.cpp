#include "provider/format/container_relations.h"

#include <algorithm>
#include <cctype>

#include "provider/format/container.h"
#include "provider/format/container_properties.h"
#include "provider/format/file_names.h"

namespace dorvane::provider {
namespace {

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ') ++start;
    return text.substr(start);
}

std::int64_t intOf(const Value& value) {
    const auto* i = std::get_if<std::int64_t>(&value);
    return i ? *i : 0;
}

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

RiAction riActionOf(char letter) {
    switch (std::toupper(static_cast<unsigned char>(letter))) {
        case 'C':
            return RiAction::Cascade;
        case 'R':
            return RiAction::Restrict;
        default:
            return RiAction::Ignore;
    }
}

char riLetterOf(RiAction action) {
    return action == RiAction::Cascade ? 'C' : action == RiAction::Restrict ? 'R' : 'I';
}

ContainerLinks readContainerLinks(const std::filesystem::path& dbc) {
    const auto container = Container::open(dbc, OpenMode::ReadOnly);
    Table& t = container->dbcTable();
    const int idField = t.fieldIndex("OBJECTID"), parentField = t.fieldIndex("PARENTID");
    const int typeField = t.fieldIndex("OBJECTTYPE"), propertyField = t.fieldIndex("PROPERTY");
    const int riField = t.fieldIndex("RIINFO");
    auto tableById = [&](std::int64_t id) -> const ContainerTable* {
        for (const auto& table : container->tables())
            if (table.objectId == id) return &table;
        return nullptr;
    };
    auto tableByName = [&](const std::string& name) { return container->findTable(name); };

    ContainerLinks links;
    std::vector<Value> row;
    for (std::uint32_t recno = 1; recno <= t.recordCount(); ++recno) {
        if (t.isDeleted(recno)) continue;
        t.readRecord(recno, row);
        const std::string type = trimmed(textOf(row[std::size_t(typeField)]));
        if (type != "Relation" && type != "Table") continue;
        const PropertyMap properties = parseProperties(textOf(row[std::size_t(propertyField)]));
        if (type == "Table") {
            const ContainerTable* table = tableById(intOf(row[std::size_t(idField)]));
            TableTriggers triggers;
            triggers.onInsert = trimmed(propertyText(properties, kPropertyInsertTrigger));
            triggers.onUpdate = trimmed(propertyText(properties, kPropertyUpdateTrigger));
            triggers.onDelete = trimmed(propertyText(properties, kPropertyDeleteTrigger));
            if (!table ||
                (triggers.onInsert.empty() && triggers.onUpdate.empty() && triggers.onDelete.empty()))
                continue;
            triggers.table = table->name;
            triggers.path = table->path;
            links.triggers.push_back(std::move(triggers));
            continue;
        }
        const ContainerTable* child = tableById(intOf(row[std::size_t(parentField)]));
        const ContainerTable* parent = tableByName(trimmed(propertyText(properties, kPropertyParentTable)));
        if (!child || !parent) continue;
        ContainerRelation relation;
        relation.childTable = child->name;
        relation.childPath = child->path;
        relation.childTag = trimmed(propertyText(properties, kPropertyChildTag));
        relation.parentTable = parent->name;
        relation.parentPath = parent->path;
        relation.parentTag = trimmed(propertyText(properties, kPropertyParentTag));
        const std::string letters = riField >= 0 ? textOf(row[std::size_t(riField)]) + "   " : "   ";
        relation.onUpdate = riActionOf(letters[0]);
        relation.onDelete = riActionOf(letters[1]);
        relation.onInsert = riActionOf(letters[2]);
        links.relations.push_back(std::move(relation));
    }
    return links;
}

bool isIntegrityBuilderTrigger(const std::string& expression, const std::string& kind) {
    const std::string text = lowered(trimmed(expression));
    const std::string prefix = "__ri_" + kind + "_";
    if (!text.starts_with(prefix) || !text.ends_with("()")) return false;
    const std::string name = text.substr(prefix.size(), text.size() - prefix.size() - 2);
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

std::vector<std::string> foreignTriggers(const TableTriggers& triggers) {
    std::vector<std::string> found;
    const std::pair<const char*, const std::string*> kinds[] = {
        {"insert", &triggers.onInsert}, {"update", &triggers.onUpdate}, {"delete", &triggers.onDelete}};
    for (const auto& [kind, expression] : kinds) {
        if (!expression->empty() && !isIntegrityBuilderTrigger(*expression, kind))
            found.push_back(std::string(kind) + " trigger: " + *expression);
    }
    return found;
}

}  // namespace dorvane::provider
