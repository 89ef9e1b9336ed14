// DataGrid1, the editor's grid: a caption bar over a table view of uniform rows bound to a recordset's
// rows. It reports columns, the current cell and positions in twips for the cell overlay, and gives
// the exports their paging walk. It never writes: an edit start is handed to the window.
#pragma once

#include <QTableView>
#include <QWidget>
#include <memory>

#include "editor/grid_model.h"
#include "export/export_grid.h"

class QLabel;

namespace dorvane::editor {

// The table view inside the grid: typing, F2 or a double click starts an edit instead of editing.
class GridView final : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;
    // The width the column's texts on the first page need.
    int contentWidth(int column) const { return sizeHintForColumn(column); }

signals:
    // `typed` is the character that started the edit, empty when it was not started by typing.
    void editStarted(const QString& typed);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

class DataGrid1 final : public QWidget, public exporting::ExportGrid {
    Q_OBJECT
public:
    static constexpr char kCaption[] = "Changes you make are automatically saved as you make them.";

    explicit DataGrid1(QWidget* parent = nullptr);

    // Binds the grid to rows (null unbinds); the grid starts at the first row, no cell current.
    void setDataSource(std::shared_ptr<provider::RowSource> rows);
    const std::shared_ptr<provider::RowSource>& dataSource() const { return m_model->rows(); }
    GridModel& model() { return *m_model; }
    GridView* view() const { return m_view; }

    // Column geometry in twips, relative to the grid; width 0 hides a column.
    int columnLeft(int column) const;
    int columnWidth(int column) const;
    void setColumnWidth(int column, int width);
    QString columnDataField(int column) const;

    // The current cell: row -1 without rows, column -1 before one is chosen.
    qint64 currentRow() const;
    int currentColumn() const { return m_currentColumn; }
    void setCurrentCell(qint64 row, int column);
    // The top of the current row in twips, relative to the grid.
    int rowTop() const;
    // Keyboard focus with the first cell of the first row current.
    void focusFirstCell();

    // ExportGrid.
    int columnCount() const override;
    QString columnCaption(int column) const override;
    QString columnText(int column) const override;
    std::string_view columnUtf8(int column) const override;
    std::int64_t approxCount() const override;
    int visibleRows() const override;
    void setRow(int visibleRow) override;
    void scroll(int columns, int rows) override;
    void scrollToFirstRow() override;

signals:
    void editStarted(int column, const QString& typed);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* m_caption;
    GridView* m_view;
    GridModel* m_model;
    int m_currentColumn = -1;
    // The view shows the page and row the walk reached once events run (queued once per walk).
    void queueShowWalk();
    void showWalk();

    // The top row as the row walk sees it: it may pass the last full page, which the view cannot show.
    qint64 m_top = 0;
    // The row the walk made current, until the view shows it (-1: the view's current row holds).
    qint64 m_walkRow = -1;
    bool m_walkShowQueued = false;
};

}  // namespace dorvane::editor
