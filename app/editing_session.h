// The two globals that carry the editing of one table from the table-list window to the editor:
// SharedConnection and CurrentTableName, with the tables given a row-identifier column this run.
#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "provider/ado/connection.h"

namespace dorvane::app {

struct EditingSession {
    // Created by the table-list window when it loads, opened exclusively by its Next command, and
    // used by the editor for every statement and recordset.
    std::shared_ptr<provider::Connection> SharedConnection;
    // The table being edited, as listed.
    QString CurrentTableName;

    // A table that was given a tempidxxx column during this run, with the plain connection string of
    // its data source: before the program ends, the column is removed from each of them.
    struct PreparedTable {
        QString connectionString;
        QString table;
    };
    std::vector<PreparedTable> preparedTables;
};

}  // namespace dorvane::app
