// The grid writers over real tables: exact files, the row walk over many pages, failures, read-back.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>

#include "export/grid_writers.h"
#include "export_tables.h"
#include "paging_grid.h"
#include "platform/fake/fake_platform.h"

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

struct FileCase {
    const char* table;
    const char* csv;
    const char* txt;
    const char* xml;
};

}  // namespace

TEST(GridWriters, WriteTheFilesOfATableExactly) {
    const FileCase cases[] = {
        {"ex", "\"A\",\"B\"\r\n\"x\",\"1\"\r\n\"y\",\"\"\r\n", "A\tB\t\r\nx\t1\t\r\ny\t\t\r\n",
         "<xml>\r\n<row>\r\n<A>x</A>\r\n<B>1</B>\r\n</row>\r\n<row>\r\n<A>y</A>\r\n<B></B>\r\n</row>\r\n</"
         "xml>"},
        {"empty", "\"A\",\"B\"\r\n", "A\tB\t\r\n", "<xml>\r\n</xml>"},
        {"odd",
         "\"note\",\"n\",\"d\",\"l\"\r\n\"line one\r\ntwo, \"\"quoted\"\" & <tag> "
         "'it'\",\"3.5\",\"2024-01-31\",\"True\"\r\n"
         "\"\",\"\",\"\",\"False\"\r\n",
         "note\tn\td\tl\t\r\nline one\r\ntwo, \"quoted\" & <tag> "
         "'it'\t3.5\t2024-01-31\tTrue\t\r\n\t\t\tFalse\t\r\n",
         "<xml>\r\n<row>\r\n<note>line one\r\ntwo, \"quoted\" &amp; &lt;tag&gt; 'it'</note>\r\n<n>3.5</n>\r\n"
         "<d>2024-01-31</d>\r\n<l>True</l>\r\n</row>\r\n<row>\r\n<note></note>\r\n<n></n>\r\n<d></"
         "d>\r\n<l>False</l>\r\n"
         "</row>\r\n</xml>"},
    };
    ScratchTables tables;
    tables.example();
    tables.oddTexts();
    tables.run("CREATE TABLE empty (A C(5), B N(5) NULL)");
    for (const FileCase& c : cases) {
        const char* expected[] = {c.csv, c.txt, c.xml};
        for (int f = 0; f < 3; ++f) {
            PagingGrid grid(tables.connection().query(std::string("SELECT * FROM ") + c.table), 1);
            grid.captions = QString(c.table) == "odd" ? QStringList() : QStringList{"A", "B"};
            dorvane::platform::FakeMessageBox boxes;
            const QString path = tables.folder() + "/out." + kFormats[f].name;
            kFormats[f].writer(boxes, grid, path, nullptr);
            EXPECT_EQ(readAll(path).toStdString(), std::string(expected[f]))
                << c.table << " as " << kFormats[f].name;
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
    for (const auto& [caption, name] : cases) {
        EXPECT_EQ(DataGrid1::xmlElementName(QString::fromUtf8(caption)), QString::fromUtf8(name)) << caption;
    }
}

// 50,000 rows: every row once, in order, whatever the user had scrolled to; the grid ends on its last page.
TEST(GridWriters, WriteEveryRowOfAScrolledGrid) {
    ScratchTables tables;
    tables.numbered("big", 50000);
    for (const Format& format : kFormats) {
        PagingGrid grid(tables.connection().query("SELECT * FROM big"), 37);
        grid.scroll(0, 20000);
        grid.setRow(5);
        dorvane::platform::FakeMessageBox boxes;
        const QString path = tables.folder() + "/big." + format.name;
        format.writer(boxes, grid, path, nullptr);
        const QString text = QString::fromLatin1(readAll(path));
        int expect = 1;
        for (const auto& m : QRegularExpression("name(\\d+)").globalMatch(text)) {
            if (m.captured(1).toInt() != expect++) break;
        }
        EXPECT_EQ(expect, 50001) << format.name;  // every row, in order
        EXPECT_FALSE(text.contains("tempidxxx") || text.contains("1000001")) << format.name;
        EXPECT_EQ(grid.currentRow(), 49999) << format.name;
        EXPECT_EQ(grid.top(), 49999 - 49999 % 37) << format.name;
        EXPECT_TRUE(boxes.shown.empty()) << format.name;
    }
}

// A file that cannot be written completely (here: a file-size limit stands for a full disk) leaves the
// old file as it was and no temporary file beside it; the box names the writer and its writing line.
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
        PagingGrid grid(tables.connection().query("SELECT * FROM big"));
        dorvane::platform::FakeMessageBox boxes;
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit limit{16 * 1024, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        format.writer(boxes, grid, path, nullptr);
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(readAll(path), QByteArray("old content")) << format.name;
        EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList{"old"}) << format.name;
        EXPECT_EQ(boxes.texts().join('|').section("\r\n", 1, 1),
                  QStringLiteral(
                      "in DorvaneSuite2020/08/02.Datagrid1.%1 at line %2\r\rPlease email screenshot of this "
                      "message to support@kellmark.example")
                      .arg(format.procedure)
                      .arg(format.writeLine));
    }
}

