#include "platform/fake/fake_export_platform.h"

#include <stdexcept>

namespace dorvane::platform {

QString FakePopupMenu::popup(QWidget*, const QString& name, const QString& caption,
                             const QList<PopupMenuItem>& items) {
    shown.push_back({name, caption, items});
    if (answers.empty()) return QString();
    QString answer = answers.front();
    answers.pop_front();
    return answer;
}

QStringList FakePrinters::deviceNames() {
    if (failList) throw std::runtime_error("The printer list cannot be read.");
    return names;
}

QString FakePrinters::defaultPrinter() {
    if (failDefault) throw std::runtime_error("The default printer cannot be read.");
    return defaultName;
}

void FakePrinters::setDefaultPrinter(const QString& deviceName) {
    setCalls << deviceName;
    if (!names.contains(deviceName)) throw std::runtime_error("No such printer.");
    defaultName = deviceName;
}

long FakeConfigurationStore::RegOpenKeyA(std::uintptr_t root, const QString& subKey, std::uintptr_t& key) {
    ++opened;
    if (root != kClassesRoot || !classesRoot.contains(subKey)) return kStoreFileNotFound;
    m_handles.push_back(subKey);
    key = m_handles.size();
    return kStoreSuccess;
}

long FakeConfigurationStore::RegQueryValueA(std::uintptr_t key, const QString& subKey, QString& buffer,
                                            long& size) {
    if (key == 0 || key > m_handles.size()) return kStoreFileNotFound;
    const QString path = subKey.isEmpty() ? m_handles[key - 1] : m_handles[key - 1] + '\\' + subKey;
    if (!classesRoot.contains(path)) return kStoreFileNotFound;
    const QString value = classesRoot.value(path);
    if (value.size() + 1 > size) return kStoreMoreData;
    buffer = value + QChar(0) + buffer.mid(value.size() + 1);
    size = value.size() + 1;
    return kStoreSuccess;
}

long FakeConfigurationStore::RegCloseKey(std::uintptr_t) {
    ++closed;
    return kStoreSuccess;
}

std::int64_t FakeProgramLauncher::Shell(const QString& commandLine, WindowStyle style) {
    if (fail) throw std::runtime_error("File not found");
    started.push_back({commandLine, style});
    if (onStart) onStart(commandLine);
    return 1000 + std::int64_t(started.size());
}

bool FakeProgramLauncher::waitForEnd(std::int64_t processId, int) {
    waited.push_back(processId);
    return true;
}

namespace {

class FakeWorkbook final : public SpreadsheetWorkbook {
public:
    explicit FakeWorkbook(FakeSpreadsheetAutomation& owner) : m_owner(owner) {}
    void setCells(int row, int column, const QString& text) override {
        if (m_owner.onCell) m_owner.onCell(row, column);
        m_owner.calls << QStringLiteral("ActiveSheet.Cells(%1, %2) = %3").arg(row).arg(column).arg(text);
        m_owner.cells[{row, column}] = text;
    }
    void setCellsValue(int row, int column, const QString& text) override {
        if (m_owner.onCell) m_owner.onCell(row, column);
        m_owner.calls
            << QStringLiteral("ActiveSheet.Cells(%1, %2).Value = %3").arg(row).arg(column).arg(text);
        m_owner.cells[{row, column}] = text;
    }
    void ColumnsAutofit() override { m_owner.calls << QStringLiteral("ActiveSheet.Columns.Autofit"); }
    int sheetRows() const override { return m_owner.sheetRows; }

private:
    FakeSpreadsheetAutomation& m_owner;
};

class FakeApplication final : public SpreadsheetApplication {
public:
    explicit FakeApplication(FakeSpreadsheetAutomation& owner) : m_owner(owner) {}
    SpreadsheetWorkbook& WorkbooksAdd() override {
        m_owner.calls << QStringLiteral("Workbooks.add");
        m_owner.cells.clear();
        m_workbooks.push_back(std::make_unique<FakeWorkbook>(m_owner));
        return *m_workbooks.back();
    }
    void setVisible(bool value) override {
        m_owner.calls << QStringLiteral("Visible = %1").arg(value ? "True" : "False");
    }
    void Quit() override { m_owner.calls << QStringLiteral("Quit"); }

private:
    FakeSpreadsheetAutomation& m_owner;
    std::vector<std::unique_ptr<FakeWorkbook>> m_workbooks;
};

}  // namespace

std::unique_ptr<SpreadsheetApplication> FakeSpreadsheetAutomation::CreateObject(const QString& progId) {
    if (!installed) throw std::runtime_error("ActiveX component can't create object");
    calls << QStringLiteral("CreateObject ") + progId;
    return std::make_unique<FakeApplication>(*this);
}

}  // namespace dorvane::platform
