// Gives a table of a container triggers of FoxPro's own (container properties 14 insert, 15 update,
// 16 delete), written through the container with its index kept.
#pragma once

#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>

#include "provider/format/container.h"
#include "provider/format/container_properties.h"
#include "provider/indexing/attach.h"

namespace dorvane::test {

inline void setTriggers(const std::filesystem::path& dbc, const std::string& table,
                        const std::map<int, std::string>& triggers) {
    using namespace provider;
    auto container = Container::open(dbc, OpenMode::Exclusive);
    std::vector<std::unique_ptr<indexing::IndexMaintainer>> keep;
    if (indexing::attachIndexMaintenance(container->dbcTable(), keep))
        throw std::runtime_error("no .dcx kept");
    const auto recno = container->findTable(table)->recno;
    const int property = container->dbcTable().fieldIndex("PROPERTY");
    const Value memo = container->dbcTable().value(recno, property);
    PropertyMap properties = parseProperties(
        std::holds_alternative<Blob>(memo) ? std::get<Blob>(memo).bytes : std::get<std::string>(memo));
    for (const auto& [id, text] : triggers) properties[id] = textProperty(text);
    container->dbcTable().update(recno, {{property, Blob{encodeProperties(properties)}}});
}

}  // namespace dorvane::test
