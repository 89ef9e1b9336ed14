// What the evaluator promises beyond one expression's value and error (those are in sql_cases.txt): no
// allocation per record, constants folded once, depth limits, and random expressions that never crash.
#include "provider/sql/evaluator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "allocation_counter.h"
#include "memory_table.h"
#include "provider/error.h"
#include "provider/sql/parser.h"

namespace dorvane::provider::sql {
namespace {

using test::sampleRecord;

TEST(EvaluatorWhere, SimpleComparisonAllocatesNothingPerRecord) {
    test::MemoryTable table = sampleRecord();
    const CompiledExpr byId = compileExpression("tempidxxx = 12", table);
    const CompiledExpr byRange = compileExpression("qty >= 10 AND id < 5 AND NOT DELETED()", table);
    test::startCountingAllocations();
    int hits = 0;
    for (std::int64_t r = 1; r <= 1000; ++r) {
        table.setRecord(r, false);
        hits += byId.matches(table) + byRange.matches(table);
    }
    EXPECT_EQ(test::stopCountingAllocations(), 0);
    EXPECT_EQ(hits, 2000);
    // The counter does see allocations: a function call gathers its arguments on the heap.
    const CompiledExpr withCall = compileExpression("UPPER(name) = 'SMITH'", table);
    test::startCountingAllocations();
    EXPECT_TRUE(withCall.matches(table));
    EXPECT_GT(test::stopCountingAllocations(), 0);
}

TEST(EvaluatorCompile, ConstantsAreComputedOnceFieldsPerRecord) {
    test::MemoryTable table = sampleRecord();
    const CompiledExpr e = compileExpression("qty = 6 * 2 AND UPPER('a') = 'A'", table);
    table.reads = 0;
    EXPECT_TRUE(e.matches(table));
    EXPECT_EQ(table.reads, 1);
    EXPECT_EQ(compileExpression("name + DTOS(born) + name", table).fieldsUsed(), (std::vector<int>{0, 5}));
    // A tree built in code deeper than the parser allows is refused too.
    ExprPtr deep = Expr::makeLiteral(std::int64_t{1});
    for (int i = 0; i < kMaxExprDepth + 10; ++i) deep = Expr::makeUnary(ExprOp::Negate, std::move(deep));
    EXPECT_THROW(compileExpression(*deep, table), ProviderError);
}

// Random expressions over the sample record: each compiles and runs to a value or a ProviderError.
TEST(EvaluatorRobustness, RandomExpressionsGiveValuesOrFoxProErrors) {
    auto words = [](const std::string& list) {
        std::vector<std::string> out;
        for (std::size_t from = 0, at; from <= list.size(); from = at + 1)
            out.push_back(list.substr(from, (at = std::min(list.find('|', from), list.size())) - from));
        return out;
    };
    const auto atoms = words(
        "name|city|qty|price|id|born|stamp|paid|note|cash|0|-1|2.5|1e308|-9223372036854775807|''|'abc '|{}|"
        "{^2024-02-29}|{^9999-12-31 23:59:59}|.T.|.NULL.|99999999999|-0.0");
    const auto functions = words(
        "UPPER|LOWER|ALLTRIM|LTRIM|RTRIM|LEN|STR|DTOS|DTOC|TTOC|PADL|PADR|PADC|LEFT|RIGHT|SUBSTR|BINTOC|IIF|"
        "EMPTY|ISNULL|NVL|VAL|INT|ABS|ROUND|CTOD|YEAR|SPACE|REPLICATE|AT|MAX|MIN|BETWEEN|INLIST|TTOD|"
        "DTOT|MOD|CEILING|FLOOR|SIGN|SQRT|STRTRAN|DATE|DATETIME");
    const auto operators = words("+|-|*|/|%|^|=|==|<>|<|>=|$| AND | OR | LIKE ");
    std::mt19937 rng(7);
    std::function<std::string(int)> build = [&](int depth) -> std::string {
        const unsigned pick = depth > 3 ? 0 : rng() % 4;
        if (pick == 0) return atoms[rng() % atoms.size()];
        if (pick == 1)
            return "(" + build(depth + 1) + operators[rng() % operators.size()] + build(depth + 1) + ")";
        if (pick == 2) return (rng() % 2 ? "-" : "NOT ") + build(depth + 1);
        std::string call = functions[rng() % functions.size()] + "(";
        for (unsigned i = 0, args = 1 + rng() % 3; i < args; ++i) call += (i ? ", " : "") + build(depth + 1);
        return call + ")";
    };
    test::MemoryTable table = sampleRecord();
    int values = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::string text = build(0);
        try {
            const Value v = compileExpression(text, table).evaluate(table);
            if (const auto* s = std::get_if<std::string>(&v)) {
                EXPECT_LE(s->size(), 16777184u) << text;
            }
            ++values;
        } catch (const ProviderError&) {
        }
    }
    EXPECT_GT(values, 1000);
}

}  // namespace
}  // namespace dorvane::provider::sql
