// Entry points of the SQL front end: statement text to a Statement, expression text to an Expr.
// Malformed statements raise ProviderError(UnrecognizedPhrase), malformed expressions (and
// unterminated quotes) ProviderError(SyntaxError); nesting deeper than kMaxNesting is a syntax error.
#pragma once

#include <string_view>

#include "provider/sql/expr.h"
#include "provider/sql/statement.h"

namespace dorvane::provider::sql {

// Parentheses, calls and unary operators nest at most kMaxNesting deep; an expression tree (long
// operator chains included) is at most kMaxExprDepth levels deep. Beyond that: SyntaxError.
inline constexpr int kMaxNesting = 128;
inline constexpr int kMaxExprDepth = 512;

// Parses one statement; a trailing ";" is allowed, anything after it is not.
Statement parseStatement(std::string_view text);

// Parses a whole text as one FoxPro expression (index keys, FOR conditions, tests).
ExprPtr parseExpression(std::string_view text);

// The column type written in CREATE TABLE / ALTER TABLE ADD (C, Character, N, Numeric, ...) with the
// numbers in its parentheses (-1 when absent), as FoxPro's one-letter type with width and decimals.
// Raises UnrecognizedPhrase for an unknown type, FieldWidthInvalid for a missing or impossible size.
FieldDef fieldTypeFromName(std::string_view typeName, int first, int second);

}  // namespace dorvane::provider::sql
