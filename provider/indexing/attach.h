// The one call the statement executor makes after opening a table (or a container's .dbc): keep its
// structural index true, or learn why the table must stay read-only.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "provider/error.h"
#include "provider/format/table.h"
#include "provider/indexing/index_maintainer.h"

namespace dorvane::provider::indexing {

// Attaches an IndexMaintainer to `table` and appends it to `keepAlive` (which must be destroyed, or
// cleared, before the table). Returns nullopt when the table is now maintained or needs nothing (no
// structural index, opened read-only). Otherwise returns the error every write must report — the
// tag and the reason named (IndexNotMaintained), or what opening the index raised — and attaches
// nothing, so the table stays readable and Table::ensureWritable() keeps refusing writes.
std::optional<ProviderError> attachIndexMaintenance(Table& table,
                                                    std::vector<std::unique_ptr<IndexMaintainer>>& keepAlive);

// The maintainer keeping `table`'s index, or null (for checkFieldChange() before ALTER TABLE).
IndexMaintainer* maintainerOf(Table& table);

}  // namespace dorvane::provider::indexing
