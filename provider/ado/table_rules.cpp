#include "provider/ado/table_rules.h"

#include <algorithm>

#include "provider/ado/source_catalog.h"
#include "provider/ado/table_rows.h"
#include "provider/format/container.h"
#include "provider/format/container_properties.h"
#include "provider/indexing/record_row.h"
#include "provider/sql/value_text.h"

namespace dorvane::provider {
namespace fs = std::filesystem;

namespace {

std::string trimmed(std::string text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.back())) text.pop_back();
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    return std::string(first, text.end());
}

StoredExpression compiled(const std::string& stored, const sql::FieldCatalog& fields,
                          const sql::EvalOptions& options) {
    StoredExpression e;
    e.text = trimmed(stored);
    if (e.text.empty()) return e;
    try {
        e.compiled = sql::compileExpression(e.text, fields, options);
    } catch (const ProviderError& error) {
        e.problem = error;
    }
    return e;
}

// A rule holds unless it gives .F.; .NULL. lets the record pass, anything but a logical value is
// a type mismatch, as FoxPro reports it.
bool holds(const StoredExpression& rule, const sql::RowContext& row) {
    const Value result = rule.compiled->evaluate(row);
    if (const bool* b = std::get_if<bool>(&result)) return *b;
    if (isNull(result)) return true;
    throw ProviderError::make(FoxError::DataTypeMismatch);
}

[[noreturn]] void refuse(const std::string& what, const StoredExpression& e) {
    throw ProviderError(e.problem->code(), what + ", " + e.text + ", cannot be evaluated by this program: " +
                                               e.problem->message());
}

std::string fieldText(const Field& f) {
    return "\"" + f.displayName() + "\"";
}

}  // namespace

std::shared_ptr<const TableRules> TableRules::load(Table& table, sql::EvalOptions options) {
    auto rules = std::make_shared<TableRules>();
    const auto dbc = table.containerPath();
    std::error_code missing;
    if (!dbc || !fs::exists(*dbc, missing)) return rules;
    try {
        auto container = Container::open(*dbc, OpenMode::ReadOnly);
        const ContainerTable* entry = container->findTableByFile(table.path());
        if (!entry) return rules;
        std::vector<std::int32_t> ids{entry->objectId};
        for (const ContainerField& f : entry->fields) ids.push_back(f.objectId);
        auto properties = objectProperties(*container, ids);
        // Rules are FoxPro expressions, not SQL: texts compare by the SET EXACT rule.
        options.shorterLength = false;
        rules->m_options = options;
        rules->m_tableName = entry->name;
        const TableFieldCatalog fields(table);
        rules->m_fields.resize(size_t(table.fieldCount()));
        for (size_t i = 0; i < entry->fields.size() && i < rules->m_fields.size(); ++i) {
            const PropertyMap& p = properties[entry->fields[i].objectId];
            FieldRules& r = rules->m_fields[i];
            r.rule = compiled(propertyText(p, kPropertyRuleExpression), fields, options);
            r.message = trimmed(propertyText(p, kPropertyRuleText));
            r.defaultValue = compiled(propertyText(p, kPropertyDefaultValue), fields, options);
        }
        const PropertyMap& own = properties[entry->objectId];
        rules->m_recordRule = compiled(propertyText(own, kPropertyRuleExpression), fields, options);
        rules->m_recordMessage = trimmed(propertyText(own, kPropertyRuleText));
    } catch (const ProviderError& e) {
        rules->m_unreadable = e;
    }
    return rules;
}

bool TableRules::empty() const {
    if (m_unreadable || m_recordRule.present()) return false;
    return std::none_of(m_fields.begin(), m_fields.end(),
                        [](const FieldRules& r) { return r.rule.present() || r.defaultValue.present(); });
}

void TableRules::refuseUnevaluable(const Table& table, const std::vector<int>& ruleFields,
                                   const std::vector<int>& defaultFields) const {
    for (int i : defaultFields) {
        if (!m_fields[size_t(i)].defaultValue.compiled)
            refuse("The default value of field " + fieldText(table.fields()[size_t(i)]),
                   m_fields[size_t(i)].defaultValue);
    }
    for (int i : ruleFields) {
        if (!m_fields[size_t(i)].rule.compiled)
            refuse("The validation rule of field " + fieldText(table.fields()[size_t(i)]),
                   m_fields[size_t(i)].rule);
    }
    if (m_recordRule.present() && !m_recordRule.compiled)
        refuse("The record validation rule of table \"" + m_tableName + "\"", m_recordRule);
}

std::string TableRules::messageText(const std::string& stored, const Table& table,
                                    const sql::RowContext& row) const {
    // The message is an expression too (mostly a quoted text); one that does not evaluate to a text
    // is shown as it is stored.
    try {
        const Value text = sql::compileExpression(stored, TableFieldCatalog(table), m_options).evaluate(row);
        if (const auto* s = std::get_if<std::string>(&text)) return *s;
    } catch (const ProviderError&) {
    }
    return stored;
}

void TableRules::checkRecord(Table& table, const std::vector<Value>& record, std::uint32_t recno,
                             bool deleted, const std::vector<int>& ruleFields, bool recordRule) const {
    indexing::RecordRow row(table.fields());
    row.set(&record, recno, deleted);
    for (int i : ruleFields) {
        const FieldRules& r = m_fields[size_t(i)];
        if (holds(r.rule, row)) continue;
        throw ProviderError(FoxError::FieldRuleViolated,
                            r.message.empty() ? foxproMessage(FoxError::FieldRuleViolated,
                                                              table.fields()[size_t(i)].displayName())
                                              : messageText(r.message, table, row));
    }
    if (recordRule && !holds(m_recordRule, row)) {
        throw ProviderError(FoxError::RecordRuleViolated, m_recordMessage.empty()
                                                              ? foxproMessage(FoxError::RecordRuleViolated)
                                                              : messageText(m_recordMessage, table, row));
    }
}

