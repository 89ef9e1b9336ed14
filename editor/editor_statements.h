// Every statement the table editor sends, built from its pieces, and the reading of a typed text as a
// number for the numeric retry of a cell edit. Plain functions: no connection, no window.
#pragma once

#include <QString>
#include <QStringList>

namespace dorvane::editor {

inline constexpr char kIdentifierColumn[] = "tempidxxx";

// A text between single quotes, each single quote inside doubled.
QString quotedText(const QString& text);

// The grid's recordset: "SELECT * FROM "<table>"".
QString gridSelect(const QString& table);

// The row-identifier column: dropped, added last, numbered by record number.
QString dropIdentifier(const QString& table);
QString addIdentifier(const QString& table);
QString numberIdentifier(const QString& table);

// A cell edit: the text as typed, quoted; or the number read from it, unquoted.
QString cellTextUpdate(const QString& table, const QString& field, const QString& text, const QString& rowId);
QString cellNumericUpdate(const QString& table, const QString& field, const QString& number,
                          const QString& rowId);

// A new row: the identifier first, then one quoted text per named column.
QString insertRow(const QString& table, qint32 rowId, const QStringList& columns, const QStringList& texts);
QString deleteRow(const QString& table, const QString& rowId);

QString addMemoColumn(const QString& table, const QString& name);
QString renameColumn(const QString& table, const QString& from, const QString& to);
QString dropColumn(const QString& table, const QString& name);

// The longest leading part of `text` that forms a decimal number, blanks ignored, as plain decimal
// text ("12abc" gives 12, "1.50" gives 1.5, "abc" gives 0).
QString leadingNumberText(const QString& text);

// A rename answer cut to the 8 characters a column name keeps.
QString columnNameAnswer(const QString& answer);

}  // namespace dorvane::editor
