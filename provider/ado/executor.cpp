#include "provider/ado/executor.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <exception>
#include <functional>
#include <optional>

#include "provider/ado/order_by.h"
#include "provider/ado/referential_integrity.h"
#include "provider/ado/table_rows.h"
#include "provider/ado/table_rules.h"
#include "provider/error.h"
#include "provider/file_system.h"
#include "provider/format/container.h"
#include "provider/format/file_names.h"
#include "provider/indexing/attach.h"
#include "provider/sql/evaluator.h"
#include "provider/sql/parser.h"
#include "provider/sql/plan_shape.h"
#include "provider/sql/value_text.h"

namespace dorvane::provider {
namespace fs = std::filesystem;

struct Executor::OpenTable {
    std::shared_ptr<Table> table;
    // Sorted recnos of deleted records, while known.
    std::optional<std::vector<std::uint32_t>> deleted;
    // Field index -> value -> recno, for integer fields looked up by value.
    std::map<int, std::unordered_multimap<std::int64_t, std::uint32_t>> valueMaps;
    // The table's changeGeneration() the list and maps above were made at.
    std::uint64_t generation = 0;
    bool written = false;
    // Keep the table's structural index true; declared after `table`, so they go first. When the index
    // cannot be kept, the reason every write reports.
    std::vector<std::unique_ptr<indexing::IndexMaintainer>> maintainers;
    std::optional<ProviderError> indexRefusal;
    std::shared_ptr<const TableRules> rules;  // the container's rules and defaults for the table

