// The grid's model over a recordset's rows: a cell is read from the provider only when the view asks
// for it, so a table of a million records costs what the rows on screen cost. Read-only to the view:
// edits go through the editor window's statements.
#pragma once

#include <QAbstractTableModel>
#include <memory>

#include "provider/ado/recordset.h"

namespace dorvane::editor {

class GridModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(QObject* parent = nullptr);

    // Shows `rows` (null: nothing) from its first row.
    void setRows(std::shared_ptr<provider::RowSource> rows);
    const std::shared_ptr<provider::RowSource>& rows() const { return m_rows; }

    // The cell's display text; a row the provider cannot read raises its ProviderError.
    QString cellText(qint64 row, int column) const;
    // The texts of every cell of a row in UTF-8, read from the provider once for all its cells: the
    // row asked for last is kept until another row is asked for or the rows change.
    const provider::RowTexts& rowTexts(qint64 row) const;
    // The field name behind a column.
    QString fieldName(int column) const;
    // False for General and Blob fields and binary memos.
    bool isEditable(qint64 row, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::shared_ptr<provider::RowSource> m_rows;
    mutable provider::RowTexts m_texts;
    mutable qint64 m_textsRow = -1;
};

}  // namespace dorvane::editor
