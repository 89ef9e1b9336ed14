// The export commands over the editor's grid through the scripted desktop: the menu, the Save dialog,
// the workbook calls and printing through fake printers; then the Linux workbook, the CUPS default and,
// when set up, a real PDF.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include "export/export_commands.h"
#include "export/pdf_printing.h"
#include "export_tables.h"
#include "platform/fake/fake_platform.h"
#include "platform/qt/qt_printing.h"
#include "platform/qt/xlsx_automation.h"

using namespace dorvane::exporting;
using namespace dorvane::exporting::testing;
using dorvane::platform::Pointer;

namespace {

// The scripted desktop over a table of `rows` numbered rows, optionally with real parts in place of fakes.
struct Desk {
    ScratchTables tables;
    dorvane::platform::FakePlatform fake;
    dorvane::platform::Platform platform = fake.platform();
    std::unique_ptr<dorvane::editor::DataGrid1> grid;
    explicit Desk(int rows = 5) {
        tables.numbered("five", rows);
        grid = tables.grid("five", 2);
    }
    ExportCommands commands(dorvane::platform::Printers* printers = nullptr,
                            dorvane::platform::ConfigurationStore* store = nullptr,
                            dorvane::platform::ProgramLauncher* programs = nullptr,
                            dorvane::platform::SpreadsheetAutomation* sheet = nullptr) {
        const auto& p = platform;
        mixed = std::make_unique<dorvane::platform::Platform>(dorvane::platform::Platform{
            p.messageBox, p.inputBox, p.fileDialog, p.folderDialog, p.pointer, p.settings, p.environment,
            p.events, p.windows, p.popupMenu, printers ? *printers : p.printers,
            store ? *store : p.configurationStore, programs ? *programs : p.programs,
            sheet ? *sheet : p.spreadsheet});
        return ExportCommands(*mixed, nullptr, *grid);
    }
    std::unique_ptr<dorvane::platform::Platform> mixed;
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
    ExportCommands commands = desk.commands();
    QString previous;
    for (const auto& c : cases) {
        const QString path = desk.tables.folder() + '/' + c.file;
        desk.fake.popupMenu.answers = {c.item};
        desk.fake.fileDialog.answers = {path};
        desk.fake.pointer.history.clear();
        commands.PushButton6_Click();
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
    commands.mnuCSV_Click();
    commands.PushButton6_Click();
    EXPECT_TRUE(desk.fake.pointer.history.empty());
    EXPECT_EQ(desk.fake.fileDialog.opened.size(), 4u);
}

// Three columns and five rows fill rows 1 to 6 and columns 1 to 3, in the calls' order; an empty table,
// a missing spreadsheet program and a short sheet stop or shorten the export.
TEST(ExportCommands, TheWorkbookGetsTheCallsInOrder) {
    Desk desk(5);
    desk.commands().mnuXLS_Click();
    QStringList expected{"CreateObject Excel.Application", "Quit",
                         "CreateObject Excel.Application", "Workbooks.add",
                         "ActiveSheet.Cells(1, 1) = name", "ActiveSheet.Cells(1, 2) = qty",
                         "ActiveSheet.Cells(1, 3) = price"};
    for (int r = 1; r <= 5; ++r) {
        const QString texts[] = {QStringLiteral("name%1").arg(r), QString::number(r),
                                 QStringLiteral("%1.25").arg(r)};
        for (int c = 1; c <= 3; ++c)
            expected
                << QStringLiteral("ActiveSheet.Cells(%1, %2).Value = %3").arg(r + 1).arg(c).arg(texts[c - 1]);
    }
    expected << "ActiveSheet.Columns.Autofit"
             << "Visible = True";
    EXPECT_EQ(desk.fake.spreadsheet.calls, expected);
    EXPECT_EQ(desk.fake.pointer.history, (std::vector<Pointer>{Pointer::Hourglass, Pointer::Default}));

    const struct {
        const char* name;
        int rows;
        bool installed;
        int sheetRows, calls;
        const char* message;
    } cases[] = {
        {"empty table", 0, true, 1048576, 0, ""},
        {"no program", 3, false, 1048576, 0,
         "Excel is not installed on this computer. You need to have it installed to use this feature."},
        {"short sheet", 5, true, 4, 4 + 3 + 9 + 2,
         "A sheet holds 4 rows: the last 2 rows of the table were left out."},
    };
    for (const auto& c : cases) {
        Desk desk(c.rows);
        desk.fake.spreadsheet.installed = c.installed;
        desk.fake.spreadsheet.sheetRows = c.sheetRows;
        desk.commands().mnuXLS_Click();
        EXPECT_EQ(desk.fake.spreadsheet.calls.size(), c.calls) << c.name;
        EXPECT_EQ(desk.fake.messageBox.texts().join('\n'), c.message) << c.name;
        EXPECT_EQ(desk.fake.pointer.history.empty(), c.calls == 0) << c.name;
    }
}

// The Linux workbook: a real .xlsx that zipfile and openpyxl read, numbers as numbers, the rest as text.
TEST(ExportCommands, TheLinuxWorkbookHoldsTextsAndNumbers) {
    Desk desk;
    desk.tables.examples();
    desk.grid = desk.tables.grid("odd");
    QString shown;
    dorvane::platform::XlsxAutomation xlsx(
        desk.tables.folder(), [] { return true; }, [&](const QString& p) { return !(shown = p).isEmpty(); });
    desk.commands(nullptr, nullptr, nullptr, &xlsx).mnuXLS_Click();
    ASSERT_FALSE(shown.isEmpty());
    const char* script = R"(
import json, re, sys, zipfile, openpyxl
assert zipfile.ZipFile(sys.argv[1]).testzip() is None
unescape = lambda v: re.sub("_x([0-9A-F]{4})_", lambda m: chr(int(m[1], 16)), v) if isinstance(v, str) else v
print(json.dumps([[unescape(c.value) for c in row] for row in openpyxl.load_workbook(sys.argv[1]).active.iter_rows()]))
)";
    const QJsonArray rows = QJsonDocument::fromJson(pythonOutput({"-c", script, shown})).array();
    EXPECT_EQ(QJsonDocument(rows).toJson(QJsonDocument::Compact).toStdString(),
              R"([["note","n","d","t","l"],["line one\r\ntwo, \"quoted\" & <tag> 'it'",3.5,"2024-03-05",)"
              R"("2024-03-05 14:05:00","True"],[null,null,null,null,"False"]])");
    EXPECT_TRUE(desk.fake.messageBox.shown.empty()) << desk.fake.messageBox.texts().join('\n').toStdString();
    for (const char* yes : {"0", "12", "-3.5", "0.25", "1e+20", "123456789012345"})
        EXPECT_TRUE(dorvane::platform::isWellFormedNumber(yes)) << yes;
    for (const char* no :
         {"", "-", "007", "1.", ".5", "1,5", " 1", "12a", "1234567890123456", "True", "2024-01-31"})
        EXPECT_FALSE(dorvane::platform::isWellFormedNumber(no)) << no;
}

