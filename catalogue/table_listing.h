// LoadFoxProTables of the Foxpro module: fills a list box with the tables of one data source, as the
// provider's table schema reports them. It has no error trap: failures reach the caller's.
#pragma once

#include <QString>

#include "platform/system.h"

class QListWidget;

namespace dorvane::catalogue {

// Opens a private connection with `connectionString`, asks for the tables schema, clears `list` and
// appends the TABLE_NAME of every row whose TABLE_TYPE is exactly "TABLE", in the provider's order,
// letting pending window events run as names are added (at most every 20 ms, so the window repaints
// while a long list is built). Raises ProviderError; a failure before the schema has been read leaves
// the list as it was, one while reading it keeps the names added so far.
void LoadFoxProTables(QListWidget& list, const QString& connectionString, platform::EventPump& events);

}  // namespace dorvane::catalogue
