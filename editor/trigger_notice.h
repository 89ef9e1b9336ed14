// The word the editor gives, once per table, when a table it opens for editing has triggers that are
// stored procedures only FoxPro can run: changes made here are saved without them.
#pragma once

#include <QString>
#include <QStringList>

namespace dorvane::provider {
class Connection;
}

namespace dorvane::editor {

// The notice for `table`, or an empty text when it has no such triggers, when it was given already
// (`told` holds the tables told of, and gains this one), or when the triggers cannot be read.
QString foreignTriggerNotice(provider::Connection& connection, const QString& table, QStringList& told);

}  // namespace dorvane::editor
