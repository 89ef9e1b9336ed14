// frmNewTable, the new-table designer: a modal window where the user names a table and lists its
// fields; Save creates it, every field a memo field. The deciding and building is new_table_statement's.
#pragma once

#include <QDialog>

#include "platform/platform.h"

class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace dorvane::app {
class Form1;
}

namespace dorvane::catalogue {

class frmNewTable final : public QDialog {
    Q_OBJECT
public:
    frmNewTable(platform::Platform& platform, app::Form1& connectionWindow, QWidget* parent = nullptr);

    void Form_Load();
    void cmdAdd_Click();       // Add (PushButton6)
    void PushButton1_Click();  // Delete
    void PushButton2_Click();  // Save
    void PushButton3_Click();  // Cancel
    void PushButton4_Click();  // Move Selected Up
    void PushButton5_Click();  // Move Selected Down

private:
    QString label(const char* procedure) const;
    int selectedRow() const;
    QStringList fields() const;

    platform::Platform& m_platform;
    app::Form1& m_form1;

    QGroupBox* Frame2;
    QLineEdit* txtName;
    QGroupBox* Frame1;
    QListWidget* List1;
    QPushButton* PushButton6;
    QPushButton* PushButton1;
    QPushButton* PushButton5;
    QPushButton* PushButton4;
    QPushButton* PushButton2;
    QPushButton* PushButton3;
};

}  // namespace dorvane::catalogue
