// The export commands over the editor's grid through the scripted desktop: the menu, the Save dialog,
// the workbook calls and printing through fake printers; then the Linux workbook and, when set up, a
// real PDF.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QJsonDocument>
#include <QRegularExpression>

#include "export/export_commands.h"
#include "export/pdf_printing.h"
#include "export_tables.h"
#include "platform/qt/qt_printing.h"
#include "platform/qt/xlsx_automation.h"

using namespace dorvane::exporting;
using namespace dorvane::exporting::testing;
using dorvane::platform::Pointer;

namespace {

// The commands over a grid of `rows` numbered rows, with real desktop parts where given.
struct Desk : ScratchTables {
    std::unique_ptr<dorvane::editor::DataGrid1> grid;
    std::unique_ptr<dorvane::platform::Platform> platform;
    std::unique_ptr<ExportCommands> commands;
    explicit Desk(int rows = 5, dorvane::platform::Printers* printers = nullptr,
                  dorvane::platform::ProgramLauncher* programs = nullptr,
                  dorvane::platform::SpreadsheetAutomation* sheet = nullptr) {
        numbered("five", rows);
        grid = ScratchTables::grid("five", 2);
        auto p = fake.platform();
        static dorvane::platform::ProgramConfigurationStore store(DORVANE_BIN_DIR);
        platform.reset(new dorvane::platform::Platform{
            p.messageBox, p.inputBox, p.fileDialog, p.folderDialog, p.pointer, p.settings, p.environment,
            p.events, p.windows, p.popupMenu, printers ? *printers : p.printers,
            programs ? store : p.configurationStore, programs ? *programs : p.programs,
            sheet ? *sheet : p.spreadsheet});
        commands = std::make_unique<ExportCommands>(*platform, nullptr, *grid);
    }
};

}  // namespace

// The menu's items in order; each file command asks in the one Save dialog, which keeps the last name.
TEST(ExportCommands, TheMenuRunsTheFileExportsThroughOneSaveDialog) {
    const struct {
        const char *item, *filter, *file, *start;
    } cases[] = {{"mnuCSV", "CSV Files (*.csv)|*.csv", "out.csv", "\"name\",\"qty\",\"price\"\r\n"},
                 {"mnuTXT", "Text Files (*.txt)|*.txt", "plain", "name\tqty\tprice\t\r\n"},
                 {"mnuXML", "XML Files (*.xml)|*.xml", "out.xml", "<xml>\r\n<row>\r\n<name>name1</name>"}};
    Desk desk;
    QString previous;
    for (const auto& c : cases) {
        const QString path = desk.folder + '/' + c.file;
        desk.fake.popupMenu.answers = {c.item};
        desk.fake.fileDialog.answers = {path};
        desk.fake.pointer.history.clear();
        desk.commands->PushButton6_Click();
        const auto& menu = desk.fake.popupMenu.shown.back();
        QStringList items{menu.name + '/' + menu.caption};
        for (const auto& item : menu.items) items << item.name + '=' + item.caption;
        EXPECT_EQ(items.join(' '),
                  "mnuSaveAs/Save As mnuTXT=TXT mnuXLS=XLS mnuCSV=CSV mnuPDF=PDF mnuXML=XML");
        const auto& asked = desk.fake.fileDialog.opened.back();
        EXPECT_EQ(asked.title + '|' + asked.filter + '|' + asked.fileName,
                  "Save|" + QString(c.filter) + '|' + previous);
        EXPECT_TRUE(readAll(path).startsWith(c.start)) << c.item;
        EXPECT_EQ(desk.fake.pointer.history, (std::vector<Pointer>{Pointer::Hourglass, Pointer::Default}))
            << c.item;
        previous = path;
    }
    EXPECT_TRUE(desk.fake.messageBox.shown.empty() && !desk.fake.fileDialog.wasOpenDialog.back());
    // Cancel: nothing written, the pointer untouched; a dismissed menu runs nothing.
    desk.fake.pointer.history.clear();
    desk.commands->mnuCSV_Click();
    desk.commands->PushButton6_Click();
    EXPECT_EQ(desk.fake.pointer.history.size() * 10 + desk.fake.fileDialog.opened.size(), 4u);
}

