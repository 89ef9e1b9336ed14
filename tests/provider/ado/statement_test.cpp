// The statements the windows send, run through Connection::Execute and Recordset::Open on real tables,
// with the files checked afterwards by an independent reader (dbfread).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/cdx_check.h"
#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/ado/table_rows.h"
#include "provider/error.h"
#include "provider/sql/value_text.h"
#include "tests/provider/format/table_test_support.h"

using namespace dorvane::provider;
using dorvane::provider::test::TempDir;
namespace fs = std::filesystem;

namespace {

std::string folderString(const TempDir& dir, bool exclusive) {
    return "Provider=vfpoledb.1;Data Source=" + dir.path().string() +
           (exclusive ? ";Collating Sequence=general;mode=share exclusive;" : ";Collating Sequence=general;");
}

// Rows of a SELECT in the grid's text form, one string per row, cells joined by "|".
std::vector<std::string> rows(Connection& connection, const std::string& select) {
    Recordset rs;
    rs.CursorLocation = 3;
    rs.Open(select, connection, 2, 3);
    const auto source = rs.DataSource();
    std::vector<std::string> out;
    for (std::int64_t r = 0; r < source->rowCount(); ++r) {
        std::string line;
        for (int c = 0; c < source->columnCount(); ++c) {
            if (c) line += '|';
            line += sql::formatForGrid(source->value(r, c), source->column(c).type, source->column(c).decimals);
        }
        out.push_back(line);
    }
    return out;
}

int errorNumber(Connection& connection, const std::string& statement, std::string* message = nullptr) {
    try {
        connection.Execute(statement);
    } catch (const ProviderError& e) {
        EXPECT_EQ(e.hresult(), 0x80004005u);
        if (message) *message = e.message();
        return e.number();
    }
    return 0;
}

// A table the way a user brings one: written by python3-dbf, not by us.
void writeWithPythonDbf(const fs::path& file) {
    const std::string script =
        "import dbf, datetime\n"
        "t = dbf.Table(r'" + file.string() + "', 'name C(20); qty N(8,2); born D; note M', dbf_type='vfp', codepage='cp1252')\n"
        "t.open(dbf.READ_WRITE)\n"
        "t.append(('Ann', 1.5, datetime.date(2020, 5, 17), 'first'))\n"
        "t.append(('Bob', 2, None, 'second'))\n"
        "t.append(('Bob', 2, None, 'second'))\n"
        "t.close()\n";
    const fs::path scriptFile = file.parent_path() / "make.py";
    test::writeBytes(scriptFile, script);
    ASSERT_EQ(std::system(("/usr/bin/python3 '" + scriptFile.string() + "'").c_str()), 0);
}

std::vector<std::string> independentRead(const fs::path& file) {
    const std::string output = test::runCommand("/usr/bin/python3 '" DORVANE_SOURCE_DIR "/tests/provider/ado/read_back.py' '" +
                                                file.string() + "' 2>&1");
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

TEST(EditorStatements, ARowIdentifierColumnAndEveryEditReachTheFile) {
    TempDir dir;
    writeWithPythonDbf(dir / "people.dbf");
    Connection shared;
    shared.CursorLocation = 3;
    shared.Open(folderString(dir, true));

    // The table list opens the table for editing: the row-identifier column, numbered by recno().
    shared.Execute("ALTER TABLE people ADD COLUMN tempidxxx i NULL");
    EXPECT_EQ(shared.Execute("UPDATE people SET tempidxxx = recno()"), 3);
    EXPECT_EQ(rows(shared, "SELECT * FROM \"people\""),
              (std::vector<std::string>{"Ann|1.5|2020-05-17|first|1", "Bob|2||second|2", "Bob|2||second|3"}));

    // A cell edit, a text with a quote, a number typed as text, a date typed as text.
    shared.Execute("update people set name='O''Brien' where tempidxxx=1");
    shared.Execute("update people set qty='12.25' where tempidxxx=2");
    shared.Execute("update people set born='01/31/2024' where tempidxxx=2");
    // One of two identical rows goes; the other stays.
    EXPECT_EQ(shared.Execute("DELETE FROM people WHERE tempidxxx=3"), 1);
    // A new row as the editor sends it: every value as quoted text.
    shared.Execute("INSERT INTO [people] (name,qty,born,note) VALUES ('Cy','7','2024-02-29','')");
    // A memo column goes in before the row identifier, which is rebuilt last.
    shared.Execute("ALTER TABLE people DROP COLUMN tempidxxx");
    shared.Execute("ALTER TABLE people ADD COLUMN remarks M");
    shared.Execute("ALTER TABLE [people] RENAME COLUMN qty TO amount");
    shared.Execute("ALTER TABLE people ADD COLUMN tempidxxx i NULL");
    shared.Execute("UPDATE people SET tempidxxx = recno()");
    EXPECT_EQ(rows(shared, "select name, amount, tempidxxx from people"),
              (std::vector<std::string>{"O'Brien|1.5|1", "Bob|12.25|2", "Cy|7|4"}));
    shared.Close();

    // Leaving the editor drops the identifier again over a plain connection.
    Connection plain;
    plain.Open(folderString(dir, false));
    plain.Execute("ALTER TABLE people DROP COLUMN tempidxxx");
    plain.Close();

    const auto lines = independentRead(dir / "people.dbf");
    ASSERT_EQ(lines.size(), 5u) << (lines.empty() ? "" : lines[0]);
    EXPECT_EQ(lines[0], "fields\x1fNAME\x1f" "AMOUNT\x1f" "BORN\x1fNOTE\x1fREMARKS");
    // An empty memo has no block; dbfread reads it as None.
    EXPECT_EQ(lines[1], " \x1fO'Brien\x1f" "1.5000\x1f" "2020-05-17\x1f" "first\x1fNULL");
    EXPECT_EQ(lines[2], " \x1f" "Bob\x1f" "12.2500\x1f" "2024-01-31\x1fsecond\x1fNULL");
    EXPECT_EQ(lines[3], "*\x1f" "Bob\x1f" "2.0000\x1fNULL\x1fsecond\x1fNULL");
    EXPECT_EQ(lines[4], " \x1f" "Cy\x1f" "7.0000\x1f" "2024-02-29\x1fNULL\x1fNULL");
}

TEST(EditorStatements, RefusedValuesChangeNothingAndSayWhy) {
    TempDir dir;
    writeWithPythonDbf(dir / "people.dbf");
    Connection c;
    c.Open(folderString(dir, true));
    c.Execute("ALTER TABLE people ADD COLUMN tempidxxx i NULL");
    c.Execute("UPDATE people SET tempidxxx = recno()");
    const std::string before = test::readBytes(dir / "people.dbf");

    std::string message;
    EXPECT_EQ(errorNumber(c, "update people set qty='abc' where tempidxxx=1", &message), 9);
    EXPECT_EQ(message, "Data type mismatch.");
    EXPECT_EQ(errorNumber(c, "update people set name='a text far longer than twenty' where tempidxxx=1", &message), 1903);
    EXPECT_EQ(message, "String is too long to fit.");
    EXPECT_EQ(errorNumber(c, "update people set qty=123456789 where tempidxxx=1"), 39);
    // The second record's value would not fit: the first must not have been written either.
    EXPECT_EQ(errorNumber(c, "update people set qty = tempidxxx * 5000000"), 39);
    EXPECT_EQ(errorNumber(c, "INSERT INTO people (name, qty) VALUES ('x', 'twelve')"), 9);
    EXPECT_EQ(errorNumber(c, "update people set nosuch=1"), 12);
    EXPECT_EQ(errorNumber(c, "frobnicate people"), 36);
    EXPECT_EQ(errorNumber(c, "select * from nosuch"), 1);
    EXPECT_EQ(test::readBytes(dir / "people.dbf"), before);

    // The retry the editor makes after a mismatch: the same value as a number.
    EXPECT_EQ(c.Execute("update people set qty=12 where tempidxxx=1"), 1);
    EXPECT_EQ(rows(c, "select qty from people where tempidxxx = 1"), std::vector<std::string>{"12"});
}

TEST(EditorStatements, LookupsByRowIdentifierFollowEveryWrite) {
    TempDir dir;
    writeWithPythonDbf(dir / "people.dbf");
    Connection c;
    c.Open(folderString(dir, true));
    c.Execute("ALTER TABLE people ADD COLUMN tempidxxx i NULL");
    c.Execute("UPDATE people SET tempidxxx = recno()");
    EXPECT_EQ(c.Execute("update people set note='a' where tempidxxx=2"), 1);  // builds the map
    c.Execute("update people set tempidxxx=20 where tempidxxx=2");
    EXPECT_EQ(c.Execute("update people set note='b' where tempidxxx=2"), 0);
    EXPECT_EQ(c.Execute("update people set note='b' where tempidxxx=20"), 1);
    c.Execute("INSERT INTO people (name, tempidxxx) VALUES ('New', 2)");
    EXPECT_EQ(rows(c, "select name, note from people where tempidxxx=2"), std::vector<std::string>{"New|"});
    c.Execute("DELETE FROM people WHERE tempidxxx=20");
    EXPECT_EQ(c.Execute("update people set note='c' where tempidxxx=20"), 0);
    EXPECT_EQ(c.Execute("update people set note='c' where tempidxxx=2.5"), 0);
    EXPECT_EQ(rows(c, "select name, tempidxxx from people"),
              (std::vector<std::string>{"Ann|1", "Bob|3", "New|2"}));
}

TEST(TableDefinitions, CreateListAndDropTables) {
    TempDir dir;
    Connection c;
    c.Open(folderString(dir, false));
    c.Execute("CREATE TABLE '" + (dir / "Zeta").string() + "'(a M,b M)");
    c.Execute("CREATE TABLE alpha (id I, name C(10) NULL)");
    EXPECT_EQ(errorNumber(c, "CREATE TABLE alpha (id I)"), 7);
    EXPECT_EQ(errorNumber(c, "CREATE TABLE beta (id I, ID C(2))"), 1712);
    EXPECT_FALSE(fs::exists(dir / "beta.dbf"));

    auto schema = c.OpenSchema(kSchemaTables);
    std::vector<std::string> names;
    for (; !schema->Eof(); schema->MoveNext()) {
        names.push_back(std::get<std::string>(schema->Fields()["TABLE_NAME"].Value()) + ":" +
                        std::get<std::string>(schema->Fields()["TABLE_TYPE"].Value()));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"alpha:TABLE", "Zeta:TABLE"}));
    const auto created = independentRead(dir / "Zeta.dbf");
    ASSERT_FALSE(created.empty());
    EXPECT_EQ(created[0], "fields\x1f" "A\x1f" "B");

