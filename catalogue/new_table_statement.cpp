#include "catalogue/new_table_statement.h"

#include <QDir>
#include <QFileInfo>

namespace dorvane::catalogue {

QString GetParentFolder(const QString& path) {
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString fieldNameFromAnswer(const QString& answer) {
    QString name = answer;
    name.remove(QLatin1Char(' '));
    return name.left(8);
}

QString newTableFilePath(const QString& folder, const QString& name) {
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    return path + name + QStringLiteral(".DBF");
}

bool tableFileExists(const QString& path) {
    const QFileInfo file(path);
    if (file.exists()) return true;
    // One pass over the folder's names: a listing of thousands of tables costs what reading it costs.
    const QStringList names = file.dir().entryList(QDir::Files | QDir::Hidden | QDir::System);
    return names.contains(file.fileName(), Qt::CaseInsensitive);
}

QString tableNameProblem(const QString& name) {
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.contains(QChar(0))) {
        return QStringLiteral("Invalid path or file name.");
    }
    return QString();
}

QString createTableStatement(const QString& path, const QStringList& fields) {
    QString statement = QStringLiteral("CREATE TABLE '") + path + QStringLiteral("'(");
    for (const QString& field : fields) statement += field + QStringLiteral(" M,");
    statement.chop(1);
    return statement + QLatin1Char(')');
}

}  // namespace dorvane::catalogue
