// The grid writers over the editor's grid on real tables: exact files, every row of a scrolled grid,
// failures, and independent readers; and the grid's number texts.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScrollBar>
#include <cmath>
#include <csignal>
#include <random>

#include "editor/cell_text.h"
#include "export/grid_writers.h"
#include "export_tables.h"
#include "platform/fake/fake_platform.h"
#include "provider/sql/value_text.h"

using namespace dorvane::exporting;
using namespace dorvane::exporting::testing;

namespace {

using Writer = void (*)(dorvane::platform::MessageBox&, ExportGrid&, const QString&, QWidget*);
struct Format {
    const char* name;
    Writer writer;
    const char* procedure;
    int writeLine;  // the line that writes the file
};
const Format kFormats[] = {{"csv", DataGrid1::SaveDataGridToCSVFile, "SaveDataGridToCSVFile", 126},
                           {"txt", DataGrid1::SaveDataGridToFile, "SaveDataGridToFile", 122},
                           {"xml", DataGrid1::SaveDataGridToXMLFile, "SaveDataGridToXMLFile", 124}};

QString box(const char* procedure, int line) {
    return QStringLiteral(
               "in DorvaneSuite2020/08/02.Datagrid1.%1 at line %2\r\rPlease email screenshot of "
               "this message to support@kellmark.example")
        .arg(procedure)
        .arg(line);
}

}  // namespace

// The example of two columns and two rows, an empty table, NULLs, a memo with every character that
// needs quoting or escaping (doubled quotes in CSV, entities in XML), dates, datetimes and decimals.
TEST(GridWriters, WriteTheFilesOfATableExactly) {
    const struct {
        const char* table;
        const char* files[3];
    } cases[] = {
        {"ex",
         {"\"a\",\"b\"\r\n\"x\",\"1\"\r\n\"y\",\"\"\r\n", "a\tb\t\r\nx\t1\t\r\ny\t\t\r\n",
          "<xml>\r\n<row>\r\n<a>x</a>\r\n<b>1</b>\r\n</row>\r\n<row>\r\n<a>y</a>\r\n<b></b>\r\n</row>\r\n</"
          "xml>"}},
        {"empty", {"\"a\",\"b\"\r\n", "a\tb\t\r\n", "<xml>\r\n</xml>"}},
        {"odd",
         {"\"note\",\"n\",\"d\",\"t\",\"l\"\r\n\"line one\r\ntwo, \"\"quoted\"\" & <tag> 'it'\",\"3.50\","
          "\"2024-03-05\",\"2024-03-05 14:05:00\",\"True\"\r\n\"\",\"\",\"\",\"\",\"False\"\r\n",
          "note\tn\td\tt\tl\t\r\nline one\r\ntwo, \"quoted\" & <tag> 'it'\t3.50\t2024-03-05\t2024-03-05 "
          "14:05:00\tTrue\t\r\n\t\t\t\tFalse\t\r\n",
          "<xml>\r\n<row>\r\n<note>line one\r\ntwo, \"quoted\" &amp; &lt;tag&gt; "
          "'it'</note>\r\n<n>3.50</n>\r\n"
          "<d>2024-03-05</d>\r\n<t>2024-03-05 "
          "14:05:00</t>\r\n<l>True</l>\r\n</row>\r\n<row>\r\n<note></note>\r\n"
          "<n></n>\r\n<d></d>\r\n<t></t>\r\n<l>False</l>\r\n</row>\r\n</xml>"}},
    };
    ScratchTables tables;
    tables.examples();
    for (const auto& c : cases) {
        for (int f = 0; f < 3; ++f) {
            auto grid = tables.grid(c.table, 1);
            dorvane::platform::FakeMessageBox boxes;
            const QString path = tables.folder() + "/out." + kFormats[f].name;
            kFormats[f].writer(boxes, *grid, path, nullptr);
            EXPECT_EQ(readAll(path).toStdString(), c.files[f]) << c.table << " as " << kFormats[f].name;
            EXPECT_TRUE(boxes.shown.empty()) << c.table << " as " << kFormats[f].name;
        }
    }
}