    c.Execute("DROP TABLE `Zeta`");
    EXPECT_FALSE(fs::exists(dir / "Zeta.dbf"));
    EXPECT_FALSE(fs::exists(dir / "Zeta.fpt"));
    EXPECT_EQ(errorNumber(c, "DROP TABLE `Zeta`"), 1);
}

TEST(ExclusiveUse, ASecondProcessIsToldTheFileIsInUse) {
    TempDir dir;
    writeWithPythonDbf(dir / "people.dbf");
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    const pid_t child = fork();
    if (child == 0) {
        Connection holder;
        holder.Open(folderString(dir, true));
        holder.Execute("ALTER TABLE people ADD COLUMN tempidxxx i NULL");
        char byte = 1;
        (void)!write(ready[1], &byte, 1);
        (void)!read(done[0], &byte, 1);
        _exit(0);
    }
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    Connection second;
    second.Open(folderString(dir, true));
    std::string message;
    EXPECT_EQ(errorNumber(second, "UPDATE people SET tempidxxx = recno()", &message), 108);
    EXPECT_EQ(message, "File is in use by another user.");
    Connection plain;
    plain.Open(folderString(dir, false));
    EXPECT_EQ(errorNumber(plain, "update people set name='x'"), 108);
    (void)!write(done[1], &byte, 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(plain.Execute("update people set name='x' where recno()=1"), 1);
}

TEST(RecordMap, LiveRowsSkipDeletedRecords) {
    struct Case {
        std::uint32_t count;
        std::vector<std::uint32_t> deleted;
        std::vector<std::uint32_t> expected;
    } cases[] = {
        {5, {}, {1, 2, 3, 4, 5}},
        {5, {1}, {2, 3, 4, 5}},
        {5, {1, 2, 5}, {3, 4}},
        {6, {2, 4, 6}, {1, 3, 5}},
        {3, {1, 2, 3}, {}},
    };
    for (const auto& c : cases) {
        const RecordMap map = RecordMap::allBut(c.count, c.deleted);
        std::vector<std::uint32_t> seen;
        for (std::int64_t row = 0; row < map.size(); ++row) seen.push_back(map.recnoAt(row));
        EXPECT_EQ(seen, c.expected);
        EXPECT_THROW(map.recnoAt(map.size()), ProviderError);
    }
}

TEST(ContainerStatements, MembersEditedAndTheContainerAndIndexesKeptTrue) {
    DORVANE_NEEDS_CDX_CHECK();
    TempDir dir;
    for (const char* name : {"FOXPRO-DB-TEST.DBC", "FOXPRO-DB-TEST.DCT", "FOXPRO-DB-TEST.DCX", "contacts.dbf",
                             "contacts.FPT", "contacts.CDX"}) {
        dir.copyFixture({std::string("foxprodb/") + name});
    }
    const std::string dbc = (dir / "FOXPRO-DB-TEST.DBC").string();
    auto consistent = [](const fs::path& file) {
        return ::dorvane::test::runCdxCheck(file).exitCode == 0;
    };
    Connection c;
    c.Open("Provider=vfpoledb.1;Data Source=" + dbc + ";Collating Sequence=machine;mode=share exclusive");
    EXPECT_EQ(rows(c, "select contact_id, first_name, last_name from contacts where contact_id = 1"),
              std::vector<std::string>{"1|Nancy|Davolio"});
    EXPECT_EQ(rows(c, "select first_name from contacts where upper(last_name) = 'LEVERLING'"),
              std::vector<std::string>{"Janet"});

    // The editor's session on an indexed member table.
    c.Execute("ALTER TABLE [contacts] ADD COLUMN tempidxxx i NULL");
    c.Execute("update [contacts] set tempidxxx = recno()");
    c.Execute("update contacts set contact_id=77 where tempidxxx=1");
    c.Execute("delete from contacts where tempidxxx=2");
    std::string message;
    EXPECT_EQ(errorNumber(c, "ALTER TABLE [contacts] DROP COLUMN [contact_id]", &message), 12) << message;
    // A candidate key clash anywhere in a many-record update is refused before any record is written,
    // also when the clash is only with a record the statement changes later (a swap).
    const std::string dbfBefore = test::readBytes(dir / "contacts.dbf");
    const std::string cdxBefore = test::readBytes(dir / "contacts.CDX");
    EXPECT_EQ(errorNumber(c, "update contacts set contact_id = 5", &message), 1884) << message;
    EXPECT_EQ(errorNumber(c, "update contacts set contact_id = 6 - contact_id", &message), 1884) << message;
    EXPECT_EQ(test::readBytes(dir / "contacts.dbf"), dbfBefore);
    EXPECT_EQ(test::readBytes(dir / "contacts.CDX"), cdxBefore);
    EXPECT_GE(c.Execute("update contacts set contact_id = contact_id + 100 where contact_id <> 77"), 2);
    c.Execute("ALTER TABLE [contacts] RENAME COLUMN [spouse_name] TO [partner_name]");
    c.Execute("ALTER TABLE [contacts] DROP COLUMN tempidxxx");
    EXPECT_TRUE(consistent(dir / "contacts.dbf"));
    // A new table joins the container, and leaves it again.
    c.Execute("CREATE TABLE 'notes'(a M,b M)");
    auto listed = [&] {
        std::vector<std::string> names;
        for (auto schema = c.OpenSchema(kSchemaTables); !schema->Eof(); schema->MoveNext()) {
            names.push_back(std::get<std::string>(schema->Fields()["TABLE_NAME"].Value()));
        }
        return names;
    };
    EXPECT_EQ(listed(), (std::vector<std::string>{"types", "setup", "contacts", "calls", "notes"}));
    EXPECT_TRUE(consistent(dir / "FOXPRO-DB-TEST.DBC"));
    c.Execute("DROP TABLE `notes`");
    EXPECT_FALSE(fs::exists(dir / "notes.dbf"));
    EXPECT_EQ(listed(), (std::vector<std::string>{"types", "setup", "contacts", "calls"}));
    EXPECT_TRUE(consistent(dir / "FOXPRO-DB-TEST.DBC"));
    c.Close();
    // A shared connection's change too; afterwards nothing of ours is left in the user's folder.
    Connection shared;
    shared.Open("Provider=vfpoledb.1;Data Source=" + dbc + ";Collating Sequence=machine;");
    EXPECT_EQ(shared.Execute("update contacts set first_name='Nancy' where contact_id=77"), 1);
    shared.Close();
    EXPECT_TRUE(consistent(dir / "contacts.dbf"));
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    }

    // Read back by an independent reader: the long names live in the container, the values in the table.
    const auto lines = independentRead(dir / "contacts.dbf");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1].substr(0, 6), " \x1f" "77.0");
    EXPECT_EQ(lines[2][0], '*');
}

