// The row-identifier column tempidxxx as the editor relies on it: whether a recordset ends with it, the
// largest identifier in use, why a table could not be given one, and its removal from every table
// prepared during the run when the program ends. createTemporaryField itself is the editor window's.
#pragma once

#include <QString>

#include "app/editing_session.h"
#include "provider/ado/recordset.h"

namespace dorvane::editor {

// True when the last column is named exactly tempidxxx.
bool endsWithIdentifier(const provider::RowSource& rows);

// The largest tempidxxx value of rows just numbered (0 without rows): the last row's, read alone.
qint32 largestIdentifier(const provider::RowSource& rows);

// Why `table` cannot be changed over `connection`: the provider's own refusal of a write that touches
// no record, or a general reason when it raises none. Nothing is written.
QString readOnlyReason(provider::Connection& connection, const QString& table, const QString& someField);

// Closes the session's connection, then removes tempidxxx from every prepared table that still has
// it, each over its own plain connection. Failures are passed over: it runs as the program ends.
// Returns the number of tables it changed.
int removeIdentifierColumns(app::EditingSession& session);

}  // namespace dorvane::editor
