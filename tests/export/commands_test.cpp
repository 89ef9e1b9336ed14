// The export commands through the scripted desktop: the menu, the Save dialog, the workbook calls, and
// printing through fake printers; then the Linux workbook, the CUPS default and, when set up, a real PDF.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "export/export_commands.h"
#include "export/pdf_printing.h"
#include "export_tables.h"
#include "paging_grid.h"
#include "platform/fake/fake_platform.h"
#include "platform/qt/qt_printing.h"
#include "platform/qt/xlsx_automation.h"

using namespace dorvane::exporting;
using namespace dorvane::exporting::testing;
using dorvane::platform::Pointer;

namespace {

// `p` with the given parts in place of its own.
dorvane::platform::Platform withParts(const dorvane::platform::Platform& p,
                                      dorvane::platform::Printers& printers,
                                      dorvane::platform::ConfigurationStore& store,
                                      dorvane::platform::ProgramLauncher& programs,
                                      dorvane::platform::SpreadsheetAutomation& sheet) {
    return {p.messageBox, p.inputBox, p.fileDialog, p.folderDialog, p.pointer, p.settings, p.environment,
            p.events,     p.windows,  p.popupMenu,  printers,       store,     programs,   sheet};
}

struct Desk {
    ScratchTables tables;
    dorvane::platform::FakePlatform fake;
    dorvane::platform::Platform platform = fake.platform();
    std::unique_ptr<PagingGrid> grid;
    std::unique_ptr<ExportCommands> commands;
    explicit Desk(const std::string& table = "five", int rows = 5) {
        tables.numbered(table, rows);
        grid = std::make_unique<PagingGrid>(tables.connection().query("SELECT * FROM " + table), 2);
        commands = std::make_unique<ExportCommands>(platform, nullptr, *grid);
    }
};

}  // namespace

