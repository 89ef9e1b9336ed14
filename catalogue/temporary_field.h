// The row-identifier column tempidxxx as the table-list window prepares it before the editor binds its
// grid: dropped when a table still holds one, added as the last column, numbered by record number.
#pragma once

#include <QString>
#include <functional>

namespace dorvane::provider {
class Connection;
}

namespace dorvane::catalogue {

// Drops an existing "tempidxxx" column of `table` (exact, case-sensitive name), adds it again as a
// nullable integer and fills it with recno(), all over `connection`. No trap: the first failing
// statement raises ProviderError and the remaining ones do not run. `beforeChange` runs once the
// table has been read, before its first change.
void prepareTemporaryColumn(provider::Connection& connection, const QString& table,
                            const std::function<void()>& beforeChange);

}  // namespace dorvane::catalogue
