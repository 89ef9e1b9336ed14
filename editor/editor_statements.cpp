#include "editor/editor_statements.h"

#include <cstdlib>

#include "provider/sql/value_text.h"

namespace dorvane::editor {

namespace {

QString bracketed(const QString& name) {
    return QLatin1Char('[') + name + QLatin1Char(']');
}

}  // namespace

QString quotedText(const QString& text) {
    QString doubled = text;
    doubled.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + doubled + QLatin1Char('\'');
}

QString gridSelect(const QString& table) {
    return QStringLiteral("SELECT * FROM \"") + table + QLatin1Char('"');
}

QString dropIdentifier(const QString& table) {
    return QStringLiteral("ALTER TABLE ") + bracketed(table) + QStringLiteral(" DROP COLUMN tempidxxx");
}

QString addIdentifier(const QString& table) {
    return QStringLiteral("ALTER TABLE ") + bracketed(table) + QStringLiteral(" ADD COLUMN tempidxxx i NULL");
}

QString numberIdentifier(const QString& table) {
    return QStringLiteral("update ") + bracketed(table) + QStringLiteral(" set tempidxxx = recno()");
}

QString cellTextUpdate(const QString& table, const QString& field, const QString& text,
                       const QString& rowId) {
    return QStringLiteral("update ") + bracketed(table) + QStringLiteral(" set ") + bracketed(field) +
           QLatin1Char('=') + quotedText(text) + QStringLiteral(" where tempidxxx=") + rowId;
}

QString cellNumericUpdate(const QString& table, const QString& field, const QString& number,
                          const QString& rowId) {
    return QStringLiteral("update ") + bracketed(table) + QStringLiteral(" set ") + bracketed(field) +
           QLatin1Char('=') + number + QStringLiteral(" where tempidxxx=") + rowId;
}

QString insertRow(const QString& table, qint32 rowId, const QStringList& columns, const QStringList& texts) {
    QString columnList;
    QString valueList;
    for (const QString& column : columns) columnList += bracketed(column) + QLatin1Char(',');
    for (const QString& text : texts) valueList += quotedText(text) + QLatin1Char(',');
    columnList.chop(1);
    valueList.chop(1);
    return QStringLiteral("insert into ") + bracketed(table) + QStringLiteral(" (tempidxxx,") + columnList +
           QStringLiteral(") values (") + QString::number(rowId) + QLatin1Char(',') + valueList +
           QLatin1Char(')');
}

QString deleteRow(const QString& table, const QString& rowId) {
    return QStringLiteral("delete from ") + bracketed(table) + QStringLiteral(" where tempidxxx=") + rowId;
}

QString addMemoColumn(const QString& table, const QString& name) {
    return QStringLiteral("ALTER TABLE ") + bracketed(table) + QStringLiteral(" ADD COLUMN ") +
           bracketed(name) + QStringLiteral(" M NULL");
}

QString renameColumn(const QString& table, const QString& from, const QString& to) {
    return QStringLiteral("ALTER TABLE ") + bracketed(table) + QStringLiteral(" RENAME COLUMN ") +
           bracketed(from) + QStringLiteral(" TO ") + bracketed(to);
}

QString dropColumn(const QString& table, const QString& name) {
    return QStringLiteral("ALTER TABLE ") + bracketed(table) + QStringLiteral(" DROP COLUMN ") +
           bracketed(name);
}

QString leadingNumberText(const QString& text) {
    std::string compact;
    for (QChar c : text) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
            c == QLatin1Char('\r'))
            continue;
        compact += c.unicode() < 128 ? char(c.unicode()) : '\x01';
    }
    // sign, digits, point, digits, then an exponent only when digits follow it.
    size_t i = 0;
    if (i < compact.size() && (compact[i] == '+' || compact[i] == '-')) ++i;
    const size_t digitsStart = i;
    while (i < compact.size() && std::isdigit(static_cast<unsigned char>(compact[i]))) ++i;
    if (i < compact.size() && compact[i] == '.') ++i;
    while (i < compact.size() && std::isdigit(static_cast<unsigned char>(compact[i]))) ++i;
    bool anyDigit = false;
    for (size_t k = digitsStart; k < i; ++k)
        anyDigit = anyDigit || std::isdigit(static_cast<unsigned char>(compact[k]));
    if (!anyDigit) return QStringLiteral("0");
    if (i < compact.size() &&
        (compact[i] == 'e' || compact[i] == 'E' || compact[i] == 'd' || compact[i] == 'D')) {
        size_t j = i + 1;
        if (j < compact.size() && (compact[j] == '+' || compact[j] == '-')) ++j;
        const size_t expDigits = j;
        while (j < compact.size() && std::isdigit(static_cast<unsigned char>(compact[j]))) ++j;
        if (j > expDigits) {
            compact[i] = 'e';
            i = j;
        }
    }
    const double value = std::strtod(compact.substr(0, i).c_str(), nullptr);
    return QString::fromStdString(provider::sql::formatNumber(value));
}

QString columnNameAnswer(const QString& answer) {
    return answer.size() > 8 ? answer.left(8) : answer;
}

}  // namespace dorvane::editor
