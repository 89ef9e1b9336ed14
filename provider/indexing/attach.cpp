#include "provider/indexing/attach.h"

namespace dorvane::provider::indexing {

std::optional<ProviderError> attachIndexMaintenance(Table& table,
                                                    std::vector<std::unique_ptr<IndexMaintainer>>& keepAlive) {
    if (table.mode() == OpenMode::ReadOnly || !table.structuralIndexPath()) return std::nullopt;
    try {
        if (auto maintainer = IndexMaintainer::attach(table)) keepAlive.push_back(std::move(maintainer));
        return std::nullopt;
    } catch (const ProviderError& e) {
        return e;
    }
}

IndexMaintainer* maintainerOf(Table& table) {
    return dynamic_cast<IndexMaintainer*>(table.changeObserver());
}

}  // namespace dorvane::provider::indexing
