// Form4, the advanced options window: makes a database container (.dbc) the data source.
#pragma once

#include <QDialog>

#include "app/data_source.h"
#include "platform/platform.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace dorvane::app {

class Form1;

class Form4 final : public QDialog {
    Q_OBJECT
public:
    Form4(platform::Platform& platform, Form1& connectionWindow, QWidget* parent = nullptr);

    void Form_Load();
    void Text1_Change();
    void PushButton1_Click();  // OK
    void PushButton2_Click();  // Cancel
    void PushButton5_Click();  // "..."

private:
    QString label(const char* procedure) const;

    platform::Platform& m_platform;
    Form1& m_form1;
    DataSourceSettings m_settings;
    platform::FileDialogRequest CommonDialog1;

    QGroupBox* Frame2;
    QLabel* Label1;
    QLineEdit* Text1;
    QPushButton* PushButton5;
    QPushButton* PushButton1;
    QPushButton* PushButton2;
};

}  // namespace dorvane::app
