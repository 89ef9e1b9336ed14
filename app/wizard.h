// How the wizard's windows hand over to one another without knowing each other's classes: the
// connection window to the table-list window, the table-list window to the editor and back.
#pragma once

#include <QString>
#include <memory>

namespace dorvane::provider {
class RowSource;
}

namespace dorvane::app {

class TableListStep {
public:
    virtual ~TableListStep() = default;
    // Shows the table-list window, not modal, with the list and selection it had.
    virtual void showStep() = 0;
    // The window's public load routine: rebuilds its list of tables.
    virtual void reloadStep() = 0;
};

// What the table-list window's Next command does to the editor window, one call per step.
class EditorStep {
public:
    virtual ~EditorStep() = default;
    // Shows the editor window, not modal; its load runs at its first showing only.
    virtual void showEditor() = 0;
    // The caption label above the grid (Label2).
    virtual void setEditingCaption(const QString& text) = 0;
    // Binds the grid to the rows of a recordset (its DataSource); null unbinds it.
    virtual void setGridDataSource(std::shared_ptr<provider::RowSource> rows) = 0;
    virtual int gridColumnCount() const = 0;
    // Width in twips; 0 hides the column.
    virtual void setGridColumnWidth(int column, int width) = 0;
    virtual void focusGrid() = 0;
};

}  // namespace dorvane::app
