// Entry points of the SQL front end: statement text to a Statement, expression text to an Expr.
// Malformed statements raise ProviderError(UnrecognizedPhrase), malformed expressions (and
// unterminated quotes) ProviderError(SyntaxError); nesting deeper than kMaxNesting is a syntax error.
//
// Accepted (keywords in any case, a trailing ";" allowed):
//   SELECT * | expr [AS name], ... FROM table [WHERE cond] [ORDER BY expr [ASC|DESC], ...]
//   UPDATE table SET field = expr, ... [WHERE cond]
//   INSERT INTO table [(field, ...)] VALUES (expr, ...)
//   DELETE FROM table [WHERE cond]
//   ALTER TABLE table ADD [COLUMN] name type [NULL|NOT NULL] | RENAME [COLUMN] a TO b | DROP [COLUMN] name
//   CREATE TABLE table [FREE] (name type [NULL|NOT NULL] [CHECK expr [ERROR message]] [DEFAULT expr], ...
//                              [, CHECK expr [ERROR message]])
//   DROP TABLE table
// A table is a bare name or path (up to a blank or one of ( ) , ; =) or quoted in '...', "...", [...],
// `...`. Field names are bare or in "...", [...], `...`; inside expressions "..." and [...] are texts
// (FoxPro's string forms) and only `...` names a field.
#pragma once

#include <cstddef>
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

// Names of new columns (CREATE TABLE, ALTER TABLE ADD, RENAME ... TO): a letter or _ first, then letters,
// digits and _ (bytes of non-ASCII letters count as letters), at most kMaxFieldNameLength bytes (the
// longest name a database container keeps; free tables allow 10, which the table layer checks). The
// parser raises FieldNameInvalid for other names and for a name repeated in one CREATE TABLE.
inline constexpr std::size_t kMaxFieldNameLength = 128;
bool isValidFieldName(std::string_view name);

// The column type written in CREATE TABLE / ALTER TABLE ADD (C, Character, N, Numeric, ...) with the
// numbers in its parentheses (-1 when absent), as FoxPro's one-letter type with width and decimals.
// Raises UnrecognizedPhrase for an unknown type, FieldWidthInvalid for a missing or impossible size.
FieldDef fieldTypeFromName(std::string_view typeName, int first, int second);

}  // namespace dorvane::provider::sql
