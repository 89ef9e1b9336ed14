// What the new-table designer decides and builds without a window: the field name an answer gives, the
// folder and file of the new table, whether it exists already, and the CREATE TABLE statement.
#pragma once

#include <QString>
#include <QStringList>

namespace dorvane::catalogue {

// The part of `path` up to and including its last "/"; "" when it holds none.
QString GetParentFolder(const QString& path);

// The field name an input-box answer gives: every blank removed, then at most its first 8 characters.
QString fieldNameFromAnswer(const QString& answer);

// folder + "/" (unless it ends with one) + name + ".DBF". The name passes unchanged.
QString newTableFilePath(const QString& folder, const QString& name);

// True when a file lies at `path`, or in its folder under the same name in another letter case
// (FoxPro table names ignore case, so such a file is the same table).
bool tableFileExists(const QString& path);

// Why `name` cannot name a table file in the folder ("" when it can): a file name holds no "/" and no
// NUL character, and the provider reads a backslash in a path as a folder separator too.
QString tableNameProblem(const QString& name);

// "CREATE TABLE '" + path + "'(" + each field + " M," ... without the last comma, + ")".
QString createTableStatement(const QString& path, const QStringList& fields);

}  // namespace dorvane::catalogue
