#include "provider/ado/order_by.h"

#include <algorithm>
#include <numeric>

#include "provider/ado/table_rows.h"
#include "provider/error.h"
#include "provider/sql/evaluator.h"
#include "provider/sql/value_ops.h"

namespace dorvane::provider {

std::vector<std::uint32_t> orderedRecords(Table& table, const sql::SelectStatement& s,
                                          std::vector<std::uint32_t> recnos,
                                          const sql::EvalOptions& options) {
    const TableFieldCatalog fields(table);
    std::vector<sql::CompiledExpr> keys;
    for (const sql::OrderItem& item : s.orderBy) {
        const sql::Expr* expr = item.expr.get();
        if (expr->kind == sql::ExprKind::Literal) {
            // ORDER BY 2: the second result column.
            const auto* position = std::get_if<std::int64_t>(&expr->literal);
            const auto columns =
                static_cast<std::int64_t>(s.items.empty() ? table.fields().size() : s.items.size());
            if (!position || *position < 1 || *position > columns)
                throw ProviderError::make(FoxError::SyntaxError);
            const auto index = static_cast<std::size_t>(*position - 1);
            if (s.items.empty()) {
                keys.push_back(sql::compileExpression(*sql::Expr::makeField(table.fields()[index].name),
                                                      fields, options));
                continue;
            }
            expr = s.items[index].expr.get();
        }
        keys.push_back(sql::compileExpression(*expr, fields, options));
    }
    std::vector<std::vector<Value>> values(recnos.size());
    TableRowContext row(table);
    for (std::size_t r = 0; r < recnos.size(); ++r) {
        row.moveTo(recnos[r]);
        values[r].reserve(keys.size());
        for (const sql::CompiledExpr& key : keys) values[r].push_back(key.evaluate(row));
    }
    std::vector<std::size_t> order(recnos.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const auto isNull = [](const Value& v) { return std::holds_alternative<std::monostate>(v); };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        for (std::size_t k = 0; k < keys.size(); ++k) {
            const Value &x = values[a][k], &y = values[b][k];
            int c = 0;
            if (isNull(x) || isNull(y))
                c = isNull(x) == isNull(y) ? 0 : (isNull(x) ? -1 : 1);
            else
                c = sql::compareValues(x, y, sql::TextCompareMode::Padded, options).value_or(0);
            if (c != 0) return s.orderBy[k].descending ? c > 0 : c < 0;
        }
        return false;
    });
    std::vector<std::uint32_t> sorted;
    sorted.reserve(order.size());
    for (std::size_t i : order) sorted.push_back(recnos[i]);
    return sorted;
}

}  // namespace dorvane::provider
