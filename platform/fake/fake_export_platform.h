// Scripted fakes of the pop-up menu, printers, configuration store, program launcher and spreadsheet
// automation: they answer from what a test sets up and record every call.
#pragma once

#include <QMap>
#include <QPair>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "platform/popup_menu.h"
#include "platform/printing.h"
#include "platform/spreadsheet.h"

namespace dorvane::platform {

class FakePopupMenu final : public PopupMenu {
public:
    struct Shown {
        QString name, caption;
        QList<PopupMenuItem> items;
    };
    std::deque<QString> answers;  // the chosen item's name, "" to dismiss; none queued: dismissed
    std::vector<Shown> shown;
    QString popup(QWidget* owner, const QString& name, const QString& caption,
                  const QList<PopupMenuItem>& items) override;
};

class FakePrinters final : public Printers {
public:
    QStringList names;         // device names in list order
    QString defaultName;       // the default printer's device name
    bool failList = false;     // deviceNames() raises
    bool failDefault = false;  // defaultPrinter() raises
    QStringList setCalls;      // every name setDefaultPrinter was asked for
    QStringList deviceNames() override;
    QString defaultPrinter() override;
    void setDefaultPrinter(const QString& deviceName) override;
};

class FakeConfigurationStore final : public ConfigurationStore {
public:
    QMap<QString, QString> classesRoot;  // key path under the classes root -> its default value
    int opened = 0, closed = 0;
    long RegOpenKeyA(std::uintptr_t root, const QString& subKey, std::uintptr_t& key) override;
    long RegQueryValueA(std::uintptr_t key, const QString& subKey, QString& buffer, long& size) override;
    long RegCloseKey(std::uintptr_t key) override;

private:
    std::vector<QString> m_handles;
};

class FakeProgramLauncher final : public ProgramLauncher {
public:
    struct Started {
        QString commandLine;
        WindowStyle style;
    };
    bool fail = false;  // Shell raises, as for a missing program
    std::vector<Started> started;
    std::vector<std::int64_t> waited;
    std::function<void(const QString&)> onStart;  // runs when a program starts (before Shell returns)
    std::int64_t Shell(const QString& commandLine, WindowStyle style) override;
    bool waitForEnd(std::int64_t processId, int milliseconds) override;
};

class FakeSpreadsheetAutomation final : public SpreadsheetAutomation {
public:
    bool installed = true;
    int sheetRows = 1048576;
    QStringList calls;                     // "CreateObject Excel.Application", "Workbooks.add", ...
    QMap<QPair<int, int>, QString> cells;  // (row, column) -> text, of the last workbook
    std::function<void(int row, int column)> onCell;  // may raise, as a spreadsheet program that went away
    std::unique_ptr<SpreadsheetApplication> CreateObject(const QString& progId) override;
};

}  // namespace dorvane::platform
