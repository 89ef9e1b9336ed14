// What a database container declares for one of its tables: field rules with their messages, the
// record rule with its message, and default values. Read and compiled once when the table opens;
// INSERT and UPDATE ask here before they write anything. Also stores the rules CREATE TABLE declares.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "provider/error.h"
#include "provider/format/table.h"
#include "provider/sql/evaluator.h"
#include "provider/sql/statement.h"

namespace dorvane::provider {

class SourceCatalog;

// One expression as the container stores it, compiled against the table's fields. An expression this
// program cannot evaluate (a stored procedure, a function the evaluator lacks, text that does not
// parse) is known as such from the start: `compiled` is empty and `problem` says why.
struct StoredExpression {
    std::string text;
    std::optional<sql::CompiledExpr> compiled;
    std::optional<ProviderError> problem;

    bool present() const { return !text.empty(); }
};

struct FieldRules {
    StoredExpression rule;
    std::string message;  // the message expression, as stored; empty: FoxPro's standard text
    StoredExpression defaultValue;
};

class TableRules {
public:
    // The rules the container named by the table's backlink declares for it. None for a free table,
    // for a container that is not there (the table still opens, as it does without its long names)
    // or one that does not list the table. A container whose records cannot be read leaves rules that
    // refuse every INSERT and UPDATE with that failure.
    static std::shared_ptr<const TableRules> load(Table& table, sql::EvalOptions options);

    bool empty() const;

    // For INSERT, before the record is appended: adds to `values` the default value of each field
    // the statement leaves out (not autoincrement ones), then checks every field rule and the record
    // rule on the record as it will be stored. Raises FieldRuleViolated / RecordRuleViolated (the
    // rule's message as text when it has one), or, before evaluating anything, the problem of a rule
    // or needed default this program cannot evaluate, naming the field and the expression.
    void completeInsert(Table& table, FieldAssignments& values) const;

    // For UPDATE, before the first record is written: refuses up front when a rule the statement
    // needs (the field rule of an assigned field, the record rule) cannot be evaluated; then checks
    // the rules of the assigned fields, and the record rule when an assigned field is one it reads,
    // on each record with its new values.
    void checkUpdate(Table& table, const sql::UpdateStatement& statement,
                     const std::vector<std::uint32_t>& records,
                     const std::function<FieldAssignments(std::uint32_t)>& newValues) const;

private:
    void checkRecord(Table& table, const std::vector<Value>& record, std::uint32_t recno, bool deleted,
                     const std::vector<int>& ruleFields, bool recordRule) const;
    void refuseUnevaluable(const Table& table, const std::vector<int>& ruleFields,
                           const std::vector<int>& defaultFields) const;
    std::string messageText(const std::string& stored, const Table& table, const sql::RowContext& row) const;

    std::optional<ProviderError> m_unreadable;
    sql::EvalOptions m_options;
    std::string m_tableName;           // the container's name for the table
    std::vector<FieldRules> m_fields;  // per visible field of the table
    StoredExpression m_recordRule;
    std::string m_recordMessage;
};

// CREATE TABLE: raises, before anything is created, when the statement declares rules or defaults
// that `catalog` cannot keep (a folder of free tables, or FREE).
void checkRulesCanBeKept(SourceCatalog& catalog, const sql::CreateTableStatement& statement);
// CREATE TABLE, after the table entered the container: writes the declared rules, messages and
// defaults into the Properties of its Table and Field records, as FoxPro encodes them.
void storeDeclaredRules(SourceCatalog& catalog, const std::filesystem::path& file,
                        const sql::CreateTableStatement& statement);

}  // namespace dorvane::provider
