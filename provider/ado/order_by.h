// ORDER BY of a SELECT over one table: the records it shows, sorted by its items under the
// connection's comparison settings (texts by the Collating Sequence).
#pragma once

#include <cstdint>
#include <vector>

#include "provider/format/table.h"
#include "provider/sql/row_context.h"
#include "provider/sql/statement.h"

namespace dorvane::provider {

// `recnos` in the order `s.orderBy` gives: each item an expression, or an integer naming a result
// column by position (a field of SELECT *). Ties keep record order; NULL sorts before any value (after
// with DESC). Raises what compiling or evaluating an item raises, and ProviderError(SyntaxError) for a
// position outside the result columns.
std::vector<std::uint32_t> orderedRecords(Table& table, const sql::SelectStatement& s,
                                          std::vector<std::uint32_t> recnos, const sql::EvalOptions& options);

}  // namespace dorvane::provider