// Printing through fake printers: the print file is made and removed, the PDF printer is the default only
// while the print program runs, and the previous default comes back in every case.
TEST(ExportCommands, ThePdfExportPrintsThroughThePdfPrinter) {
    const struct {
        const char* name;
        QStringList printers;
        bool launchFails;
        int started;
        const char* box;  // start of the error box's second line, or ""
    } cases[] = {
        {"no PDF printer", {"HP LaserJet", "kellmark pdf writer"}, false, 0, ""},
        {"PDF printer", {"HP LaserJet", "Kellmark PDF Writer"}, false, 1, ""},
        {"print program missing",
         {"HP LaserJet", "Kellmark PDF Writer"},
         true,
         0,
         "in DorvaneSuite2020/08/02.Form3.mnuPDF_Click at line 114"},
    };
    for (const auto& c : cases) {
        Desk desk;
        auto& fake = desk.fake;
        fake.environment.variables["TEMP"] = desk.tables.folder();
        fake.printers.names = c.printers;
        fake.printers.defaultName = "HP LaserJet";
        fake.programs.fail = c.launchFails;
        fake.configurationStore.classesRoot[Wordpad1::kWordpadKey] = "/opt/dorvane/dorvane-wordpad";
        const QString printFile = desk.tables.folder() + "/tmp.txt";
        QString defaultWhilePrinting;
        QByteArray printed;
        fake.programs.onStart = [&](const QString&) {
            defaultWhilePrinting = fake.printers.defaultName;
            printed = readAll(printFile);
        };
        desk.commands().mnuPDF_Click();
        ASSERT_EQ(int(fake.programs.started.size()), c.started) << c.name;
        if (c.started) {
            EXPECT_EQ(fake.programs.started[0].commandLine,
                      "/opt/dorvane/dorvane-wordpad /p \"" + printFile + '"');
            EXPECT_EQ(fake.programs.started[0].style, dorvane::platform::WindowStyle::MinimizedFocus);
            EXPECT_EQ(defaultWhilePrinting, "Kellmark PDF Writer");
            EXPECT_TRUE(printed.startsWith("name\tqty\tprice\t\r\nname1\t1\t1.25\t\r\n"));
            EXPECT_EQ(fake.programs.waited.size(), 1u);
        }
        EXPECT_EQ(fake.printers.defaultName + '|' + fake.printers.setCalls.last(), "HP LaserJet|HP LaserJet")
            << c.name;
        EXPECT_FALSE(QFile::exists(printFile)) << c.name;
        EXPECT_EQ(fake.messageBox.texts().join('\n').section("\r\n", 1, 1).left(strlen(c.box)), c.box)
            << c.name;
        fake.messageBox.shown.clear();
        GetSetPrinter::CheckPdfPrinter(desk.platform);
        EXPECT_EQ(fake.messageBox.shown.size(), c.printers.contains(kPdfPrinterName) ? 0u : 1u) << c.name;
    }
}

