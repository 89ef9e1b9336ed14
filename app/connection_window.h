// Form1, the connection window: the program's first window, where the user chooses and tests the data
// source. It stays loaded for the whole run and holds the data source every other window reads.
#pragma once

#include <QWidget>
#include <functional>

#include "app/data_source.h"
#include "platform/platform.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace dorvane::app {

class TableListStep;

class Form1 final : public QWidget, public DataSourceHolder {
    Q_OBJECT
public:
    Form1(platform::Platform& platform, QWidget* parent = nullptr);

    // The table-list window the wizard moves on to.
    void setTableListStep(TableListStep* step) { m_tableList = step; }
    // Run last at start-up, whatever the connection check answered (the PDF printer check).
    void setStartUpCheck(std::function<void()> check) { m_startUpCheck = std::move(check); }

    // Start-up: runs the load steps, then shows this window unless the stored data source opened.
    void startUp();

    // The data source in use: true for the database container, false for the folder in Text2.
    bool OptionDBC1 = false;
    QString DBCPath1;

    QString connectionString(ConnectionVariant variant) const override;
    QString folderText() const;
    // Sets the folder text box as typing would (the change rule runs when the text differs).
    void setFolderText(const QString& text);

    // Commands.
    void Form_Load();
    void Text2_Change();
    void PushButton1_Click();
    void PushButton3_Click();
    void PushButton7_Click();
    void PushButton8_Click();
    void PushButton10_Click();
    void PushButton12_Click();

    bool handedOver() const { return m_handedOver; }

signals:
    // The user closed the window: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QString label(const char* procedure) const;
    void showMessage(const QString& text);
    void moveToTableList();

    platform::Platform& m_platform;
    DataSourceSettings m_settings;
    TableListStep* m_tableList = nullptr;
    std::function<void()> m_startUpCheck;
    bool m_handedOver = false;

    QPushButton* PushButton10;
    QGroupBox* Frame1;
    QLabel* Label1;
    QLineEdit* Text2;
    QPushButton* PushButton7;
    QPushButton* PushButton1;
    QPushButton* PushButton8;
    QPushButton* PushButton12;
    QPushButton* PushButton3;
};

}  // namespace dorvane::app
