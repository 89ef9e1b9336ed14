// Export benchmark: the editor window on a table, as the list window's Next leaves it (exclusive
// connection, grid bound to the table with its row identifier), then one export command run through the
// "Export Table As.." menu over the window's own grid. Prints one line with the seconds the export took.
//   export_bench prepare FOLDER TABLE          gives the table its row identifier, as the editor does
//   export_bench csv|txt|xml FOLDER TABLE OUT  the file export
//   export_bench xlsx FOLDER TABLE OUT_FOLDER  the workbook export
#include <QApplication>
#include <QFileInfo>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "editor/data_grid.h"
#include "editor/editor_statements.h"
#include "editor/editor_window.h"
#include "platform/fake/fake_platform.h"
#include "platform/qt/xlsx_automation.h"
#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"

using namespace dorvane;

namespace {

std::string connectionString(const QString& folder) {
    return ("Provider=vfpoledb.1;Data Source=" + folder + ";Collating Sequence=general;mode=share exclusive;")
        .toStdString();
}

int prepare(const QString& folder, const QString& table) {
    provider::Connection connection;
    connection.Open(connectionString(folder));
    connection.Execute(editor::addIdentifier(table).toStdString());
    connection.Execute(editor::numberIdentifier(table).toStdString());
    connection.Close();
    return 0;
}

int run(const char* kind, const QString& folder, const QString& table, const QString& out) {
    platform::FakePlatform fake;
    QString workbookFile;
    platform::XlsxAutomation xlsx(
        out, [] { return true; },
        [&](const QString& file) {
            workbookFile = file;
            return true;
        });
    platform::Platform p = fake.platform();
    platform::Platform platform{p.messageBox, p.inputBox,  p.fileDialog,  p.folderDialog,
                                p.pointer,    p.settings,  p.environment, p.events,
                                p.windows,    p.popupMenu, p.printers,    p.configurationStore,
                                p.programs,   xlsx};
    app::EditingSession session;
    editor::Form3 form3(platform, session);
    session.SharedConnection = std::make_shared<provider::Connection>();
    session.SharedConnection->Open(connectionString(folder));
    session.CurrentTableName = table;
    form3.showEditor();
    provider::Recordset recordset;
    recordset.Open(editor::gridSelect(table).toStdString(), *session.SharedConnection, 2, 3);
    form3.setGridDataSource(recordset.DataSource());
    form3.setGridColumnWidth(form3.gridColumnCount() - 1, 0);
    form3.focusGrid();
    QApplication::processEvents();

    const bool workbook = std::strcmp(kind, "xlsx") == 0;
    fake.popupMenu.answers = {workbook ? QStringLiteral("mnuXLS")
                                       : "mnu" + QString::fromLatin1(kind).toUpper()};
    fake.fileDialog.answers = {out};
    const auto start = std::chrono::steady_clock::now();
    form3.PushButton6_Click();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const QString& text : fake.messageBox.texts()) std::fprintf(stderr, "%s\n", qPrintable(text));
    std::printf("%s export of %lld rows: %.3f s\n", kind, (long long)form3.grid()->approxCount(), seconds);
    const bool done = QFileInfo::exists(workbook ? workbookFile : out);
    return fake.messageBox.shown.empty() && done ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const auto arg = [&](int i) { return QString::fromLocal8Bit(argv[i]); };
    if (argc == 4 && std::strcmp(argv[1], "prepare") == 0) return prepare(arg(2), arg(3));
    for (const char* kind : {"csv", "txt", "xml", "xlsx"}) {
        if (argc == 5 && std::strcmp(argv[1], kind) == 0) return run(kind, arg(2), arg(3), arg(4));
    }
    std::fprintf(stderr, "usage: export_bench prepare FOLDER TABLE | csv|txt|xml|xlsx FOLDER TABLE OUT\n");
    return 2;
}
