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
#include "provider/sql/value_text.h"

using namespace dorvane::exporting;
using namespace dorvane::exporting::testing;

namespace {

using Writer = void (*)(dorvane::platform::MessageBox&, ExportGrid&, const QString&, QWidget*);
const struct Format {
    const char* name;
    Writer writer;
    const char* line;  // where the writer's boxes point when writing the file fails
} kFormats[] = {{"csv", DataGrid1::SaveDataGridToCSVFile, "SaveDataGridToCSVFile at line 126"},
                {"txt", DataGrid1::SaveDataGridToFile, "SaveDataGridToFile at line 122"},
                {"xml", DataGrid1::SaveDataGridToXMLFile, "SaveDataGridToXMLFile at line 124"}};

// Writes `table` from its grid as `format` into `path`; the location lines of the boxes shown.
QString write(ScratchTables& tables, const Format& format, ExportGrid& grid, const QString& path) {
    tables.fake.messageBox.shown.clear();
    format.writer(tables.fake.messageBox, grid, path, nullptr);
    return tables.fake.messageBox.texts()
        .join('|')
        .remove("in DorvaneSuite2020/08/02.Datagrid1.")
        .section("\r\n", 1, 1)
        .section('\r', 0, 0);
}

}  // namespace

// The two columns and two rows of the example, an empty table, NULLs, a memo with every character that
// needs quoting or escaping (doubled quotes in CSV, entities in XML), a date, a datetime and decimals.
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
         {"\"note\",\"n\",\"d\",\"t\",\"l\"\r\n\"line one\r\ntwo, \"\"quoted\"\" & <tag> "
          "'it'\",\"3.50\",\"2024-03-05\","
          "\"2024-03-05 14:05:00\",\"True\"\r\n\"\",\"\",\"\",\"\",\"False\"\r\n",
          "note\tn\td\tt\tl\t\r\nline one\r\ntwo, \"quoted\" & <tag> 'it'\t3.50\t2024-03-05\t2024-03-05 "
          "14:05:00\t"
          "True\t\r\n\t\t\t\tFalse\t\r\n",
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
            const QString path = tables.folder + "/out." + kFormats[f].name;
            EXPECT_EQ(write(tables, kFormats[f], *tables.grid(c.table, 1), path), "")
                << c.table << kFormats[f].name;
            EXPECT_EQ(readAll(path).toStdString(), c.files[f]) << c.table << " as " << kFormats[f].name;
        }
    }
    // Without its memo file, the memo cell is reported and the rest of the table is written.
    tables.connection.Close();
    ASSERT_TRUE(QFile::remove(tables.folder + "/odd.fpt"));
    tables.connection.Open("Provider=vfpoledb.1;Data Source=" + tables.folder.toStdString());
    EXPECT_EQ(write(tables, kFormats[0], *tables.grid("odd"), tables.folder + "/odd.csv"),
              "SaveDataGridToCSVFile at line 118");
    EXPECT_EQ(readAll(tables.folder + "/odd.csv"),
              "\"note\",\"n\",\"d\",\"t\",\"l\"\r\n,\"3.50\",\"2024-03-05\",\"2024-"
              "03-05 14:05:00\",\"True\"\r\n\"\",\"\",\"\",\"\",\"False\"\r\n");
    const std::pair<const char*, const char*> names[] = {{"NAME", "NAME"},
                                                         {"First Name", "First_Name"},
                                                         {"1st", "_st"},
                                                         {"a:b<c>", "a_b_c_"},
                                                         {"x-1.y", "x-1.y"},
                                                         {"", "_"},
                                                         {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"}};
    for (const auto& [caption, name] : names)
        EXPECT_EQ(DataGrid1::xmlElementName(QString::fromUtf8(caption)), QString::fromUtf8(name)) << caption;
}

// 50,000 rows: every row once, in order, whatever the user had scrolled to, never the row identifier;
// the grid ends on its last page and row. A file that cannot be written completely (a file-size limit
// stands for a full disk) leaves the old file as it was and nothing beside it.
TEST(GridWriters, WriteEveryRowOrLeaveTheOldFile) {
    ScratchTables tables;
    tables.numbered("big", 50000);
    std::signal(SIGXFSZ, SIG_IGN);
    for (const Format& format : kFormats) {
        auto grid = tables.grid("big", 37);
        grid->scroll(0, 20000);
        grid->setCurrentCell(20005, 1);
        const QString path = tables.folder + "/big." + format.name;
        EXPECT_EQ(write(tables, format, *grid, path), "") << format.name;
        const QString text = QString::fromLatin1(readAll(path));
        int expect = 1;
        for (const auto& m : QRegularExpression("name(\\d+)").globalMatch(text))
            if (m.captured(1).toInt() != expect++) break;
        EXPECT_EQ(expect, 50001) << format.name;
        EXPECT_FALSE(text.contains("tempidxxx") || text.contains("1000001")) << format.name;
        QApplication::processEvents();  // the view shows the last page and row
        EXPECT_EQ(grid->view()->verticalScrollBar()->value(), grid->view()->verticalScrollBar()->maximum());
        EXPECT_EQ(grid->currentRow() + grid->view()->currentIndex().row(), 2 * 49999) << format.name;

        const QString dir = tables.folder + "/out-" + format.name, old = dir + "/old";
        QDir().mkpath(dir);
        QFile(path).copy(old);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit limit{16 * 1024, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        EXPECT_EQ(write(tables, format, *grid, old), format.line);
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(readAll(old), readAll(path)) << format.name;
        EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList{"old"}) << format.name;
    }
}

// Python's csv module and an XML parser read back the texts the grid shows.
TEST(GridWriters, IndependentReadersGetTheGridTextsBack) {
    ScratchTables tables;
    tables.examples();
    auto grid = tables.grid("odd");
    const QString csv = tables.folder + "/odd.csv", xml = tables.folder + "/odd.xml";
    write(tables, kFormats[0], *grid, csv);
    write(tables, kFormats[2], *grid, xml);
    const QJsonObject back =
        QJsonDocument::fromJson(pythonOutput({DORVANE_EXPORT_TESTS "/read_back.py", csv, xml})).object();
    ASSERT_EQ(back["csv"].toArray().size() * 10 + back["xml"].toArray().size(), 32);
    DataGrid1::GridRowWalk(*grid, [&] {
        const int r = int(grid->currentRow());
        for (int c = 0; c < grid->columnCount() - 1; ++c) {
            EXPECT_EQ(back["csv"][0][c].toString() + back["xml"][r][c][0].toString(),
                      grid->columnCaption(c).repeated(2));
            EXPECT_EQ(back["csv"][r + 1][c].toString(), grid->columnText(c)) << r << "," << c;
            // An XML parser reads a line end as LF.
            EXPECT_EQ(back["xml"][r][c][1].toString(), grid->columnText(c).replace("\r\n", "\n"))
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
    for (int i = 0; i < 20000; ++i)
        cases.emplace_back((double(random() % 2000001) - 1e6) * std::pow(10.0, int(random() % 27) - 18),
                           1 + random() % 8);
    for (const auto& [x, decimals] : cases) {
        const QString qt = QString::number(dorvane::provider::sql::roundDecimal(x, decimals), 'f', decimals);
        EXPECT_EQ(dorvane::editor::cellText(x, {"n", 'N', 20, decimals}), qt) << x << " with " << decimals;
    }
}
