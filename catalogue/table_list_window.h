// Form2, the table-list window: the wizard's second step. Lists the tables of the data source, hands
// the chosen one to the editor through the editing session, and creates and deletes tables.
#pragma once

#include <QWidget>

#include "app/editing_session.h"
#include "app/wizard.h"
#include "platform/platform.h"

class QGroupBox;
class QListWidget;
class QPushButton;

namespace dorvane::app {
class Form1;
}

namespace dorvane::catalogue {

class Form2 final : public QWidget, public app::TableListStep {
    Q_OBJECT
public:
    Form2(platform::Platform& platform, app::Form1& connectionWindow, app::EditingSession& session,
          QWidget* parent = nullptr);

    // The editor window Next hands the chosen table to; without one, Next reports each editor step.
    void setEditorStep(app::EditorStep* editor) { m_editor = editor; }

    // Shows the window; its load runs at the first showing only, so list and selection stay as they were.
    void showStep() override;
    // The public load: rebuilds the list.
    void reloadStep() override { Form_Load(); }

    void Form_Load();
    void PushButton2_Click();  // < Back
    void PushButton3_Click();  // Next >
    void PushButton4_Click();  // Create New Table
    void PushButton5_Click();  // Delete Selected Table

    // Gives `connection`'s table (the selected one) a fresh, numbered tempidxxx column and records it in
    // the session, so it is removed before the program ends. Raises on the first failing statement.
    void prepareTemporaryField(provider::Connection& connection);

signals:
    // The user closed the window: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QString label(const char* procedure) const;
    int selectedRow() const;
    provider::Connection& sharedConnection() const;
    app::EditorStep& editor() const;
    void listTables();

    platform::Platform& m_platform;
    app::Form1& m_form1;
    app::EditingSession& m_session;
    app::EditorStep* m_editor = nullptr;
    bool m_loaded = false;

    QGroupBox* Frame1;
    QListWidget* List1;
    QPushButton* PushButton2;
    QPushButton* PushButton3;
    QPushButton* PushButton5;
    QPushButton* PushButton4;
};

}  // namespace dorvane::catalogue
