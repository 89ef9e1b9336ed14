// Times the table editor on one table as a user meets it: from the list window's Next to the grid shown
// (exclusive connection, row identifier added and numbered, grid bound and painted), one cell commit with
// its reload, the jump to the last row, and one column added; then the peak memory of the process.
//   editor_bench make TABLE.dbf N     writes a sample table of N records (with a memo field)
//   editor_bench run FOLDER TABLE     opens FOLDER/TABLE.dbf in the editor (changes it)
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "editor/data_grid.h"
#include "editor/editor_statements.h"
#include "editor/editor_window.h"
#include "platform/fake/fake_platform.h"
#include "provider/ado/connection.h"
#include "provider/format/table.h"

using namespace dorvane;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Peak resident memory of the process so far, in MB.
double peakMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

// Lets the window paint what changed, as the event loop would before the user sees it.
void paint(QWidget& window) {
    QApplication::processEvents();
    (void)window.grab();
}

int make(const char* path, long count) {
    std::vector<provider::FieldSpec> fields(4);
    fields[0].name = "name", fields[0].type = 'C', fields[0].width = 30;
    fields[1].name = "qty", fields[1].type = 'N', fields[1].width = 10, fields[1].decimals = 2;
    fields[2].name = "born", fields[2].type = 'D';
    fields[3].name = "note", fields[3].type = 'M';
    auto table = provider::Table::create(path, fields);
    table->setFlushEachChange(false);
    for (long i = 0; i < count; ++i) {
        table->appendValues({std::string("customer ") + std::to_string(i), double(i % 1000) / 4,
                             provider::Date{2451545 + int(i % 9000)},
                             i % 10 == 0
                                 ? provider::Value(std::string("a memo of record ") + std::to_string(i))
                                 : provider::Value(std::string())});
    }
    table->flush();
    return 0;
}

int run(const QString& folder, const QString& name) {
    platform::FakePlatform fake;
    platform::Platform platform = fake.platform();
    app::EditingSession session;
    editor::Form3 form3(platform, session);

    auto start = Clock::now();
    session.SharedConnection = std::make_shared<provider::Connection>();
    session.SharedConnection->CursorLocation = 3;
    session.SharedConnection->Open(
        ("Provider=vfpoledb.1;Data Source=" + folder + ";Collating Sequence=general;mode=share exclusive;")
            .toStdString());
    session.CurrentTableName = name;
    form3.showEditor();
    form3.setEditingCaption(" Now Editing: " + name);
    form3.setGridDataSource(nullptr);
    auto step = Clock::now();
    session.SharedConnection->Execute(editor::addIdentifier(name).toStdString());
    std::printf("  window and column added\t%.1f ms\n", since(start));
    step = Clock::now();
    session.SharedConnection->Execute(editor::numberIdentifier(name).toStdString());
    std::printf("  numbered\t%.1f ms\n", since(step));
    step = Clock::now();
    provider::Recordset recordset;
    recordset.CursorLocation = 3;
    recordset.Open(editor::gridSelect(name).toStdString(), *session.SharedConnection, 2, 3);
    std::printf("  recordset opened\t%.1f ms\n", since(step));
    step = Clock::now();
    form3.setGridDataSource(recordset.DataSource());
    form3.setGridColumnWidth(form3.gridColumnCount() - 1, 0);
    form3.focusGrid();
    std::printf("  grid bound\t%.1f ms\n", since(step));
    step = Clock::now();
    paint(form3);
    std::printf("  painted\t%.1f ms\n", since(step));
    const auto records = form3.grid()->approxCount();
    std::printf("%lld records: Next to grid shown\t%.1f ms\n", static_cast<long long>(records), since(start));
    std::printf("%lld records: peak memory with the table open\t%.1f MB\n", static_cast<long long>(records),
                peakMegabytes());

    start = Clock::now();
    form3.grid()->setCurrentCell(records / 2, 0);
    form3.DataGrid1_BeforeColEdit(0, QStringLiteral("x"));
    form3.findChild<QLineEdit*>("Text1")->setText(QStringLiteral("O'Neil"));
    form3.Text1_KeyPress(13);
    paint(form3);
    std::printf("%lld records: cell commit with its reload\t%.2f ms\n", static_cast<long long>(records),
                since(start));

    start = Clock::now();
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QApplication::sendEvent(form3.grid()->view(), &end);
    paint(form3);
    std::printf("%lld records: jump to the last row\t%.2f ms (row %lld)\n", static_cast<long long>(records),
                since(start), static_cast<long long>(form3.grid()->currentRow()));

    start = Clock::now();
    editor::DataGrid1& grid = *form3.grid();
    std::size_t characters = 0;
    grid.scrollToFirstRow();
    for (std::int64_t i = 0, k = 0; i < grid.approxCount(); ++i, ++k) {
        if (k >= grid.visibleRows()) grid.scroll(0, grid.visibleRows()), k = 0;
        grid.setRow(int(k));
        for (int column = 0; column < grid.columnCount() - 1; ++column)
            characters += grid.columnText(column).size();
    }
    paint(form3);
    std::printf("%lld records: export walk reading every cell\t%.1f ms (%zu characters)\n",
                static_cast<long long>(records), since(start), characters);

    start = Clock::now();
    fake.inputBox.answers.push_back({true, QStringLiteral("extra")});
    form3.chkNewColumn_Click();
    paint(form3);
    std::printf("%lld records: one column added\t%.1f ms\n", static_cast<long long>(records), since(start));
    std::printf("%lld records: peak memory at the end\t%.1f MB\n", static_cast<long long>(records),
                peakMegabytes());
    if (!fake.messageBox.shown.empty())
        std::printf("unexpected box: %s\n", qPrintable(fake.messageBox.texts().join("|")));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "make") return make(argv[2], std::atol(argv[3]));
    if (argc != 4 || std::string(argv[1]) != "run") {
        std::fprintf(stderr, "usage: editor_bench make TABLE.dbf N | editor_bench run FOLDER TABLE\n");
        return 2;
    }
    QApplication application(argc, argv);
    return run(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
}