TEST(GridWriters, ACellThatCannotBeReadIsReportedAndTheExportGoesOn) {
    ScratchTables tables;
    tables.numbered("small", 3);
    PagingGrid grid(tables.connection().query("SELECT * FROM small"), 2);
    grid.failRow = 1;
    grid.failColumn = 1;
    dorvane::platform::FakeMessageBox boxes;
    const QString path = tables.folder() + "/small.csv";
    DataGrid1::SaveDataGridToCSVFile(boxes, grid, path, nullptr);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text.section("\r\n", 1),
              QStringLiteral("in DorvaneSuite2020/08/02.Datagrid1.SaveDataGridToCSVFile at "
                             "line 118\r\rPlease email screenshot of this message to "
                             "support@kellmark.example"));
    EXPECT_EQ(readAll(path),
              QByteArray("\"name\",\"qty\",\"price\"\r\n\"name1\",\"1\",\"1.25\"\r\n\"name2\",\"2.25\"\r\n"
                         "\"name3\",\"3\",\"3.25\"\r\n"));
}

// Python's csv module and an XML parser read back the texts the grid shows.
TEST(GridWriters, IndependentReadersGetTheGridTextsBack) {
    ScratchTables tables;
    tables.oddTexts();
    PagingGrid grid(tables.connection().query("SELECT * FROM odd"));
    dorvane::platform::FakeMessageBox boxes;
    const QString csv = tables.folder() + "/odd.csv", xml = tables.folder() + "/odd.xml";
    DataGrid1::SaveDataGridToCSVFile(boxes, grid, csv, nullptr);
    DataGrid1::SaveDataGridToXMLFile(boxes, grid, xml, nullptr);
    const QJsonObject back =
        QJsonDocument::fromJson(pythonOutput({DORVANE_EXPORT_TESTS "/read_back.py", csv, xml})).object();
    const QJsonArray csvRows = back["csv"].toArray(), xmlRows = back["xml"].toArray();
    ASSERT_EQ(csvRows.size(), 3);
    ASSERT_EQ(xmlRows.size(), 2);
    DataGrid1::GridRowWalk(grid, [&] {
        const int r = int(grid.currentRow());
        for (int c = 0; c < grid.columnCount() - 1; ++c) {
            EXPECT_EQ(csvRows[0][c].toString(), grid.columnCaption(c));
            EXPECT_EQ(csvRows[r + 1][c].toString(), grid.columnText(c)) << r << "," << c;
            EXPECT_EQ(xmlRows[r][c][0].toString(), grid.columnCaption(c));
            // An XML parser reads a line end as LF.
            EXPECT_EQ(xmlRows[r][c][1].toString(), grid.columnText(c).replace("\r\n", "\n")) << r << "," << c;
        }
        return true;
    });
}
