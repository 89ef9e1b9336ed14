#include "editor/grid_model.h"

#include <climits>
#include <stdexcept>

#include "editor/cell_text.h"

namespace dorvane::editor {

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

void GridModel::setRows(std::shared_ptr<provider::RowSource> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    m_textsRow = -1;
    endResetModel();
}

const provider::RowTexts& GridModel::rowTexts(qint64 row) const {
    if (row != m_textsRow) {
        m_textsRow = -1;
        m_rows->rowTexts(row, provider::TextForm::Cell, m_texts);
        m_textsRow = row;
    }
    return m_texts;
}

QString GridModel::cellText(qint64 row, int column) const {
    if (column < 0 || column >= columnCount()) throw std::out_of_range("Invalid column index.");
    const std::string_view text = rowTexts(row).text(column);
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString GridModel::fieldName(int column) const {
    return QString::fromStdString(m_rows->column(column).name);
}

bool GridModel::isEditable(qint64 row, int column) const {
    if (!m_rows || column < 0 || column >= m_rows->columnCount()) return false;
    if (!isEditableField(m_rows->column(column))) return false;
    if (m_rows->column(column).type != 'M') return true;
    return !std::holds_alternative<provider::Blob>(m_rows->value(row, column));
}

int GridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_rows) return 0;
    return int(std::min<std::int64_t>(m_rows->rowCount(), INT_MAX));
}

int GridModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_rows) return 0;
    return m_rows->columnCount();
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!m_rows || !index.isValid()) return {};
    if (role == Qt::DisplayRole) {
        try {
            QString text = cellText(index.row(), index.column());
            // One line per row: a memo's line breaks show as blanks here and stay in the table.
            for (QChar& c : text) {
                if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) c = QLatin1Char(' ');
            }
            return text;
        } catch (...) {
            return QStringLiteral("#error");
        }
    }
    if (role == Qt::TextAlignmentRole) {
        switch (m_rows->column(index.column()).type) {
            case 'N':
            case 'F':
            case 'B':
            case 'I':
            case 'Y':
                return QVariant(Qt::AlignRight | Qt::AlignVCenter);
            default:
                return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        }
    }
    return {};
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || !m_rows) return {};
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= m_rows->columnCount()) return {};
        return fieldName(section);
    }
    return {};
}

}  // namespace dorvane::editor