// Three columns and five rows fill rows 1 to 6 and columns 1 to 3, in the calls' order; an empty table,
// a missing spreadsheet program and a short sheet stop or shorten the export.
TEST(ExportCommands, TheWorkbookGetsTheCallsInOrder) {
    const struct {
        int rows;
        bool installed;
        int sheetRows, calls;
        const char* message;
    } cases[] = {
        {5, true, 1048576, 4 + 3 + 15 + 2, ""},
        {0, true, 1048576, 0, ""},
        {3, false, 1048576, 0,
         "Excel is not installed on this computer. You need to have it installed to use this feature."},
        {5, true, 4, 4 + 3 + 9 + 2, "A sheet holds 4 rows: the last 2 rows of the table were left out."}};
    for (const auto& c : cases) {
        Desk desk(c.rows);
        desk.fake.spreadsheet.installed = c.installed;
        desk.fake.spreadsheet.sheetRows = c.sheetRows;
        desk.commands->mnuXLS_Click();
        const QStringList& calls = desk.fake.spreadsheet.calls;
        EXPECT_EQ(calls.size(), c.calls) << c.rows << c.message;
        EXPECT_EQ(desk.fake.messageBox.texts().join('\n'), c.message);
        EXPECT_EQ(desk.fake.pointer.history.empty(), c.calls == 0) << c.rows << c.message;
        if (c.calls != 24) continue;
        EXPECT_EQ(calls.mid(0, 5).join('|') + '|' + calls.mid(calls.size() - 5).join('|'),
                  "CreateObject Excel.Application|Quit|CreateObject Excel.Application|Workbooks.add|"
                  "ActiveSheet.Cells(1, 1) = name|ActiveSheet.Cells(6, 1).Value = name5|ActiveSheet.Cells(6, "
                  "2).Value = "
                  "5|ActiveSheet.Cells(6, 3).Value = 5.25|ActiveSheet.Columns.Autofit|Visible = True");
    }
}

// The Linux workbook: a real .xlsx that zipfile and openpyxl read, numbers as numbers, the rest as text.
TEST(ExportCommands, TheLinuxWorkbookHoldsTextsAndNumbers) {
    QString shown;
    dorvane::platform::XlsxAutomation xlsx(
        QDir::tempPath(), [] { return true; }, [&](const QString& p) { return !(shown = p).isEmpty(); });
    Desk desk(0, nullptr, nullptr, &xlsx);
    desk.examples();
    desk.grid = desk.ScratchTables::grid("odd");
    ExportCommands(*desk.platform, nullptr, *desk.grid).mnuXLS_Click();
    const char* script = R"(
import json, re, sys, zipfile, openpyxl
assert zipfile.ZipFile(sys.argv[1]).testzip() is None
unescape = lambda v: re.sub("_x([0-9A-F]{4})_", lambda m: chr(int(m[1], 16)), v) if isinstance(v, str) else v
print(json.dumps([[unescape(c.value) for c in row] for row in openpyxl.load_workbook(sys.argv[1]).active.iter_rows()]))
)";
    EXPECT_EQ(QJsonDocument::fromJson(pythonOutput({"-c", script, shown}))
                  .toJson(QJsonDocument::Compact)
                  .toStdString(),
              R"([["note","n","d","t","l"],["line one\r\ntwo, \"quoted\" & <tag> 'it'",3.5,"2024-03-05",)"
              R"("2024-03-05 14:05:00","True"],[null,null,null,null,"False"]])");
    EXPECT_TRUE(desk.fake.messageBox.shown.empty()) << desk.fake.messageBox.texts().join('\n').toStdString();
    QFile::remove(shown);
}