// The menu's items in order; each file command asks in the one Save dialog, which keeps the last name.
TEST(ExportCommands, TheMenuRunsTheFileExportsThroughOneSaveDialog) {
    struct Case {
        const char* item;
        const char* filter;
        const char* file;
        const char* start;
    };
    const Case cases[] = {
        {"mnuCSV", "CSV Files (*.csv)|*.csv", "out.csv", "\"name\",\"qty\",\"price\"\r\n"},
        {"mnuTXT", "Text Files (*.txt)|*.txt", "plain", "name\tqty\tprice\t\r\n"},
        {"mnuXML", "XML Files (*.xml)|*.xml", "out.xml", "<xml>\r\n<row>\r\n<name>name1</name>"}};
    Desk desk;
    QString previous;
    for (const Case& c : cases) {
        const QString path = desk.tables.folder() + '/' + c.file;
        desk.fake.popupMenu.answers = {c.item};
        desk.fake.fileDialog.answers = {path};
        desk.fake.pointer.history.clear();
        desk.commands->PushButton6_Click();
        const auto& menu = desk.fake.popupMenu.shown.back();
        EXPECT_EQ(menu.name + '/' + menu.caption, "mnuSaveAs/Save As");
        QStringList items;
        for (const auto& item : menu.items) items << item.name + '=' + item.caption;
        EXPECT_EQ(items.join(' '), "mnuTXT=TXT mnuXLS=XLS mnuCSV=CSV mnuPDF=PDF mnuXML=XML");
        const auto& asked = desk.fake.fileDialog.opened.back();
        EXPECT_EQ(asked.title + '|' + asked.filter + '|' + asked.fileName,
                  "Save|" + QString(c.filter) + '|' + previous)
            << c.item;
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
    EXPECT_TRUE(desk.fake.pointer.history.empty());
    EXPECT_EQ(desk.fake.fileDialog.opened.size(), 4u);
}

TEST(ExportCommands, TheWorkbookGetsTheCallsInOrder) {
    Desk desk("five", 5);
    desk.commands->mnuXLS_Click();
    QStringList expected{"CreateObject Excel.Application", "Quit",
                         "CreateObject Excel.Application", "Workbooks.add",
                         "ActiveSheet.Cells(1, 1) = name", "ActiveSheet.Cells(1, 2) = qty",
                         "ActiveSheet.Cells(1, 3) = price"};
    for (int r = 1; r <= 5; ++r) {
        expected << QStringLiteral("ActiveSheet.Cells(%1, 1).Value = name%2").arg(r + 1).arg(r)
                 << QStringLiteral("ActiveSheet.Cells(%1, 2).Value = %2").arg(r + 1).arg(r)
                 << QStringLiteral("ActiveSheet.Cells(%1, 3).Value = %2.25").arg(r + 1).arg(r);
    }
    expected << "ActiveSheet.Columns.Autofit"
             << "Visible = True";
    EXPECT_EQ(desk.fake.spreadsheet.calls, expected);
    const auto keys = desk.fake.spreadsheet.cells.keys();
    EXPECT_EQ(qMakePair(keys.first(), keys.last()), qMakePair(qMakePair(1, 1), qMakePair(6, 3)));
    EXPECT_EQ(desk.fake.pointer.history, (std::vector<Pointer>{Pointer::Hourglass, Pointer::Default}));
}

TEST(ExportCommands, TheWorkbookExportStopsOrShortensWhereItMust) {
    struct Case {
        const char* name;
        int rows;
        bool installed;
        int sheetRows;
        int calls;
        const char* message;
    };
    const Case cases[] = {
        {"empty table", 0, true, 1048576, 0, ""},
        {"no spreadsheet program", 3, false, 1048576, 0,
         "Excel is not installed on this computer. You need to have it installed to use this feature."},
        {"sheet too short", 5, true, 4, 4 + 3 + 9 + 2,
         "A sheet holds 4 rows: the last 2 rows of the table were left out."},
    };
    for (const Case& c : cases) {
        Desk desk("t", c.rows);
        desk.fake.spreadsheet.installed = c.installed;
        desk.fake.spreadsheet.sheetRows = c.sheetRows;
        desk.commands->mnuXLS_Click();
        EXPECT_EQ(desk.fake.spreadsheet.calls.size(), c.calls) << c.name;
        EXPECT_EQ(desk.fake.messageBox.texts().join('\n'), c.message) << c.name;
        EXPECT_EQ(desk.fake.pointer.history.empty(), c.calls == 0) << c.name;
    }
}

// The Linux workbook: a real .xlsx that zipfile and openpyxl read, numbers as numbers, the rest as text.
TEST(ExportCommands, TheLinuxWorkbookHoldsTextsAndNumbers) {
    Desk desk("t", 2);
    desk.tables.oddTexts();
    PagingGrid odd(desk.tables.connection().query("SELECT * FROM odd"));
    QTemporaryDir out;
    QString shown;
    dorvane::platform::XlsxAutomation xlsx(
        out.path(), [] { return true; },
        [&](const QString& p) {
            shown = p;
            return true;
        });
    auto& p = desk.fake;
    auto withXlsx = withParts(desk.platform, p.printers, p.configurationStore, p.programs, xlsx);
    ExportCommands(withXlsx, nullptr, odd).mnuXLS_Click();
    ASSERT_FALSE(shown.isEmpty());
    const char* script = R"(
import json, re, sys, zipfile, openpyxl
assert zipfile.ZipFile(sys.argv[1]).testzip() is None
sheet = openpyxl.load_workbook(sys.argv[1]).active
# Control characters are stored as _xHHHH_, which spreadsheet programs show as the character.
unescape = lambda v: re.sub("_x([0-9A-F]{4})_", lambda m: chr(int(m[1], 16)), v) if isinstance(v, str) else v
print(json.dumps([[unescape(c.value) for c in row] for row in sheet.iter_rows()]))
)";
    const QJsonArray rows = QJsonDocument::fromJson(pythonOutput({"-c", script, shown})).array();
    EXPECT_EQ(QJsonDocument(rows).toJson(QJsonDocument::Compact).toStdString(),
              R"([["note","n","d","l"],["line one\r\ntwo, \"quoted\" & <tag> 'it'",3.5,"2024-01-31","True"],)"
              R"([null,null,null,"False"]])");
    EXPECT_TRUE(desk.fake.messageBox.shown.empty()) << desk.fake.messageBox.texts().join('\n').toStdString();
}

TEST(ExportCommands, WellFormedNumbersOnly) {
    for (const char* yes : {"0", "12", "-3.5", "0.25", "1e+20", "123456789012345"}) {
        EXPECT_TRUE(dorvane::platform::isWellFormedNumber(yes)) << yes;
    }
    for (const char* no :
         {"", "-", "007", "1.", ".5", "1,5", " 1", "12a", "1234567890123456", "True", "2024-01-31"}) {
        EXPECT_FALSE(dorvane::platform::isWellFormedNumber(no)) << no;
    }
}

