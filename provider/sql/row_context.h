// What the evaluator needs from a table: field names and types when an expression is compiled
// (FieldCatalog), the current record's values when it runs (RowContext), and the comparison settings.
// The table layer and the executor implement these; nothing here reads a file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "provider/value.h"

namespace dorvane::provider::sql {

// SET COLLATE: Machine compares texts by character codes; General by FoxPro's GENERAL weights, so
// letter case does not count (text_compare.h).
enum class Collation { Machine, General };

// Optional replacement for the text comparison (e.g. by code-page bytes). Receives the two texts after
// the SET EXACT rule was applied and, unless the comparison is ==, padded with blanks to equal length;
// returns <0, 0 or >0.
using TextComparator = std::function<int(std::string_view, std::string_view)>;

struct EvalOptions {
    bool exact = false;  // SET EXACT: off (the provider's default) lets "abc" = "ab" hold
    // With exact off: compare up to the shorter text's length (FoxPro's SET ANSI OFF rule for SQL
    // commands, where "ab" = "abc" holds too) instead of up to the right-hand text's length.
    bool shorterLength = false;
    Collation collation = Collation::Machine;
    TextComparator compareText;  // empty: the built-in comparison for `collation`
};

class FieldCatalog {
public:
    virtual ~FieldCatalog() = default;
    // Index of the field called `name` (case-insensitive), or nullopt.
    virtual std::optional<int> fieldIndex(std::string_view name) const = 0;
    // FoxPro type letter ('C', 'N', 'I', 'M', ...), width and decimals of the field at `index`.
    virtual char fieldType(int index) const = 0;
    virtual int fieldWidth(int index) const = 0;
    virtual int fieldDecimals(int index) const { return 0; }
    // The table's alias; alias.field references must name it (case-insensitive). Empty accepts any.
    virtual std::string_view alias() const { return {}; }
};

class RowContext {
public:
    virtual ~RowContext() = default;
    // Value of the field at `index` in the current record (null, text, number, ... as in value.h).
    // C fields come padded with blanks to their width, as stored: ==, LEN() and index keys see them so.
    virtual Value field(int index) const = 0;
    virtual std::int64_t recno() const = 0;  // RECNO(): 1-based physical record number
    virtual bool deleted() const = 0;        // DELETED(): the record carries the deletion mark
};

}  // namespace dorvane::provider::sql
