// dorvane-sql driven from outside, as a user's script drives it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "provider/format/table.h"
#include "tests/provider/format/table_test_support.h"

using dorvane::provider::test::TempDir;

namespace {

struct Outcome {
    std::string out, err;
    int status = -1;
};

Outcome run(const std::string& arguments, const std::string& input = "") {
    TempDir io;
    const std::string in = (io / "in").string(), out = (io / "out").string(), err = (io / "err").string();
    dorvane::provider::test::writeBytes(io / "in", input);
    const int raw = std::system((std::string("'") + DORVANE_SQL_BIN + "' " + arguments + " < '" + in + "' > '" + out +
                                 "' 2> '" + err + "'").c_str());
    return {dorvane::provider::test::readBytes(io / "out"), dorvane::provider::test::readBytes(io / "err"),
            WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
}

}  // namespace

TEST(DorvaneSql, RunsStatementsAndPrintsRowsTabSeparated) {
    TempDir dir;
    const std::string cs = "\"Provider=vfpoledb.1;Data Source=" + dir.path().string() + ";Collating Sequence=general;\"";
    const Outcome made = run(cs + " \"CREATE TABLE notes (id I, body M, city C(10))\"" +
                             " \"INSERT INTO notes (id, body, city) VALUES (1, 'one', 'Oslo')\"");
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.out, "0\n1\n");
    // From standard input, one statement a line; blank lines and carriage returns are skipped.
    const Outcome piped = run(cs, "INSERT INTO notes (id, body, city) VALUES (2, 'plain', 'Bergen')\r\n\n"
                                  "UPDATE notes SET city = 'Tromso' WHERE id >= 1\n");
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, "1\n2\n");
    const Outcome selected = run(cs + " \"SELECT id, city FROM notes WHERE id = 2\"");
    EXPECT_EQ(selected.out, "id\tcity\n2\tTromso\n");
    const Outcome tables = run("--tables " + cs);
    EXPECT_NE(tables.out.find("\tnotes\tTABLE\t"), std::string::npos) << tables.out;
}

TEST(DorvaneSql, EscapesControlCharactersInValues) {
    TempDir dir;
    {
        std::vector<dorvane::provider::FieldSpec> fields{dorvane::provider::test::fieldSpec("body", 'M')};
        auto table = dorvane::provider::Table::create(dir / "t.dbf", fields);
        table->appendValues({std::string("a\tb\r\nc\\d")});
    }
    const Outcome out = run("\"Provider=vfpoledb.1;Data Source=" + dir.path().string() + ";\" \"SELECT * FROM t\"");
    EXPECT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(out.out, "body\na\\tb\\r\\nc\\\\d\n");
}

TEST(DorvaneSql, ReportsProviderErrorsWithTheirNumber) {
    TempDir dir;
    const std::string cs = "\"Provider=vfpoledb.1;Data Source=" + dir.path().string() + ";\"";
    const Outcome missing = run(cs + " \"SELECT * FROM nowhere\"");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "Error 1: File \"nowhere.dbf\" does not exist.\n");
    const Outcome unknown = run(cs + " \"SHOUT AT customers\"");
    EXPECT_EQ(unknown.err, "Error 36: Command contains unrecognized phrase/keyword.\n");
    EXPECT_EQ(run("\"Provider=vfpoledb.1;Data Source=" + (dir / "gone").string() + ";\" \"SELECT 1\"").status, 1);
    EXPECT_EQ(run("").status, 2);
}
