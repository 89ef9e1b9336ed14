// Export benchmark: the grid writers and the workbook export over a table, through a grid that pages
// like the editor's. Prints one line with the seconds taken.
//   export_bench csv TABLE.dbf OUT.csv
//   export_bench xlsx TABLE.dbf OUT_FOLDER
#include <QFileInfo>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "export/export_commands.h"
#include "export/grid_writers.h"
#include "platform/fake/fake_platform.h"
#include "platform/qt/xlsx_automation.h"
#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/sql/value_text.h"

using namespace dorvane;

namespace {

class BenchGrid final : public exporting::ExportGrid {
public:
    explicit BenchGrid(std::shared_ptr<provider::RowSource> rows) : m_rows(std::move(rows)) {}
    int columnCount() const override { return m_rows->columnCount() + 1; }
    QString columnCaption(int c) const override {
        return c == m_rows->columnCount() ? QStringLiteral("tempidxxx")
                                          : QString::fromStdString(m_rows->column(c).name);
    }
    QString columnText(int c) const override {
        if (c == m_rows->columnCount()) return QString();
        const provider::ColumnInfo& info = m_rows->column(c);
        return QString::fromStdString(
            provider::sql::formatForGrid(m_rows->value(m_top + m_current, c), info.type, info.decimals));
    }
    std::int64_t approxCount() const override { return m_rows->rowCount(); }
    int visibleRows() const override { return 40; }
    void setRow(int k) override { m_current = k; }
    void scroll(int, int rows) override { m_top = std::min(m_top + rows, approxCount() - 1); }
    void scrollToFirstRow() override { m_top = m_current = 0; }

private:
    std::shared_ptr<provider::RowSource> m_rows;
    std::int64_t m_top = 0;
    int m_current = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[1], "csv") != 0 && std::strcmp(argv[1], "xlsx") != 0)) {
        std::fprintf(stderr, "usage: export_bench csv|xlsx TABLE.dbf OUT\n");
        return 2;
    }
    const QFileInfo table(QString::fromLocal8Bit(argv[2]));
    const auto start = std::chrono::steady_clock::now();
    provider::Connection connection;
    connection.Open("Provider=vfpoledb.1;Data Source=" + table.absolutePath().toStdString() +
                    ";Collating Sequence=general");
    BenchGrid grid(connection.query("SELECT * FROM " + table.completeBaseName().toStdString()));
    platform::FakePlatform fake;
    if (std::strcmp(argv[1], "csv") == 0) {
        exporting::DataGrid1::SaveDataGridToCSVFile(fake.messageBox, grid, QString::fromLocal8Bit(argv[3]));
    } else {
        platform::XlsxAutomation xlsx(
            QString::fromLocal8Bit(argv[3]), [] { return true; }, [](const QString&) { return true; });
        platform::Platform p = fake.platform();
        platform::Platform withXlsx{p.messageBox, p.inputBox,  p.fileDialog,  p.folderDialog,
                                    p.pointer,    p.settings,  p.environment, p.events,
                                    p.windows,    p.popupMenu, p.printers,    p.configurationStore,
                                    p.programs,   xlsx};
        exporting::ExportCommands(withXlsx, nullptr, grid).mnuXLS_Click();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const QString& text : fake.messageBox.texts()) std::fprintf(stderr, "%s\n", qPrintable(text));
    std::printf("%s export of %lld rows: %.3f s\n", argv[1], (long long)grid.approxCount(), seconds);
    return fake.messageBox.shown.empty() ? 0 : 1;
}