// Printing through fake printers: the print file is made and removed, the PDF printer is the default only
// while the print program runs, and the previous default comes back in every case.
TEST(ExportCommands, ThePdfExportPrintsThroughThePdfPrinter) {
    const struct {
        QStringList printers;
        bool launchFails;
        int started;
        const char* box;  // start of the error box's second line, or ""
    } cases[] = {{{"HP LaserJet", "kellmark pdf writer"}, false, 0, ""},
                 {{"HP LaserJet", "Kellmark PDF Writer"}, false, 1, ""},
                 {{"HP LaserJet", "Kellmark PDF Writer"},
                  true,
                  0,
                  "in DorvaneSuite2020/08/02.Form3.mnuPDF_Click at line 114"}};
    for (const auto& c : cases) {
        Desk desk;
        auto& fake = desk.fake;
        fake.environment.variables["TEMP"] = desk.folder;
        fake.printers.names = c.printers;
        fake.printers.defaultName = "HP LaserJet";
        fake.programs.fail = c.launchFails;
        fake.configurationStore.classesRoot[Wordpad1::kWordpadKey] = "/opt/dorvane/dorvane-wordpad";
        const QString printFile = desk.folder + "/tmp.txt";
        QString whilePrinting;
        fake.programs.onStart = [&](const QString& line) {
            whilePrinting = fake.printers.defaultName + '|' + line + '|' + readAll(printFile).left(32);
        };
        desk.commands->mnuPDF_Click();
        ASSERT_EQ(int(fake.programs.started.size() + fake.programs.waited.size()), 2 * c.started) << c.box;
        EXPECT_EQ(whilePrinting, c.started ? "Kellmark PDF Writer|/opt/dorvane/dorvane-wordpad /p \"" +
                                                 printFile + "\"|name\tqty\tprice\t\r\nname1\t1\t1.25\t\r\n"
                                           : "");
        EXPECT_EQ(fake.printers.defaultName + '|' + fake.printers.setCalls.last(), "HP LaserJet|HP LaserJet");
        EXPECT_FALSE(QFile::exists(printFile));
        EXPECT_EQ(fake.messageBox.texts().join('\n').section("\r\n", 1, 1).left(strlen(c.box)), c.box);
        fake.messageBox.shown.clear();
        fake.messageBox.setApplicationTitle("Dorvane Table");
        GetSetPrinter::CheckPdfPrinter(*desk.platform);
        EXPECT_EQ(fake.messageBox.texts().join('|').startsWith(
                      "Kellmark PDF Writer is not installed. Please follow these instructions:\r\n\r\n1) "),
                  !c.started && !c.launchFails);
    }
    Desk desk;
    desk.fake.printers.failDefault = true;
    EXPECT_EQ(GetSetPrinter::GetDefaultPrinter(*desk.platform), "");
    EXPECT_EQ(desk.fake.messageBox.texts().join('|'),
              "Error No: 482\r\nThe default printer cannot be read.\r\nHas occured in "
              "modPrinters.GetDefaultPrinter\r\nPlease contact Technical Support");
    EXPECT_EQ(Wordpad1::GetWordpadPath(desk.fake.configurationStore), "");
    dorvane::platform::ProgramConfigurationStore store("/opt/my programs");
    EXPECT_EQ(Wordpad1::GetWordpadPath(store), "\"/opt/my programs/dorvane-wordpad\"");
    EXPECT_EQ(
        dorvane::platform::lpoptionsWithDefault("Default hp sides=two-sided\nDest pdf media=A4\n", "pdf"),
        "Dest hp sides=two-sided\nDefault pdf media=A4\n");
}

// End to end, when CUPS runs with a cups-pdf queue described "Kellmark PDF Writer": a PDF appears whose
// text holds the table's texts.
TEST(ExportCommands, APdfComesOutOfTheRealPrinter) {
    QProcess lpstat;
    lpstat.start("lpstat", {"-l", "-p"});
    if (!lpstat.waitForFinished(10000) ||
        !lpstat.readAllStandardOutput().contains("Description: Kellmark PDF Writer"))
        GTEST_SKIP()
            << "No CUPS queue described \"Kellmark PDF Writer\" is running (see the README to set one up).";
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());  // the user's printer default goes there
    dorvane::platform::CupsPrinters printers(home.path() + "/.cups/lpoptions");
    dorvane::platform::ProcessLauncher programs;
    Desk desk(5, &printers, &programs);
    desk.fake.environment.variables["TEMP"] = desk.folder;
    // cups-pdf writes into the PDF folder of the submitting user's home.
    const QString outDir =
        qEnvironmentVariable("DORVANE_PDF_DIR", QString(getpwuid(getuid())->pw_dir) + "/PDF");
    const QStringList before = QDir(outDir).entryList({"*.pdf"});
    desk.commands->mnuPDF_Click();
    EXPECT_TRUE(desk.fake.messageBox.shown.empty()) << desk.fake.messageBox.texts().join('\n').toStdString();
    // The queue works apart and cups-pdf writes as it goes: wait up to 30 s for a new PDF read whole.
    QString pdf;
    QByteArray out;
    for (int i = 0; i < 300 && out.isEmpty(); ++i) {
        for (const QString& f : QDir(outDir).entryList({"*.pdf"}))
            pdf = before.contains(f) ? pdf : outDir + '/' + f;
        QProcess text;
        if (!pdf.isEmpty()) text.start("pdftotext", {pdf, "-"});
        if (!pdf.isEmpty() && text.waitForFinished(30000) && text.exitCode() == 0)
            out = text.readAllStandardOutput();
        if (out.isEmpty()) QProcess::execute("sleep", {"0.1"});
    }
    ASSERT_FALSE(pdf.isEmpty()) << "no PDF appeared in " << outDir.toStdString();
    if (!QString::fromUtf8(out).contains(QRegularExpression("[a-z]")))  // no text mapping without pdftocairo
        GTEST_SKIP() << "A PDF appeared (" << pdf.toStdString()
                     << ") but its fonts carry no text to compare.";
    for (const char* expected : {"name", "qty", "price", "name1", "name5", "5.25"})
        EXPECT_TRUE(out.contains(expected));
}
