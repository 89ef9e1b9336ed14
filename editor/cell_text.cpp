#include "editor/cell_text.h"

#include "provider/sql/value_text.h"

namespace dorvane::editor {

QString cellText(const provider::Value& value, const provider::ColumnInfo& column) {
    std::string text;
    provider::sql::appendCellText(text, value, column.type, column.decimals);
    return QString::fromStdString(text);
}

bool isEditableField(const provider::ColumnInfo& column) {
    return column.type != 'G' && column.type != 'W';
}

}  // namespace dorvane::editor
