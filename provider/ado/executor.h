// Runs parsed statements on the tables of one data source. Keeps the tables it touched open for the
// life of the connection (exclusively in exclusive mode), with the lists and maps that spare full
// scans: the deleted records of each table and, for integer fields looked up by value, a value-to-record
// map kept right on every write this connection makes.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "provider/ado/connection_string.h"
#include "provider/ado/recordset.h"
#include "provider/ado/source_catalog.h"
#include "provider/format/table.h"
#include "provider/sql/row_context.h"
#include "provider/sql/statement.h"

namespace dorvane::provider {

namespace indexing {
class IndexMaintainer;
}
class ReferentialIntegrity;

class Executor {
public:
    Executor(ConnectionSettings settings, std::unique_ptr<SourceCatalog> catalog);
    // Flushes what close() did not; never raises.
    ~Executor();
    // Flushes every table (and index) this connection wrote and lets the tables go. Raises the first
    // failure (disk full, I/O error) after letting every table go.
    void close();

    // Runs one statement; returns the records it touched (0 for structure changes and SELECT).
    long execute(const std::string& text);
    // Runs a SELECT and returns its rows, read lazily.
    std::shared_ptr<RowSource> query(const std::string& text);
    // The rows of the tables schema.
    std::shared_ptr<RowSource> tablesSchema() const;
    // The table's triggers only FoxPro can run (see ReferentialIntegrity::foreignTriggers).
    std::vector<std::string> foreignTriggers(const std::string& table);

private:
    struct OpenTable;
    OpenTable& open(const sql::TableRef& ref);
    void forget(const std::filesystem::path& file);
    sql::EvalOptions evalOptions() const;
    // Drops the deleted list and value maps when the table took in others' changes since they were made.
    void dropIfStale(OpenTable& t);
    const std::vector<std::uint32_t>& deletedRecords(OpenTable& t);
    // Records (not deleted) matching `where` (all when null), in record order.
    std::vector<std::uint32_t> matching(OpenTable& t, const sql::Expr* where);
    const std::unordered_multimap<std::int64_t, std::uint32_t>& valueMap(OpenTable& t, int field);
    void noteUpdate(OpenTable& t, std::uint32_t recno, const FieldAssignments& before,
                    const FieldAssignments& after);
    void afterSchemaChange(OpenTable& t);
    // Runs a structure change with the table held exclusively.
    void changeStructure(const sql::TableRef& ref, const std::function<void(Table&)>& change);

    std::shared_ptr<RowSource> select(const sql::SelectStatement& s);
    long update(const sql::UpdateStatement& s);
    long insert(const sql::InsertStatement& s);
    long remove(const sql::DeleteStatement& s);
    long addColumn(const sql::AlterAddColumn& s);
    long renameColumn(const sql::AlterRenameColumn& s);
    long dropColumn(const sql::AlterDropColumn& s);
    long createTable(const sql::CreateTableStatement& s);
    long dropTable(const sql::DropTableStatement& s);

    ConnectionSettings m_settings;
    std::unique_ptr<SourceCatalog> m_catalog;
    std::map<std::filesystem::path, std::unique_ptr<OpenTable>> m_tables;
    std::unique_ptr<ReferentialIntegrity> m_ri;
    // Table names as statements gave them (a leading '"' when quoted) -> the file they resolved to.
    std::map<std::string, std::filesystem::path> m_resolved;
};

}  // namespace dorvane::provider
