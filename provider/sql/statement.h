// The statements the provider accepts, as the parser hands them to the executor: one struct per
// statement kind, joined in the Statement variant. Nothing here touches a table.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "provider/sql/expr.h"

namespace dorvane::provider::sql {

// A table named by the statement: a bare name (orders), a quoted name or a path ('/data/x.dbf').
struct TableRef {
    std::string name;
    bool quoted = false;  // written in '...', "...", [...] or `...`
};

// One column of CREATE TABLE or ALTER TABLE ADD, with FoxPro's one-letter type and its sizes.
struct FieldDef {
    std::string name;
    char type = 'C';
    int width = 0;
    int decimals = 0;
    std::optional<bool> nullable;  // NULL / NOT NULL as written; unset when the statement says neither
    // CREATE TABLE in a container: CHECK rule [ERROR message] and DEFAULT value, each the expression
    // text as written (empty when absent).
    std::string check;
    std::string checkMessage;
    std::string defaultValue;
};

// A SELECT list entry: the expression and the column name it gets (its AS name, the field name, or
// empty for an unnamed expression, which the executor names Exp_1, Exp_2, ...).
struct SelectItem {
    ExprPtr expr;
    std::string name;
};

// ORDER BY entry: an expression, or an integer literal naming a result column by position (1-based).
struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

struct SelectStatement {
    TableRef table;
    std::vector<SelectItem> items;  // empty: SELECT *
    ExprPtr where;                  // null: no WHERE
    std::vector<OrderItem> orderBy;
};

struct Assignment {
    std::string field;
    ExprPtr value;
};

struct UpdateStatement {
    TableRef table;
    std::vector<Assignment> assignments;
    ExprPtr where;
};

struct InsertStatement {
    TableRef table;
    std::vector<std::string> columns;  // empty: all fields in table order
    std::vector<ExprPtr> values;
};

struct DeleteStatement {
    TableRef table;
    ExprPtr where;
};

struct AlterAddColumn {
    TableRef table;
    FieldDef field;
};

struct AlterRenameColumn {
    TableRef table;
    std::string from;
    std::string to;
};

struct AlterDropColumn {
    TableRef table;
    std::string field;
};

struct CreateTableStatement {
    TableRef table;
    bool freeTable = false;  // FREE keyword
    std::vector<FieldDef> fields;
    // The table-level CHECK rule [ERROR message]: expression texts as written, empty when absent.
    std::string check;
    std::string checkMessage;
};

struct DropTableStatement {
    TableRef table;
};

using Statement =
    std::variant<SelectStatement, UpdateStatement, InsertStatement, DeleteStatement, AlterAddColumn,
                 AlterRenameColumn, AlterDropColumn, CreateTableStatement, DropTableStatement>;

// The table any statement names.
const TableRef& tableOf(const Statement& s);

// One-line rendering for logs and tests, e.g. "UPDATE orders SET qty=12 WHERE (= tempidxxx 3)".
std::string describe(const Statement& s);
std::string describe(const FieldDef& f);

}  // namespace dorvane::provider::sql
