#include "provider/format/container_properties.h"

#include <algorithm>

#include "provider/error.h"
#include "provider/format/container.h"
#include "provider/format/header.h"

namespace dorvane::provider {
namespace {

// Calls `visit(id, value, entry)` for each entry of a PROPERTY memo, in order (`entry` is the whole
// entry, head included). Raises DbcInconsistent for an entry that runs past the memo.
template <class Visit>
void forEachEntry(std::string_view memo, Visit&& visit) {
    std::size_t pos = 0;
    while (pos < memo.size()) {
        if (memo.size() - pos < kPropertyOffsetId + 1) throw ProviderError::make(FoxError::DbcInconsistent);
        const std::uint32_t length = readLe32(memo.data() + pos + kPropertyOffsetLength);
        const std::uint16_t idLength = readLe16(memo.data() + pos + kPropertyOffsetIdLength);
        if (idLength < 1 || idLength > 2 || length < kPropertyOffsetId + idLength ||
            length > memo.size() - pos)
            throw ProviderError::make(FoxError::DbcInconsistent);
        const int id = static_cast<int>(readLe(memo.data() + pos + kPropertyOffsetId, idLength));
        const std::size_t valueStart = kPropertyOffsetId + idLength;
        visit(id, memo.substr(pos + valueStart, length - valueStart), memo.substr(pos, length));
        pos += length;
    }
}

std::string memoText(const Value& value) {
    if (auto s = std::get_if<std::string>(&value)) return *s;
    if (auto b = std::get_if<Blob>(&value)) return b->bytes;
    return {};
}

std::int32_t objectIdOf(const Value& value) {
    if (auto i = std::get_if<std::int64_t>(&value)) return static_cast<std::int32_t>(*i);
    return 0;
}

struct ObjectColumns {
    int objectId, property;
};

ObjectColumns columnsOf(Container& container) {
    Table& dbc = container.dbcTable();
    const ObjectColumns columns{dbc.fieldIndex("OBJECTID"), dbc.fieldIndex("PROPERTY")};
    if (columns.objectId < 0 || columns.property < 0) throw ProviderError::make(FoxError::DbcInconsistent);
    return columns;
}

}  // namespace

std::string textOf(const Value& value) {
    if (auto s = std::get_if<std::string>(&value)) return *s;
    if (auto b = std::get_if<Blob>(&value)) return b->bytes;
    return {};
}

PropertyMap parseProperties(std::string_view memo) {
    PropertyMap properties;
    forEachEntry(memo, [&](int id, std::string_view value, std::string_view) { properties[id] = value; });
    return properties;
}

std::string encodeProperties(const PropertyMap& properties) {
    std::string memo;
    for (const auto& [id, value] : properties) {
        const std::uint16_t idLength = id > 255 ? 2 : 1;
        char head[kPropertyOffsetId + 2];
        writeLe32(head + kPropertyOffsetLength,
                  static_cast<std::uint32_t>(kPropertyOffsetId + idLength + value.size()));
        writeLe16(head + kPropertyOffsetIdLength, idLength);
        writeLe(head + kPropertyOffsetId, static_cast<std::uint32_t>(id), 2);
        memo.append(head, kPropertyOffsetId + idLength);
        memo += value;
    }
    return memo;
}

std::string propertyText(const PropertyMap& properties, int id) {
    const auto found = properties.find(id);
    if (found == properties.end()) return {};
    const std::string& value = found->second;
    return value.substr(0, value.find('\0'));
}

std::string textProperty(std::string_view text) {
    return std::string(text) + '\0';
}

std::map<std::int32_t, PropertyMap> objectProperties(Container& container,
                                                     const std::vector<std::int32_t>& objectIds) {
    Table& dbc = container.dbcTable();
    const ObjectColumns columns = columnsOf(container);
    std::map<std::int32_t, PropertyMap> found;
    for (std::uint32_t recno = 1; recno <= dbc.recordCount() && found.size() < objectIds.size(); ++recno) {
        if (dbc.isDeleted(recno)) continue;
        const std::int32_t id = objectIdOf(dbc.value(recno, columns.objectId));
        if (std::find(objectIds.begin(), objectIds.end(), id) == objectIds.end()) continue;
        found[id] = parseProperties(memoText(dbc.value(recno, columns.property)));
    }
    return found;
}

void setObjectProperties(Container& container, std::int32_t objectId, const PropertyMap& properties) {
    Table& dbc = container.dbcTable();
    const ObjectColumns columns = columnsOf(container);
    for (std::uint32_t recno = 1; recno <= dbc.recordCount(); ++recno) {
        if (dbc.isDeleted(recno) || objectIdOf(dbc.value(recno, columns.objectId)) != objectId) continue;
        std::string memo;
        forEachEntry(memoText(dbc.value(recno, columns.property)),
                     [&](int id, std::string_view, std::string_view entry) {
                         if (!properties.count(id)) memo += entry;
                     });
        memo += encodeProperties(properties);
        dbc.update(recno, {{columns.property, Blob{memo}}});
        return;
    }
    throw ProviderError::make(FoxError::DbcInconsistent);
}

}  // namespace dorvane::provider