TEST(EditorStatements, TheWindowsStatementTextsAsTheyAreBuilt) {
    TempDir dir;
    Connection plain;
    plain.Open(folderString(dir, false));
    // The new-table designer names the table by its file's full path.
    plain.Execute("CREATE TABLE '" + (dir / "orders.DBF").string() + "'(id M,note M)");
    plain.Close();

    Connection shared;
    shared.CursorLocation = 3;
    shared.Open(folderString(dir, true));
    const std::string statements[] = {
        "select * from [orders]",
        "ALTER TABLE [orders] DROP COLUMN tempidxxx",  // fails when there is none: the editor ignores that
        "ALTER TABLE [orders] ADD COLUMN tempidxxx i NULL",
        "update [orders] set tempidxxx = recno()",
        "insert into [orders] (tempidxxx,[id],[note]) values (1,'A-1','first note')",
        "insert into [orders] (tempidxxx,[id],[note]) values (2,'A-2','')",
        "insert into [orders] (tempidxxx,[id],[note]) values (3,'A-2','')",
        "update orders set note='it''s changed' where tempidxxx=1",
        "delete from orders where tempidxxx=3",
        "ALTER TABLE [orders] ADD COLUMN [remarks] M NULL",
        "ALTER TABLE [orders] RENAME COLUMN [remarks] TO [comments]",
        "update orders set comments='kept' where tempidxxx=2",
    };
    for (const auto& statement : statements) {
        if (statement.find("DROP COLUMN tempidxxx") != std::string::npos) {
            EXPECT_EQ(errorNumber(shared, statement), 12) << statement;
            continue;
        }
        if (statement.rfind("select", 0) == 0) {
            EXPECT_TRUE(rows(shared, statement).empty());
            continue;
        }
        EXPECT_NO_THROW(shared.Execute(statement)) << statement;
    }
    EXPECT_EQ(rows(shared, "SELECT * FROM \"orders\""),
              (std::vector<std::string>{"A-1|it's changed|1|", "A-2||2|kept"}));
    shared.Execute("ALTER TABLE [orders] DROP COLUMN [comments]");
    shared.Execute("ALTER TABLE [orders] DROP COLUMN tempidxxx");
    shared.Close();

    const auto lines = independentRead(dir / "orders.DBF");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "fields\x1fID\x1fNOTE");
    EXPECT_EQ(lines[1], " \x1f" "A-1\x1fit's changed");
    EXPECT_EQ(lines[3], "*\x1f" "A-2\x1fNULL");

    Connection dropper;
    dropper.Open(folderString(dir, true));
    dropper.Execute("DROP TABLE `orders`");
    EXPECT_FALSE(fs::exists(dir / "orders.DBF"));
    EXPECT_FALSE(fs::exists(dir / "orders.FPT"));
}

TEST(ExclusiveUse, ClosingTheConnectionFreesTablesItsResultsStillRead) {
    TempDir dir;
    writeWithPythonDbf(dir / "people.dbf");
    auto shared = std::make_unique<Connection>();
    shared->Open(folderString(dir, true));
    shared->Execute("ALTER TABLE people ADD COLUMN tempidxxx i NULL");
    Recordset grid;
    grid.Open("SELECT * FROM \"people\"", *shared, 2, 3);
    shared->Close();
    // The editor's leave sequence: a new plain connection drops the column the grid still shows.
    Connection plain;
    plain.Open(folderString(dir, false));
    EXPECT_NO_THROW(plain.Execute("ALTER TABLE people DROP COLUMN tempidxxx"));
    EXPECT_EQ(grid.DataSource()->rowCount(), 3);
    EXPECT_EQ(std::get<std::string>(grid.DataSource()->value(0, 0)), "Ann");
}
