// The text a grid cell shows for a field value, in the form the provider reads back when it is typed
// into the cell: dates 2024-03-05, datetimes 2024-03-05 14:05:00, numbers with the field's decimals.
#pragma once

#include <QString>

#include "provider/ado/recordset.h"

namespace dorvane::editor {

// Character fields lose their trailing pad blanks, N/F/B numbers show the field's decimals, logicals
// True/False, NULL and empty dates the empty text, memos their text, General and Blob fields and binary
// memos "(binary)" (the grid does not edit them). The grid reads whole rows through
// RowSource::rowTexts, which gives the same texts.
QString cellText(const provider::Value& value, const provider::ColumnInfo& column);

// False for fields whose cells cannot be typed into (General, Blob).
bool isEditableField(const provider::ColumnInfo& column);

}  // namespace dorvane::editor
