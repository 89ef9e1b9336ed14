#include "editor/cell_text.h"

#include <cmath>

#include "provider/sql/value_text.h"

namespace dorvane::editor {

QString cellText(const provider::Value& value, const provider::ColumnInfo& column) {
    if (std::holds_alternative<provider::Blob>(value)) {
        // Varbinary keeps its hex text, which the provider reads back; the rest is not text at all.
        if (column.type == 'Q') return QString::fromStdString(provider::sql::formatForGrid(value, 'Q', 0));
        return QString::fromLatin1(kBinaryPlaceholder);
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        QString out = QString::fromUtf8(*text);
        if (column.type == 'C') {
            qsizetype end = out.size();
            while (end > 0 && out[end - 1] == QLatin1Char(' ')) --end;
            out.truncate(end);
        }
        return out;
    }
    if (const auto* number = std::get_if<double>(&value)) {
        if (column.decimals > 0 && std::isfinite(*number) && std::fabs(*number) < 1e15) {
            return QString::number(provider::sql::roundDecimal(*number, column.decimals), 'f',
                                   column.decimals);
        }
    }
    return QString::fromStdString(provider::sql::formatForGrid(value, column.type, column.decimals));
}

bool isEditableField(const provider::ColumnInfo& column) {
    return column.type != 'G' && column.type != 'W';
}

}  // namespace dorvane::editor
