// Form3, the table editor window: the grid over the table the list window chose, the cell overlay
// Text1, and the commands on rows and columns, each sending its statement on SharedConnection and
// reloading the grid. Quit and closing the window remove tempidxxx and end the program.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "app/data_source.h"
#include "app/editing_session.h"
#include "app/wizard.h"
#include "platform/platform.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace dorvane::exporting {
class ExportCommands;
}

namespace dorvane::editor {

class DataGrid1;

class Form3 final : public QWidget, public app::EditorStep {
    Q_OBJECT
public:
    Form3(platform::Platform& platform, app::EditingSession& session, QWidget* parent = nullptr);
    ~Form3() override;

    // The table-list window that Back returns to.
    void setTableListStep(app::TableListStep* step) { m_tableList = step; }
    // Where the plain connection string comes from when the table was not prepared this run.
    void setDataSourceHolder(const app::DataSourceHolder* holder) { m_dataSource = holder; }
    // What ending the program does (the leave sequence's last step).
    void setProgramEnd(std::function<void()> end) { m_programEnd = std::move(end); }

    // EditorStep.
    void showEditor() override;
    void setEditingCaption(const QString& text) override;
    void setGridDataSource(std::shared_ptr<provider::RowSource> rows) override;
    int gridColumnCount() const override;
    void setGridColumnWidth(int column, int width) override;
    void focusGrid() override;

    void refreshGrid();
    void createTemporaryField();

    // Commands.
    void Form_Load();
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton6_Click();
    void PushButton7_Click();
    void PushButton9_Click();
    void chkNewColumn_Click();
    void Form_Unload();
    // Cell editing: the grid's edit start for a column, with the character that started it ("" when
    // not typed); Enter, Escape and focus loss of the overlay.
    void DataGrid1_BeforeColEdit(int column, const QString& typed);
    void Text1_KeyPress(int keyAscii);
    void Text1_LostFocus();
    void Text1_Escape();

    DataGrid1* grid() const { return m_grid; }
    // False while the table shown has no row identifier to key changes on: the commands that change it
    // are disabled, and the first cell edit tried says why, once per opening.
    bool canChangeTable() const { return m_writable; }

    qint32 mTotalRecords = 0;
    QString mEditField;
    QString mEditRowId;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString label(const char* procedure) const;
    void execute(const QString& statement);
    void bindRows(std::shared_ptr<provider::RowSource> rows, bool opening);
    void commitEdit(const char* procedure, int updateLine);
    void leaveSequence(const char* procedure);
    void tellReadOnly();
    QString plainConnectionString() const;

    platform::Platform& m_platform;
    app::EditingSession& m_session;
    app::TableListStep* m_tableList = nullptr;
    const app::DataSourceHolder* m_dataSource = nullptr;
    std::function<void()> m_programEnd;
    bool m_loaded = false;
    bool m_left = false;

    bool m_writable = false;
    bool m_renumbered = false;
    QString m_readOnlyReason;
    bool m_toldReadOnly = true;
    QStringList m_toldTriggers;  // tables whose FoxPro-only triggers were told of

    bool m_editing = false;
    QString m_editOriginal;

    DataGrid1* m_grid;
    QLabel* Label2;
    QLineEdit* Text1;
    QPushButton* PushButton1;
    QPushButton* PushButton4;
    QPushButton* PushButton9;
    QPushButton* PushButton8;
    QPushButton* PushButton2;
    QPushButton* PushButton6;
    QPushButton* PushButton5;
    QPushButton* PushButton7;
    QPushButton* PushButton3;
    std::unique_ptr<exporting::ExportCommands> m_export;
};

}  // namespace dorvane::editor