    void ensureWritable() const {
        if (indexRefusal) throw *indexRefusal;
        table->ensureWritable();
    }
};

namespace {

// Values of constant expressions (INSERT's VALUES): no fields to read.
class NoFields final : public sql::FieldCatalog {
public:
    std::optional<int> fieldIndex(std::string_view) const override { return std::nullopt; }
    char fieldType(int) const override { return 'U'; }
    int fieldWidth(int) const override { return 0; }
};

class NoRow final : public sql::RowContext {
public:
    Value field(int) const override { throw ProviderError::make(FoxError::VariableNotFound); }
    std::int64_t recno() const override { return 0; }
    bool deleted() const override { return false; }
};

std::optional<std::int64_t> wholeNumber(const Value& v) {
    if (auto i = std::get_if<std::int64_t>(&v)) return *i;
    if (auto d = std::get_if<double>(&v)) {
        if (std::isfinite(*d) && std::floor(*d) == *d && std::fabs(*d) < 9.0e15) return std::int64_t(*d);
    }
    return std::nullopt;
}

int requireField(const Table& table, const std::string& name) {
    const int index = table.fieldIndex(name);
    if (index < 0) throw ProviderError::make(FoxError::VariableNotFound, name);
    return index;
}

FieldSpec specFrom(const sql::FieldDef& def) {
    FieldSpec fieldSpec;
    fieldSpec.name = def.name;
    fieldSpec.type = def.type;
    fieldSpec.width = def.width;
    fieldSpec.decimals = def.decimals;
    fieldSpec.nullable = def.nullable.value_or(false);
    return fieldSpec;
}

}  // namespace

Executor::Executor(ConnectionSettings settings, std::unique_ptr<SourceCatalog> catalog)
    : m_settings(std::move(settings)), m_catalog(std::move(catalog)) {
    m_ri = std::make_unique<ReferentialIntegrity>(IntegrityTables{
        [this](const fs::path& file) -> Table& { return *open({file.string(), true}).table; },
        [this](Table& table) {
            if (auto it = m_tables.find(table.path()); it != m_tables.end()) {
                it->second->deleted.reset();
                it->second->valueMaps.clear();
                it->second->written = true;
            }
        }});
    m_ri->recoverFolder(m_catalog->folder());
}

Executor::~Executor() {
    try {
        close();
    } catch (...) {
        // Connection::Close reports what failed; a connection dropped without it flushed what it could.
    }
}

void Executor::close() {
    std::optional<ProviderError> failure;
    for (auto& [file, t] : m_tables) {
        // What this connection wrote, the table and its index, reaches the disk when it closes.
        if (t->written) {
            try {
                t->table->flush();
                for (auto& maintainer : t->maintainers) maintainer->indexFile().sync();
            } catch (const ProviderError& e) {
                if (!failure) failure = e;
            }
        }
        // A result set may still read the table (a grid bound to it): it keeps reading, but the
        // connection's lock goes with the connection, as a closed connection holds no table.
        t->maintainers.clear();
        if (t->table.use_count() > 1) t->table->keepForReadingOnly();
    }
    m_tables.clear();
    m_resolved.clear();
    if (failure) throw *failure;
}

sql::EvalOptions Executor::evalOptions() const {
    sql::EvalOptions options;
    options.collation =
        m_settings.collation == Collation::General ? sql::Collation::General : sql::Collation::Machine;
    // SQL compares texts up to the shorter one's length (SET ANSI OFF, the provider's setting).
    options.shorterLength = true;
    return options;
}

Executor::OpenTable& Executor::open(const sql::TableRef& ref) {
    // A name this connection already opened a table by: that table (its files cannot go or be renamed
    // while it is open here), without looking through the folder again.
    const std::string key = (ref.quoted ? "\"" : "") + ref.name;
    if (auto known = m_resolved.find(key); known != m_resolved.end()) {
        if (auto it = m_tables.find(known->second); it != m_tables.end()) return *it->second;
    }
    const fs::path file = m_catalog->resolve(ref.name, ref.quoted);
    m_resolved[key] = file;
    auto it = m_tables.find(file);
    if (it != m_tables.end()) {
        // In shared use a writing statement's hold takes in what others changed, when they did; a
        // reading one takes it in itself (select()).
        return *it->second;
    }
    auto t = std::make_unique<OpenTable>();
    t->table = openTableWithLongNames(file, m_settings.exclusive ? OpenMode::Exclusive : OpenMode::Shared);
    t->generation = t->table->changeGeneration();
    t->indexRefusal = indexing::attachIndexMaintenance(*t->table, t->maintainers);
    t->rules = TableRules::load(*t->table, evalOptions());
    return *m_tables.emplace(file, std::move(t)).first->second;
}

void Executor::forget(const fs::path& file) {
    std::erase_if(m_resolved, [&](const auto& entry) { return entry.second == file; });
    m_tables.erase(file);
}

void Executor::dropIfStale(OpenTable& t) {
    if (t.generation == t.table->changeGeneration()) return;
    // The table took in what others changed: what was derived from its records goes.
    t.deleted.reset();
    t.valueMaps.clear();
    t.generation = t.table->changeGeneration();
}

const std::vector<std::uint32_t>& Executor::deletedRecords(OpenTable& t) {
    dropIfStale(t);
    if (!t.deleted) {
        std::vector<std::uint32_t> deleted;
        const std::uint32_t count = t.table->recordCount();
        for (std::uint32_t recno = 1; recno <= count; ++recno) {
            if (t.table->isDeleted(recno)) deleted.push_back(recno);
        }
        t.deleted = std::move(deleted);
    }
    return *t.deleted;
}

const std::unordered_multimap<std::int64_t, std::uint32_t>& Executor::valueMap(OpenTable& t, int field) {
    dropIfStale(t);
    auto it = t.valueMaps.find(field);
    if (it != t.valueMaps.end()) return it->second;
    std::unordered_multimap<std::int64_t, std::uint32_t> map;
    const std::uint32_t count = t.table->recordCount();
    map.reserve(count);
    for (std::uint32_t recno = 1; recno <= count; ++recno) {
        if (auto key = wholeNumber(t.table->value(recno, field))) map.emplace(*key, recno);
    }
    return t.valueMaps.emplace(field, std::move(map)).first->second;
}

std::vector<std::uint32_t> Executor::matching(OpenTable& t, const sql::Expr* where) {
    Table& table = *t.table;
    dropIfStale(t);
    std::vector<std::uint32_t> found;
    if (!where) {
        const auto& deleted = deletedRecords(t);
        auto next = deleted.begin();
        for (std::uint32_t recno = 1; recno <= table.recordCount(); ++recno) {
            if (next != deleted.end() && *next == recno) {
                ++next;
                continue;
            }
            found.push_back(recno);
        }
        return found;
    }
    const TableFieldCatalog fields(table);
    const sql::CompiledExpr condition = sql::compileExpression(*where, fields, evalOptions());
    TableRowContext row(table);

    // `intfield = constant` answered from the value map: held exclusively, or in shared use under a
    // writing statement's hold, which dropped the map (dropIfStale) when others wrote since it was made.
    if (m_settings.exclusive || table.holdsWriteLock()) {
        for (const auto& term : sql::findFieldEqualities(*where, fields)) {
            if (table.fields()[size_t(term.fieldIndex)].type != 'I') continue;
            const auto key = wholeNumber(term.constant);
            if (!key) return found;  // an integer field never equals a fraction
            const auto& map = valueMap(t, term.fieldIndex);
            auto [first, last] = map.equal_range(*key);
            for (auto it = first; it != last; ++it) {
                const std::uint32_t recno = it->second;
                if (table.isDeleted(recno)) continue;
                row.moveTo(recno);
                if (condition.matches(row)) found.push_back(recno);
            }
            std::sort(found.begin(), found.end());
            return found;
        }
    }
    for (std::uint32_t recno = 1; recno <= table.recordCount(); ++recno) {
        if (table.isDeleted(recno)) continue;
        row.moveTo(recno);
        if (condition.matches(row)) found.push_back(recno);
    }
    return found;
}

void Executor::noteUpdate(OpenTable& t, std::uint32_t recno, const FieldAssignments& before,
                          const FieldAssignments& after) {
    for (size_t i = 0; i < after.size(); ++i) {
        auto mapIt = t.valueMaps.find(after[i].first);
        if (mapIt == t.valueMaps.end()) continue;
        auto& map = mapIt->second;
        if (auto oldKey = wholeNumber(before[i].second)) {
            auto [first, last] = map.equal_range(*oldKey);
            for (auto it = first; it != last; ++it) {
                if (it->second == recno) {
                    map.erase(it);
                    break;
                }
            }
        }
        if (auto newKey = wholeNumber(after[i].second)) map.emplace(*newKey, recno);
    }
}

void Executor::afterSchemaChange(OpenTable& t) {
    // Field positions moved: the maps are rebuilt when next asked for. Records and flags stay.
    t.valueMaps.clear();
    t.rules = TableRules::load(*t.table, evalOptions());
}

long Executor::execute(const std::string& text) {
    const sql::Statement statement = sql::parseStatement(text);
    return std::visit(
        [this](const auto& s) -> long {
            using T = std::decay_t<decltype(s)>;
            if constexpr (std::is_same_v<T, sql::SelectStatement>) {
                select(s);
                return 0;
            } else if constexpr (std::is_same_v<T, sql::UpdateStatement>) {
                return update(s);
            } else if constexpr (std::is_same_v<T, sql::InsertStatement>) {
                return insert(s);
            } else if constexpr (std::is_same_v<T, sql::DeleteStatement>) {
                return remove(s);
            } else if constexpr (std::is_same_v<T, sql::AlterAddColumn>) {
                return addColumn(s);
            } else if constexpr (std::is_same_v<T, sql::AlterRenameColumn>) {
                return renameColumn(s);
            } else if constexpr (std::is_same_v<T, sql::AlterDropColumn>) {
                return dropColumn(s);
            } else if constexpr (std::is_same_v<T, sql::CreateTableStatement>) {
                return createTable(s);
            } else {
                return dropTable(s);
            }
        },
        statement);
}

std::shared_ptr<RowSource> Executor::query(const std::string& text) {
    const sql::Statement statement = sql::parseStatement(text);
    const auto* s = std::get_if<sql::SelectStatement>(&statement);
    if (!s) throw ProviderError::make(FoxError::UnrecognizedPhrase);
    return select(*s);
}

std::shared_ptr<RowSource> Executor::select(const sql::SelectStatement& s) {
    OpenTable& t = open(s.table);
    // Others may have written since this connection last did.
    t.table->takeInOthersChanges();
    RecordMap records = !s.orderBy.empty()
                            ? RecordMap::listed(orderedRecords(*t.table, s, matching(t, s.where.get()), evalOptions()))
                        : s.where ? RecordMap::listed(matching(t, s.where.get()))
                                  : RecordMap::allBut(t.table->recordCount(), deletedRecords(t));
    if (s.items.empty()) return std::make_shared<TableRowSource>(t.table, std::move(records));

    const TableFieldCatalog fields(*t.table);
    std::vector<ColumnInfo> columns;
    std::vector<int> fieldOf;
    std::vector<sql::CompiledExpr> expressions;
    int unnamed = 0;
    for (const auto& item : s.items) {
        sql::CompiledExpr expr = sql::compileExpression(*item.expr, fields, evalOptions());
        ColumnInfo column;
        fieldOf.push_back(-1);
        if (item.expr->kind == sql::ExprKind::Field) {
            fieldOf.back() = requireField(*t.table, item.expr->name);
            column = columnOf(t.table->fields()[size_t(fieldOf.back())]);
        } else {
            column.type = expr.resultType().type == 'U' ? 'C' : expr.resultType().type;
            column.width = expr.resultType().width;
            column.decimals = expr.resultType().decimals;
        }
        column.name = !item.name.empty()
                          ? item.name
                          : (column.name.empty() ? "Exp_" + std::to_string(++unnamed) : column.name);
        columns.push_back(std::move(column));
        expressions.push_back(std::move(expr));
    }
    return std::make_shared<TableRowSource>(t.table, std::move(records), std::move(columns),
                                            std::move(fieldOf), std::move(expressions));
}

long Executor::update(const sql::UpdateStatement& s) {
    OpenTable& t = open(s.table);
    Table& table = *t.table;
    t.ensureWritable();
    t.written = true;
    // In shared use the statement holds the table from before it reads a record until its last write.
    const Table::WriteHold hold = t.table->holdForWriting();
    const TableFieldCatalog fields(table);
    struct Target {
        int field;
        sql::CompiledExpr value;
    };
    std::vector<Target> targets;
    for (const auto& a : s.assignments) {
        targets.push_back(
            {requireField(table, a.field), sql::compileExpression(*a.value, fields, evalOptions())});
    }
    const std::vector<std::uint32_t> records = matching(t, s.where.get());
    TableRowContext row(table);
    auto newValues = [&](std::uint32_t recno) {
        row.moveTo(recno);
        FieldAssignments values;
        for (const auto& target : targets) {
            const Field& f = table.fields()[size_t(target.field)];
            values.emplace_back(
                target.field, sql::convertForField(target.value.evaluate(row), f.type, f.width, f.decimals));
        }
        return values;
    };
    // Every new value is computed and checked before the first record is written, so a value that
    // does not fit leaves the table as it was.
    for (std::uint32_t recno : records) table.checkValues(newValues(recno));
    t.rules->checkUpdate(table, s, records, newValues);
    // Likewise the keys of candidate index tags, taken in the order the records are written.
    if (auto* maintainer = indexing::maintainerOf(table); maintainer && records.size() > 1) {
        maintainer->checkCandidateKeys(records, [&](std::uint32_t recno) {
            std::vector<Value> values = table.record(recno);
            for (auto& [field, value] : newValues(recno)) values[size_t(field)] = std::move(value);
            return values;
        });
    }
    auto integrity = m_ri->beforeUpdate(table, records, newValues);
    // Numbering every record of an integer field (the editor's row identifier) builds its value map on
    // the way, so the lookups that follow need no scan.
    std::vector<int> mapsToBuild;
    if (!s.where) {
        for (const auto& target : targets) {
            if (table.fields()[size_t(target.field)].type == 'I' && !t.valueMaps.count(target.field)) {
                mapsToBuild.push_back(target.field);
            }
        }
    }
    std::map<int, std::unordered_multimap<std::int64_t, std::uint32_t>> built;
    // Records written one after another go to the file together; the batch ends with the statement,
    // written by end() on success. On failure the destructor writes what it can; its error is not the
    // one the caller is told of.
    struct WriteBatch {
        Table& table;
        bool open = true;
        explicit WriteBatch(Table& t) : table(t) { table.beginWriteBatch(); }
        void end() {
            open = false;
            table.endWriteBatch();
        }
        ~WriteBatch() {
            if (!open) return;
            try {
                table.endWriteBatch();
            } catch (...) {
            }
        }
    } batch(table);
    for (std::uint32_t recno : records) {
        const FieldAssignments after = newValues(recno);
        FieldAssignments before;
        if (!t.valueMaps.empty()) {
            for (const auto& [field, value] : after) before.emplace_back(field, table.value(recno, field));
        }
        table.update(recno, after);
        if (!t.valueMaps.empty()) noteUpdate(t, recno, before, after);
        for (const auto& [field, value] : after) {
            if (std::find(mapsToBuild.begin(), mapsToBuild.end(), field) == mapsToBuild.end()) continue;
            if (auto key = wholeNumber(value)) built[field].emplace(*key, recno);
        }
    }
    batch.end();
    integrity.commit();
    // Deleted records were not numbered; their values stay as they were and are looked up past anyway.
    for (int field : mapsToBuild) {
        auto& map = built[field];
        for (std::uint32_t recno : deletedRecords(t)) {
            if (auto key = wholeNumber(table.value(recno, field))) map.emplace(*key, recno);
        }
        t.valueMaps[field] = std::move(map);
    }
    return long(records.size());
}

long Executor::insert(const sql::InsertStatement& s) {
    OpenTable& t = open(s.table);
    Table& table = *t.table;
    t.ensureWritable();
    t.written = true;
    // In shared use the statement holds the table from before it reads a record until its last write.
    const Table::WriteHold hold = t.table->holdForWriting();
    std::vector<int> targets;
    if (s.columns.empty()) {
        for (int i = 0; i < table.fieldCount(); ++i) targets.push_back(i);
    } else {
        for (const auto& name : s.columns) targets.push_back(requireField(table, name));
    }
    if (targets.size() != s.values.size()) throw ProviderError::make(FoxError::SyntaxError);
    const NoFields noFields;
    const NoRow noRow;
    FieldAssignments values;
    for (size_t i = 0; i < targets.size(); ++i) {
        const Field& f = table.fields()[size_t(targets[i])];
        const Value v = sql::compileExpression(*s.values[i], noFields, evalOptions()).evaluate(noRow);
        values.emplace_back(targets[i], sql::convertForField(v, f.type, f.width, f.decimals));
    }
    t.rules->completeInsert(table, values);
    const auto integrity = m_ri->beforeInsert(table, values);
    dropIfStale(t);
    const std::uint32_t recno = table.append(values);
    for (auto& [field, map] : t.valueMaps) {
        if (auto key = wholeNumber(table.value(recno, field))) map.emplace(*key, recno);
    }
    return 1;
}

long Executor::remove(const sql::DeleteStatement& s) {
    OpenTable& t = open(s.table);
    t.ensureWritable();
    t.written = true;
    // In shared use the statement holds the table from before it reads a record until its last write.
    const Table::WriteHold hold = t.table->holdForWriting();
    const std::vector<std::uint32_t> records = matching(t, s.where.get());
    auto integrity = m_ri->beforeDelete(*t.table, records);
    for (std::uint32_t recno : records) {
        t.table->setDeleted(recno, true);
        if (t.deleted)
            t.deleted->insert(std::upper_bound(t.deleted->begin(), t.deleted->end(), recno), recno);
    }
    integrity.commit();
    return long(records.size());
}

void Executor::changeStructure(const sql::TableRef& ref, const std::function<void(Table&)>& change) {
    const fs::path file = m_catalog->resolve(ref.name, ref.quoted);
    m_catalog->beforeChange();
    if (m_settings.exclusive) {
        OpenTable& t = open(ref);
        if (t.indexRefusal) throw *t.indexRefusal;
        change(*t.table);
        afterSchemaChange(t);
        return;
    }
    // A shared connection takes the table exclusively for the change alone, as the change needs it;
    // another user of the table makes this fail with "File is in use by another user.".
    forget(file);
    const auto table = openTableWithLongNames(file, OpenMode::Exclusive);
    std::vector<std::unique_ptr<indexing::IndexMaintainer>> maintainers;
    if (auto refusal = indexing::attachIndexMaintenance(*table, maintainers)) throw *refusal;
    change(*table);
    maintainers.clear();
}

// FoxPro refuses to remove or rename a field that an index tag reads.
void checkIndexedField(Table& table, const std::string& field) {
    if (auto* maintainer = indexing::maintainerOf(table)) maintainer->checkFieldChange(field, true);
}

long Executor::addColumn(const sql::AlterAddColumn& s) {
    const FieldSpec fieldSpec = specFrom(s.field);
    changeStructure(s.table, [&](Table& table) {
        table.addField(fieldSpec);
        m_catalog->fieldAdded(table.path(), fieldSpec.name);
    });
    return 0;
}

long Executor::renameColumn(const sql::AlterRenameColumn& s) {
    changeStructure(s.table, [&](Table& table) {
        const std::string from = table.fields()[size_t(requireField(table, s.from))].displayName();
        checkIndexedField(table, s.from);
        table.renameField(s.from, s.to);
        m_catalog->fieldRenamed(table.path(), from, s.to);
    });
    return 0;
}

long Executor::dropColumn(const sql::AlterDropColumn& s) {
    changeStructure(s.table, [&](Table& table) {
        const std::string name = table.fields()[size_t(requireField(table, s.field))].displayName();
        checkIndexedField(table, s.field);
        table.dropField(s.field);
        m_catalog->fieldRemoved(table.path(), name);
    });
    return 0;
}

long Executor::createTable(const sql::CreateTableStatement& s) {
    const fs::path file = m_catalog->placeNew(s.table.name);
    std::vector<FieldSpec> fieldSpecs;
    for (const auto& def : s.fields) fieldSpecs.push_back(specFrom(def));
    int recordLength = 0;
    layoutFields(fieldSpecs, m_catalog->maxFieldNameLength(),
                 recordLength);  // raises before anything is written
    checkRulesCanBeKept(*m_catalog, s);
    Table::create(file, fieldSpecs);
    try {
        m_catalog->tableCreated(file, fieldSpecs);
        storeDeclaredRules(*m_catalog, file, s);
    } catch (...) {
        // The source would not take the table: take its files away again.
        fileSystem().unlink(file.c_str());
        fileSystem().unlink(siblingFile(file, "fpt").c_str());
        throw;
    }
    return 0;
}

long Executor::dropTable(const sql::DropTableStatement& s) {
    const fs::path file = m_catalog->resolve(s.table.name, s.table.quoted);
    m_catalog->beforeChange();
    forget(file);
    {
        // Nobody else may have the table open while its files go.
        auto check = Table::open(file, OpenMode::Exclusive);
    }
    m_catalog->tableDropped(file);
    std::vector<fs::path> files{file};
    for (const char* ext : {"fpt", "cdx"}) {
        const fs::path sibling = siblingFile(file, ext);
        if (fs::exists(sibling)) files.push_back(sibling);
    }
    for (const auto& f : files) {
        if (fileSystem().unlink(f.c_str()) != 0 && errno != ENOENT)
            throw ProviderError::make(FoxError::FileAccessDenied);
    }
    return 0;
}

std::vector<std::string> Executor::foreignTriggers(const std::string& table) {
    return m_ri->foreignTriggers(*open({table, false}).table);
}

std::shared_ptr<RowSource> Executor::tablesSchema() const {
    std::vector<ColumnInfo> columns{{"TABLE_CATALOG", 'C', 128},
                                    {"TABLE_SCHEMA", 'C', 128},
                                    {"TABLE_NAME", 'C', 128},
                                    {"TABLE_TYPE", 'C', 32},
                                    {"DESCRIPTION", 'C', 254}};
    std::vector<std::vector<Value>> rows;
    for (const auto& entry : m_catalog->tables()) {
        rows.push_back({Value{}, Value{}, entry.name, entry.type, Value{}});
    }
    return std::make_shared<MemoryRowSource>(std::move(columns), std::move(rows));
}

}  // namespace dorvane::provider
