// The ADO-like Connection: opens a data source (a folder of free tables or a .dbc container) from an
// OLE DB ConnectionString and runs statements on it. No Qt; failures raise ProviderError.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "provider/ado/connection_string.h"

namespace dorvane::provider {

class Recordset;
class RowSource;

// ADO's adStateClosed / adStateOpen.
inline constexpr int kStateClosed = 0;
inline constexpr int kStateOpen = 1;
// ADO's adSchemaTables.
inline constexpr int kSchemaTables = 20;

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // ADO properties, set before Open: 2 server-side, 3 client-side cursors; timeouts in seconds.
    int CursorLocation = 2;
    int CommandTimeout = 30;
    int ConnectionTimeout = 15;

    // Opens the data source named by the ConnectionString. Raises ProviderError (E_FAIL) when the
    // string is malformed or the Data Source is neither an existing folder nor an existing .dbc file.
    // Opening an open connection raises too, as ADO does.
    void Open(const std::string& connectionString);
    // Runs one SQL statement; returns the number of records it touched (0 for DDL).
    long Execute(const std::string& statement);
    // The tables schema (kSchemaTables): fields TABLE_NAME and TABLE_TYPE.
    std::shared_ptr<Recordset> OpenSchema(int schema);
    // 0 closed, 1 open.
    int state() const;
    // Closes, flushing what this connection wrote; raises when already closed, as ADO does, and when
    // a table could not be flushed (the connection is closed all the same). No call lets any error
    // but ProviderError out.
    void Close();

    // The settings of the open data source (valid while open).
    const ConnectionSettings& settings() const;
    // True when the Data Source is a .dbc container rather than a folder.
    bool isContainer() const;
    // Runs a SELECT and returns its rows, read lazily (what Recordset::Open uses).
    std::shared_ptr<RowSource> query(const std::string& select);
    // The table's insert, update and delete triggers that are stored procedures only FoxPro can run
    // (statements here run without them), each as "<kind> trigger: <expression>"; empty for most.
    std::vector<std::string> foreignTriggers(const std::string& table);

private:
    void openSource(const std::string& connectionString);
    std::shared_ptr<Recordset> openSchema(int schema);
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace dorvane::provider
