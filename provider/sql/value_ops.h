// FoxPro's operators on values: comparison, arithmetic, concatenation, with its null and type rules.
// Each raises ProviderError(DataTypeMismatch) for operand types FoxPro refuses to combine.
#pragma once

#include <optional>

#include "provider/sql/expr.h"
#include "provider/sql/row_context.h"
#include "provider/sql/text_compare.h"

namespace dorvane::provider::sql {

// <0, 0, >0; nullopt when either side is null. Numbers of any kind compare by value, a date with a
// datetime as that day's midnight, logicals .F. < .T.; texts by compareText() in `mode`.
std::optional<int> compareValues(const Value& left, const Value& right, TextCompareMode mode,
                                 const EvalOptions& options);

// The result of a comparison operator (Equal .. GreaterEqual) as FoxPro gives it: .T., .F. or null.
Value applyComparison(ExprOp op, const Value& left, const Value& right, const EvalOptions& options);

// + - * / % ^ $ and unary minus; null in, null out.
Value applyArithmetic(ExprOp op, const Value& left, const Value& right);
Value applyNegate(const Value& operand);

// text LIKE pattern: % stands for any run of characters, _ for one; the text's trailing blanks (C fields
// are padded) are ignored; characters compare exactly. Null in, null out; non-text raises DataTypeMismatch.
Value applyLike(const Value& text, const Value& pattern);

// A numeric value (double, int64, currency) as double; nullopt for anything else.
std::optional<double> numericValue(const Value& v);

}  // namespace dorvane::provider::sql