// Printing through fake printers: the print file is made and removed, the PDF printer is the default only
// while the print program runs, and the previous default comes back in every case.
TEST(ExportCommands, ThePdfExportPrintsThroughThePdfPrinter) {
    struct Case {
        const char* name;
        QStringList printers;
        bool launchFails;
        int started;
        const char* box;  // start of the error box's second line, or ""
    };
    const Case cases[] = {
        {"no PDF printer", {"HP LaserJet", "kellmark pdf writer"}, false, 0, ""},
        {"PDF printer", {"HP LaserJet", "Kellmark PDF Writer"}, false, 1, ""},
        // clang-format off
        {"print program missing", {"HP LaserJet", "Kellmark PDF Writer"}, true, 0, "in DorvaneSuite2020/08/02.Form3.mnuPDF_Click at line 114"},
        // clang-format on
    };
    for (const Case& c : cases) {
        Desk desk;
        QTemporaryDir temp;
        auto& fake = desk.fake;
        fake.environment.variables["TEMP"] = temp.path();
        fake.printers.names = c.printers;
        fake.printers.defaultName = "HP LaserJet";
        fake.programs.fail = c.launchFails;
        fake.configurationStore.classesRoot[Wordpad1::kWordpadKey] = "/opt/dorvane/dorvane-wordpad";
        const QString printFile = temp.path() + "/tmp.txt";
        QString defaultWhilePrinting;
        QByteArray printed;
        fake.programs.onStart = [&](const QString&) {
            defaultWhilePrinting = fake.printers.defaultName;
            printed = readAll(printFile);
        };
        desk.commands->mnuPDF_Click();
        ASSERT_EQ(int(fake.programs.started.size()), c.started) << c.name;
        if (c.started) {
            EXPECT_EQ(fake.programs.started[0].commandLine,
                      "/opt/dorvane/dorvane-wordpad /p \"" + printFile + '"');
            EXPECT_EQ(fake.programs.started[0].style, dorvane::platform::WindowStyle::MinimizedFocus);
            EXPECT_EQ(defaultWhilePrinting, "Kellmark PDF Writer");
            EXPECT_TRUE(printed.startsWith("name\tqty\tprice\t\r\nname1\t1\t1.25\t\r\n"));
            EXPECT_EQ(fake.programs.waited.size(), 1u);
        }
        EXPECT_EQ(fake.printers.defaultName, "HP LaserJet") << c.name;
        EXPECT_EQ(fake.printers.setCalls.last(), "HP LaserJet") << c.name;
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
}

TEST(ExportCommands, TheCupsDefaultIsSetAsLpoptionsDoes) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "Default pdf\n"},
        {"Default hp sides=two-sided\nDest pdf media=A4\n",
         "Dest hp sides=two-sided\nDefault pdf media=A4\n"},
        {"Dest pdf/draft\nDest hp\n", "Dest pdf/draft\nDest hp\nDefault pdf\n"},
    };
    for (const auto& [before, after] : cases) {
        EXPECT_EQ(dorvane::platform::lpoptionsWithDefault(before, "pdf"), after) << before;
    }
    EXPECT_EQ(dorvane::platform::lpoptionsWithDefault("Default pdf\n", ""), "Dest pdf\n");
}

// End to end, when CUPS runs with a cups-pdf queue described "Kellmark PDF Writer": a PDF appears whose
// text holds the table's texts.
TEST(ExportCommands, APdfComesOutOfTheRealPrinter) {
    QProcess lpstat;
    lpstat.start("lpstat", {"-l", "-p"});
    if (!lpstat.waitForFinished(10000) || lpstat.exitCode() != 0 ||
        !lpstat.readAllStandardOutput().contains("Description: Kellmark PDF Writer")) {
        GTEST_SKIP()
            << "No CUPS queue described \"Kellmark PDF Writer\" is running (see the README to set one up).";
    }
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());  // the user's printer default goes there
    static int argc = 1;
    static char name[] = "export_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
    Desk desk;
    QTemporaryDir temp;
    desk.fake.environment.variables["TEMP"] = temp.path();
    dorvane::platform::CupsPrinters printers(home.path() + "/.cups/lpoptions");
    dorvane::platform::ProgramConfigurationStore store(DORVANE_BIN_DIR);
    dorvane::platform::ProcessLauncher programs;
    auto real = withParts(desk.platform, printers, store, programs, desk.fake.spreadsheet);
    // cups-pdf writes into the PDF folder of the submitting user's home.
    const QString outDir =
        qEnvironmentVariable("DORVANE_PDF_DIR", QString::fromLocal8Bit(getpwuid(getuid())->pw_dir) + "/PDF");
    const QStringList before = QDir(outDir).entryList({"*.pdf"});
    ExportCommands(real, nullptr, *desk.grid).mnuPDF_Click();
    EXPECT_TRUE(desk.fake.messageBox.shown.empty()) << desk.fake.messageBox.texts().join('\n').toStdString();
    // The print queue works apart, and cups-pdf writes the file as it goes: wait up to 30 s for a new PDF
    // that pdftotext reads whole.
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
    if (!QString::fromUtf8(out).contains(QRegularExpression("[a-z]"))) {
        // Without the pdftocairo renderer, the PostScript step drops the fonts' text mapping.
        GTEST_SKIP() << "A PDF appeared (" << pdf.toStdString()
                     << ") but its fonts carry no text to compare.";
    }
    for (const char* expected : {"name", "qty", "price", "name1", "name5", "5.25"})
        EXPECT_TRUE(out.contains(expected)) << expected;
}