void TableRules::completeInsert(Table& table, FieldAssignments& values) const {
    if (m_unreadable) throw *m_unreadable;
    if (m_fields.empty() && !m_recordRule.present()) return;
    const std::vector<Field>& fields = table.fields();
    std::vector<bool> given(fields.size(), false);
    for (const auto& [i, value] : values) given[size_t(i)] = true;
    // A new record takes every field rule: the fields left out hold their default or empty values.
    std::vector<int> ruleFields, defaultFields;
    for (size_t i = 0; i < fields.size() && i < m_fields.size(); ++i) {
        if (m_fields[i].rule.present()) ruleFields.push_back(int(i));
        if (!given[i] && m_fields[i].defaultValue.present() && !fields[i].isAutoIncrement())
            defaultFields.push_back(int(i));
    }
    refuseUnevaluable(table, ruleFields, defaultFields);
    if (ruleFields.empty() && defaultFields.empty() && !m_recordRule.present()) return;

    std::vector<Value> record;
    for (const Field& f : fields) record.push_back(valueLeftOut(f));
    for (const auto& [i, value] : values) record[size_t(i)] = value;
    const std::uint32_t recno = table.recordCount() + 1;
    indexing::RecordRow row(fields);
    row.set(&record, recno, false);
    for (int i : defaultFields) {
        const Field& f = fields[size_t(i)];
        Value value = sql::convertForField(m_fields[size_t(i)].defaultValue.compiled->evaluate(row), f.type,
                                           f.width, f.decimals);
        record[size_t(i)] = value;
        values.emplace_back(i, std::move(value));
    }
    checkRecord(table, record, recno, false, ruleFields, m_recordRule.present());
}

void TableRules::checkUpdate(Table& table, const sql::UpdateStatement& statement,
                             const std::vector<std::uint32_t>& records,
                             const std::function<FieldAssignments(std::uint32_t)>& newValues) const {
    if (m_unreadable) throw *m_unreadable;
    if (m_fields.empty() && !m_recordRule.present()) return;
    std::vector<int> assigned, ruleFields;
    for (const auto& assignment : statement.assignments) {
        const int i = table.fieldIndex(assignment.field);
        if (i < 0) continue;
        assigned.push_back(i);
        if (size_t(i) < m_fields.size() && m_fields[size_t(i)].rule.present()) ruleFields.push_back(i);
    }
    std::sort(ruleFields.begin(), ruleFields.end());
    ruleFields.erase(std::unique(ruleFields.begin(), ruleFields.end()), ruleFields.end());
    refuseUnevaluable(table, ruleFields, {});
    // A change to no field the record rule reads leaves its answer as it was (numbering the editor's
    // row identifier column does not read every record for it).
    const bool recordRule =
        m_recordRule.present() && std::any_of(assigned.begin(), assigned.end(), [&](int i) {
            const auto& used = m_recordRule.compiled->fieldsUsed();
            return std::find(used.begin(), used.end(), i) != used.end();
        });
    if (ruleFields.empty() && !recordRule) return;
    std::vector<Value> record;
    for (std::uint32_t recno : records) {
        table.readRecord(recno, record);
        for (auto& [i, value] : newValues(recno)) record[size_t(i)] = std::move(value);
        checkRecord(table, record, recno, table.isDeleted(recno), ruleFields, recordRule);
    }
}

void checkRulesCanBeKept(SourceCatalog& catalog, const sql::CreateTableStatement& statement) {
    const bool declared =
        !statement.check.empty() ||
        std::any_of(statement.fields.begin(), statement.fields.end(),
                    [](const sql::FieldDef& f) { return !f.check.empty() || !f.defaultValue.empty(); });
    if (declared && (statement.freeTable || !catalog.container())) {
        throw ProviderError(FoxError::UnrecognizedPhrase,
                            foxproMessage(FoxError::UnrecognizedPhrase) +
                                " Field rules, record rules and default values need a table in a database.");
    }
}

void storeDeclaredRules(SourceCatalog& catalog, const fs::path& file,
                        const sql::CreateTableStatement& statement) {
    Container* container = catalog.container();
    if (!container || statement.freeTable) return;
    const ContainerTable* entry = container->findTableByFile(file);
    if (!entry) throw ProviderError::make(FoxError::DbcInconsistent);
    const std::string tableName = entry->name;
    std::vector<std::pair<std::int32_t, PropertyMap>> changes;
    for (size_t i = 0; i < statement.fields.size() && i < entry->fields.size(); ++i) {
        const sql::FieldDef& f = statement.fields[i];
        PropertyMap p;
        if (!f.check.empty()) p[kPropertyRuleExpression] = textProperty(f.check);
        if (!f.checkMessage.empty()) p[kPropertyRuleText] = textProperty(f.checkMessage);
        if (!f.defaultValue.empty()) p[kPropertyDefaultValue] = textProperty(f.defaultValue);
        if (!p.empty()) changes.emplace_back(entry->fields[i].objectId, std::move(p));
    }
    if (!statement.check.empty()) {
        PropertyMap p{{kPropertyRuleExpression, textProperty(statement.check)}};
        if (!statement.checkMessage.empty()) p[kPropertyRuleText] = textProperty(statement.checkMessage);
        changes.emplace_back(entry->objectId, std::move(p));
    }
    try {
        for (const auto& [id, properties] : changes) setObjectProperties(*container, id, properties);
    } catch (...) {
        // A table without the rules it was declared with would take what they refuse: it goes again.
        try {
            container->removeTable(tableName);
        } catch (...) {
        }
        throw;
    }
}

}  // namespace dorvane::provider