TEST(ExportCommands, PrinterRoutinesTellWhatTheyFound) {
    Desk desk;
    auto& fake = desk.fake;
    fake.messageBox.setApplicationTitle("Dorvane Table");
    GetSetPrinter::CheckPdfPrinter(desk.platform);
    ASSERT_EQ(fake.messageBox.shown.size(), 1u);
    EXPECT_TRUE(fake.messageBox.shown[0].text.startsWith(
        "Kellmark PDF Writer is not installed. Please follow these instructions:\r\n\r\n1) "));
    EXPECT_TRUE(fake.messageBox.shown[0].text.contains("lpadmin -p Kellmark_PDF_Writer -E -v cups-pdf:/"));
    EXPECT_EQ(fake.messageBox.shown[0].title, "Dorvane Table");
    fake.printers.failDefault = true;
    EXPECT_EQ(GetSetPrinter::GetDefaultPrinter(desk.platform), "");
    EXPECT_EQ(fake.messageBox.shown[1].text,
              "Error No: 482\r\nThe default printer cannot be read.\r\nHas occured in "
              "modPrinters.GetDefaultPrinter\r\nPlease contact Technical Support");
    EXPECT_FALSE(GetSetPrinter::SetDefaultPrinter(fake.printers, ""));
    EXPECT_EQ(Wordpad1::GetWordpadPath(fake.configurationStore), "");
    EXPECT_EQ(fake.configurationStore.closed, 1);
    dorvane::platform::ProgramConfigurationStore store("/opt/my programs");
    EXPECT_EQ(Wordpad1::GetWordpadPath(store), "\"/opt/my programs/dorvane-wordpad\"");
    const std::pair<const char*, const char*> lpoptions[] = {
        {"", "Default pdf\n"},
        {"Default hp sides=two-sided\nDest pdf media=A4\n",
         "Dest hp sides=two-sided\nDefault pdf media=A4\n"},
        {"Dest pdf/draft\nDest hp\n", "Dest pdf/draft\nDest hp\nDefault pdf\n"},
    };
    for (const auto& [before, after] : lpoptions)
        EXPECT_EQ(dorvane::platform::lpoptionsWithDefault(before, "pdf"), after) << before;
    EXPECT_EQ(dorvane::platform::lpoptionsWithDefault("Default pdf\n", ""), "Dest pdf\n");
}

// End to end, when CUPS runs with a cups-pdf queue described "Kellmark PDF Writer": a PDF appears whose
// text holds the table's texts.
TEST(ExportCommands, APdfComesOutOfTheRealPrinter) {
    QProcess lpstat;
    lpstat.start("lpstat", {"-l", "-p"});
    if (!lpstat.waitForFinished(10000) || lpstat.exitCode() != 0 ||
        !lpstat.readAllStandardOutput().contains("Description: Kellmark PDF Writer"))
        GTEST_SKIP()
            << "No CUPS queue described \"Kellmark PDF Writer\" is running (see the README to set one up).";
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());  // the user's printer default goes there
    Desk desk;
    desk.fake.environment.variables["TEMP"] = desk.tables.folder();
    dorvane::platform::CupsPrinters printers(home.path() + "/.cups/lpoptions");
    dorvane::platform::ProgramConfigurationStore store(DORVANE_BIN_DIR);
    dorvane::platform::ProcessLauncher programs;
    // cups-pdf writes into the PDF folder of the submitting user's home.
    const QString outDir =
        qEnvironmentVariable("DORVANE_PDF_DIR", QString::fromLocal8Bit(getpwuid(getuid())->pw_dir) + "/PDF");
    const QStringList before = QDir(outDir).entryList({"*.pdf"});
    desk.commands(&printers, &store, &programs).mnuPDF_Click();
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
        EXPECT_TRUE(out.contains(expected)) << expected;
}