TEST(GridWriters, XmlElementNamesLoseOnlyTheirInvalidCharacters) {
    const std::pair<const char*, const char*> cases[] = {{"NAME", "NAME"},
                                                         {"First Name", "First_Name"},
                                                         {"1st", "_st"},
                                                         {"a:b<c>", "a_b_c_"},
                                                         {"x-1.y", "x-1.y"},
                                                         {"", "_"},
                                                         {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"}};
    for (const auto& [caption, name] : cases)
        EXPECT_EQ(DataGrid1::xmlElementName(QString::fromUtf8(caption)), QString::fromUtf8(name)) << caption;
}

// 50,000 rows: every row once, in order, whatever the user had scrolled to, never the row identifier;
// the grid ends on its last page and row.
TEST(GridWriters, WriteEveryRowOfAScrolledGrid) {
    ScratchTables tables;
    tables.numbered("big", 50000);
    for (const Format& format : kFormats) {
        auto grid = tables.grid("big", 37);
        grid->scroll(0, 20000);
        grid->setCurrentCell(20005, 1);
        dorvane::platform::FakeMessageBox boxes;
        const QString path = tables.folder() + "/big." + format.name;
        format.writer(boxes, *grid, path, nullptr);
        const QString text = QString::fromLatin1(readAll(path));
        int expect = 1;
        for (const auto& m : QRegularExpression("name(\\d+)").globalMatch(text)) {
            if (m.captured(1).toInt() != expect++) break;
        }
        EXPECT_EQ(expect, 50001) << format.name;
        EXPECT_FALSE(text.contains("tempidxxx") || text.contains("1000001")) << format.name;
        EXPECT_EQ(grid->currentRow(), 49999) << format.name;
        EXPECT_TRUE(boxes.shown.empty()) << format.name;
        QApplication::processEvents();  // the view shows the last page and row
        const QScrollBar* bar = grid->view()->verticalScrollBar();
        EXPECT_EQ(bar->value(), bar->maximum()) << format.name;
        EXPECT_EQ(grid->view()->currentIndex().row(), 49999) << format.name;
    }
}

// A file that cannot be written completely (a file-size limit stands for a full disk) leaves the old
// file as it was and nothing beside it; the box names the writer and its writing line.
TEST(GridWriters, AFailedWriteLeavesTheOldFileWhole) {
    ScratchTables tables;
    tables.numbered("big", 3000);
    std::signal(SIGXFSZ, SIG_IGN);
    for (const Format& format : kFormats) {
        const QString dir = tables.folder() + "/out-" + format.name, path = dir + "/old";
        QDir().mkpath(dir);
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old content") > 0);
        old.close();
        auto grid = tables.grid("big");
        dorvane::platform::FakeMessageBox boxes;
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit limit{16 * 1024, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        format.writer(boxes, *grid, path, nullptr);
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(readAll(path), QByteArray("old content")) << format.name;
        EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList{"old"}) << format.name;
        EXPECT_EQ(boxes.texts().join('|').section("\r\n", 1, 1), box(format.procedure, format.writeLine));
    }
}

// Without its memo file, each memo cell is reported and the rest of the table is written.
TEST(GridWriters, ACellThatCannotBeReadIsReportedAndTheExportGoesOn) {
    ScratchTables tables;
    tables.examples();
    tables.connection().Close();
    ASSERT_TRUE(QFile::remove(tables.folder() + "/odd.fpt"));
    tables.connection().Open("Provider=vfpoledb.1;Data Source=" + tables.folder().toStdString());
    auto grid = tables.grid("odd");
    dorvane::platform::FakeMessageBox boxes;
    const QString path = tables.folder() + "/odd.csv";
    DataGrid1::SaveDataGridToCSVFile(boxes, *grid, path, nullptr);
    ASSERT_EQ(boxes.shown.size(), 1u);  // the NULL memo of the second row needs no memo file
    EXPECT_EQ(boxes.shown[0].text.section("\r\n", 1), box("SaveDataGridToCSVFile", 118));
    EXPECT_EQ(readAll(path),
              QByteArray("\"note\",\"n\",\"d\",\"t\",\"l\"\r\n,\"3.50\",\"2024-03-05\",\"2024-03-05 "
                         "14:05:00\",\"True\"\r\n\"\",\"\",\"\",\"\",\"False\"\r\n"));
}

// Python's csv module and an XML parser read back the texts the grid shows.
TEST(GridWriters, IndependentReadersGetTheGridTextsBack) {
    ScratchTables tables;
    tables.examples();
    auto grid = tables.grid("odd");
    dorvane::platform::FakeMessageBox boxes;
    const QString csv = tables.folder() + "/odd.csv", xml = tables.folder() + "/odd.xml";
    DataGrid1::SaveDataGridToCSVFile(boxes, *grid, csv, nullptr);
    DataGrid1::SaveDataGridToXMLFile(boxes, *grid, xml, nullptr);
    const QJsonObject back =
        QJsonDocument::fromJson(pythonOutput({DORVANE_EXPORT_TESTS "/read_back.py", csv, xml})).object();
    const QJsonArray csvRows = back["csv"].toArray(), xmlRows = back["xml"].toArray();
    ASSERT_EQ(csvRows.size(), 3);
    ASSERT_EQ(xmlRows.size(), 2);
    DataGrid1::GridRowWalk(*grid, [&] {
        const int r = int(grid->currentRow());
        for (int c = 0; c < grid->columnCount() - 1; ++c) {
            EXPECT_EQ(csvRows[0][c].toString(), grid->columnCaption(c));
            EXPECT_EQ(csvRows[r + 1][c].toString(), grid->columnText(c)) << r << "," << c;
            EXPECT_EQ(xmlRows[r][c][0].toString(), grid->columnCaption(c));
            // An XML parser reads a line end as LF.
            EXPECT_EQ(xmlRows[r][c][1].toString(), grid->columnText(c).replace("\r\n", "\n"))
                << r << "," << c;
        }
        return true;
    });
}

// A number of a field with decimals shows them all, rounded as FoxPro rounds, then as Qt prints them.
TEST(GridWriters, NumbersShowTheirFieldsDecimals) {
    std::mt19937_64 random(19);
    std::vector<std::pair<double, int>> cases = {{0.125, 2},    {2.675, 2},       {-0.001, 2},
                                                 {-0.0, 2},     {1e14 + 0.25, 1}, {-9.995, 2},
                                                 {99999.25, 2}, {0.5, 20},        {123456789.5, 4}};
    for (int i = 0; i < 20000; ++i) {
        const double magnitude = std::pow(10.0, int(random() % 27) - 12);
        cases.emplace_back((double(random() % 2000001) - 1000000.0) / 1000000.0 * magnitude,
                           1 + random() % 8);
    }
    for (const auto& [x, decimals] : cases) {
        const dorvane::provider::ColumnInfo column{"n", 'N', 20, decimals};
        const QString qt = QString::number(dorvane::provider::sql::roundDecimal(x, decimals), 'f', decimals);
        EXPECT_EQ(dorvane::editor::cellText(x, column), qt) << x << " with " << decimals;
    }
}
