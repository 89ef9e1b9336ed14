// The statements the windows send, run through Connection::Execute and Recordset::Open on real tables
// by the scripts of statement_cases.txt, with the files checked afterwards by independent readers
// (dbfread, cdx-check); and what a second process meets while a table is held.
#include <gtest/gtest.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/ado/table_rows.h"
#include "provider/error.h"
#include "provider/format/header.h"
#include "provider/format/table.h"
#include "provider/index/cdx_file.h"
#include "provider/sql/value_text.h"
#include "ri_container.h"
#include "tests/provider/format/table_test_support.h"
#include "tests/provider/indexing/indexing_support.h"
#include "tests/support/cdx_check.h"
#include "tests/support/container_triggers.h"

using namespace dorvane::provider;
using dorvane::provider::test::TempDir;
namespace fs = std::filesystem;

namespace {

std::string folderString(const TempDir& dir, bool exclusive) {
    return "Provider=vfpoledb.1;Data Source=" + dir.path().string() + ";Collating Sequence=general;" +
           (exclusive ? "mode=share exclusive;" : "");
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::vector<std::string> split(const std::string& text, const std::string& by) {
    std::vector<std::string> out;
    if (trim(text).empty()) return out;
    for (std::size_t from = 0;;) {
        const std::size_t at = text.find(by, from);
        out.push_back(trim(text.substr(from, at - from)));
        if (at == std::string::npos) return out;
        from = at + by.size();
    }
}

// \n, \r, \t and \\ as the characters they stand for.
std::string unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char next = i + 1 < s.size() ? s[i + 1] : 0;
        if (s[i] == '\\' && (next == 'n' || next == 'r' || next == 't' || next == '\\')) {
            out.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : '\\');
            ++i;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::string joined(const std::vector<std::string>& rows) {
    std::string out;
    for (const auto& r : rows) out += (out.empty() ? "" : " / ") + r;
    return out;
}

// Rows of a SELECT in the grid's text form, cells joined by "|".
std::vector<std::string> rows(Connection& connection, const std::string& select) {
    Recordset rs;
    rs.CursorLocation = 3;
    rs.Open(select, connection, 2, 3);
    const auto source = rs.DataSource();
    std::vector<std::string> out;
    for (std::int64_t r = 0; r < source->rowCount(); ++r) {
        std::string line;
        for (int c = 0; c < source->columnCount(); ++c)
            line += (c ? "|" : "") + sql::formatForGrid(source->value(r, c), source->column(c).type,
                                                        source->column(c).decimals);
        out.push_back(line);
    }
    return out;
}

// A table the way a user brings one: written by python3-dbf, not by us.
void writeWithPythonDbf(const fs::path& file) {
    test::writeBytes(
        file.parent_path() / "make.py",
        "import dbf, datetime\nt = dbf.Table(r'" + file.string() +
            "', 'name C(20); qty N(8,2); born D; note M', dbf_type='vfp', codepage='cp1252')\n"
            "t.open(dbf.READ_WRITE)\nt.append(('Ann', 1.5, datetime.date(2020, 5, 17), 'first'))\n"
            "t.append(('Bob', 2, None, 'second'))\nt.append(('Bob', 2, None, 'second'))\nt.close()\n");
    ASSERT_EQ(std::system(("/usr/bin/python3 '" + (file.parent_path() / "make.py").string() + "'").c_str()),
              0);
    fs::remove(file.parent_path() / "make.py");
}

// A table of our own: a candidate GENERAL tag on name, a descending GENERAL tag with a FOR clause on
// UPPER(city), and a MACHINE tag, all empty.
void createGeneralPeople(const TempDir& dir) {
    index::TagDefinition name{"NAME", "name", "", 40, index::KeyType::Character, false, true};
    index::TagDefinition city{"CITY", "UPPER(city)", "city=>\"B\"", 30, index::KeyType::Character};
    city.descending = true;
    name.collation = city.collation = "GENERAL";
    index::TagDefinition id{"ID", "id", "", 4, index::KeyType::Integer};
    indexing::testing::createIndexedTable(
        dir / "people.dbf",
        {test::fieldSpec("name", 'C', 20), test::fieldSpec("city", 'C', 15), test::fieldSpec("id", 'I', 4)},
        {name, city, id})
        .reset();
}

// dbfread's reading of a table (dump_table.py): "fields|NAMES", then "*" before a deleted record.
std::vector<std::string> independentRead(const fs::path& file) {
    std::istringstream in(test::runCommand("/usr/bin/python3 '" DORVANE_SOURCE_DIR
                                           "/tests/provider/format/dump_table.py' '" +
                                           file.string() + "' cp1252 fields 2>&1"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        std::replace(line.begin(), line.end(), '\x1f', '|');
        lines.push_back(line.rfind("fields", 0) == 0 ? line : (line[0] == '*' ? "*" : "") + line.substr(2));
    }
    return lines;
}

// Runs one script step; `where` names the file line for failure messages.
struct Script {
    TempDir dir;
    std::unique_ptr<Connection> connection, other;  // other: a second user of the last source opened
    std::string source;
    std::map<std::string, std::string> snapshots;

    void step(const std::string& line, const std::string& where) {
        SCOPED_TRACE(where + ": " + line);
        std::string text = line;
        for (std::size_t at; (at = text.find("${dir}")) != std::string::npos;)
            text.replace(at, 6, dir.path());
        const std::size_t arrow = text.find(" =>");
        const bool hasExpected = arrow != std::string::npos;
        const std::string statement = trim(text.substr(0, arrow));
        const std::string expected = hasExpected ? trim(text.substr(arrow + 3)) : "";
        std::istringstream words(statement);
        std::string command;
        words >> command;
        std::vector<std::string> args;
        for (std::string w; words >> w;) args.push_back(w);
        if (command == "@people") return writeWithPythonDbf(dir / "people.dbf");
        if (command == "@people-general") return createGeneralPeople(dir);
        if (command == "@copy") return (void)dir.copyFixture(args);
        if (command == "@ri") return test::makeRiContainer(dir.path(), args[0]);
        if (command == "@triggers") {
            std::map<int, std::string> triggers;
            for (std::size_t i = 1; i + 1 < args.size(); i += 2) triggers[std::stoi(args[i])] = args[i + 1];
            return dorvane::test::setTriggers(dir / "FOXPRO-DB-TEST.DBC", args[0], triggers);
        }
        if (command == "@poke") {
            if (!fs::exists(dir / args[0])) test::writeBytes(dir / args[0], "");
            std::fstream(dir / args[0], std::ios::in | std::ios::out | std::ios::binary)
                .seekp(std::stol(args[1]))
                .put(static_cast<char>(std::stoi(args[2], nullptr, 16)));
            return;
        }
        if (command == "@open") {
            connection = std::make_unique<Connection>();
            source = "Provider=vfpoledb.1;Data Source=" +
                     (args.size() > 2 ? (dir / args[2]).string() : dir.path().string()) + ";" +
                     (args.size() > 1 ? "Collating Sequence=" + args[1] + ";" : "") +
                     (args[0] == "exclusive" ? "mode=share exclusive;" : "");
            return connection->Open(source);
        }
        if (command == "@close") return connection->Close();
        const std::string rest = trim(statement.substr(command.size()));
        if (command == "@other") {
            if (!other) other = std::make_unique<Connection>(), other->Open(source);
            return (void)other->Execute(rest);
        }
        if (args.size() == 1 && args[0] == "*") {  // every file of the folder
            args.clear();
            for (const auto& entry : fs::directory_iterator(dir.path()))
                args.push_back(entry.path().filename());
        }
        if (command == "@connect") return runStatement(rest, expected, hasExpected, true);
        if (command == "@stdin") return test::writeBytes(dir / ".stdin", unescape(rest));
        if (command == "@cli") return runTool(rest, expected);
        if (command == "@parse") {
            std::string got = "! error";
            try {
                const auto p = parseConnectionString(rest);
                got = p.dataSource + (p.collation == Collation::General ? "|general|" : "|machine|") +
                      (p.exclusive ? "exclusive" : "shared");
            } catch (const ProviderError&) {
            }
            EXPECT_EQ(got, expected);
            return;
        }
        for (const std::string& file : args) {
            if (command == "@snapshot") snapshots[file] = test::readBytes(dir / file);
            if (command == "@unchanged") {
                EXPECT_EQ(test::readBytes(dir / file), snapshots[file]) << file;
            }
            if (command == "@gone") {
                EXPECT_FALSE(fs::exists(dir / file)) << file;
            }
            if (command == "@check" && dorvane::test::cdxCheckAvailable()) {
                const auto check = dorvane::test::runCdxCheck(dir / file);
                EXPECT_EQ(check.exitCode, 0) << check.output;
            }
        }
        if (command == "@tables") {
            std::vector<std::string> names;
            for (auto schema = connection->OpenSchema(kSchemaTables); !schema->Eof(); schema->MoveNext())
                names.push_back(std::get<std::string>(schema->Fields()["table_name"].Value()) + ":" +
                                std::get<std::string>(schema->Fields()["Table_Type"].Value()));
            EXPECT_EQ(joined(names), expected);
        } else if (command == "@read") {
            const std::vector<std::string> got = independentRead(dir / args[0]),
                                           want = split(expected, " / ");
            const bool open = !want.empty() && want.back() == "...";
            EXPECT_TRUE(open ? got.size() >= want.size() - 1 : got.size() == want.size()) << joined(got);
            for (std::size_t i = 0; i < std::min(got.size(), want.size() - open); ++i)
                EXPECT_EQ(got[i].substr(0, want[i].size()), want[i]) << "row " << i;
        } else if (command == "@py") {
            std::string line = "/usr/bin/python3 '" DORVANE_SOURCE_DIR "/tests/provider/ado/" + args[0] + "'";
            for (std::size_t i = 1; i < args.size(); ++i)
                line += " '" + (fs::exists(dir / args[i]) ? (dir / args[i]).string() : args[i]) + "'";
            std::string got = test::runCommand(line + " 2>&1");
            for (std::size_t at; (at = got.find('\n')) != std::string::npos;) got.replace(at, 1, " / ");
            EXPECT_EQ(got, expected + " / ");
        } else if (command == "@no-hidden-files") {
            for (const auto& entry : fs::directory_iterator(dir.path()))
                EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
        } else if (command[0] != '@') {
            runStatement(statement, expected, hasExpected);
        }
    }

    // dorvane-sql driven from outside as a user's script drives it; ${cs} is the folder's connection
    // string. Expected: its output ("~text": holding text), or "! status" and the error text.
    void runTool(std::string arguments, const std::string& expected) {
        for (std::size_t at; (at = arguments.find("${cs}")) != std::string::npos;)
            arguments.replace(at, 5, "\"Provider=vfpoledb.1;Data Source=" + dir.path().string() + ";\"");
        const std::string in = (dir / ".stdin").string(), out = (dir / ".out").string(),
                          err = (dir / ".err").string();
        if (!fs::exists(in)) test::writeBytes(in, "");
        const int raw = std::system(("'" DORVANE_SQL_BIN "' " + unescape(arguments) + " < '" + in + "' > '" +
                                     out + "' 2> '" + err + "'")
                                        .c_str());
        const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        const std::string got =
            status == 0 ? test::readBytes(out) : "! " + std::to_string(status) + " " + test::readBytes(err);
        const std::string want = unescape(expected);
        if (want[0] == '~')
            EXPECT_NE(got.find(want.substr(1)), std::string::npos) << got;
        else
            EXPECT_EQ(want.size() == 3 ? got.substr(0, 3) : got, want);
        fs::remove(in);
        fs::remove(out);
        fs::remove(err);
    }

    void runStatement(const std::string& statement, const std::string& expected, bool hasExpected,
                      bool open = false) {
        Connection fresh;
        try {
            if (open) {
                fresh.Open(statement);
                EXPECT_FALSE(hasExpected) << "opened";
                return;
            }
            if (statement.size() > 6 && strncasecmp(statement.c_str(), "select", 6) == 0) {
                const auto got = rows(*connection, statement);
                EXPECT_EQ(expected[0] == '#' ? std::to_string(got.size()) : joined(got),
                          expected[0] == '#' ? expected.substr(1) : expected);
                return;
            }
            const long count = connection->Execute(statement);
            EXPECT_EQ(hasExpected ? std::to_string(count) : "", expected);
        } catch (const ProviderError& e) {
            EXPECT_EQ(e.hresult(), kEFail);
            EXPECT_EQ(fresh.state(), kStateClosed);
            std::istringstream want(expected);
            std::string bang, message;
            int number = 0;
            want >> bang >> number;
            std::getline(want, message);
            EXPECT_TRUE(bang == "!" && e.number() == number)
                << "failed with " << e.number() << " " << e.message();
            EXPECT_NE(e.message().find(trim(message)), std::string::npos) << e.message();
        }
    }
};

TEST(StatementScripts, EveryScriptOfTheFileRunsAsWritten) {
    std::ifstream in(DORVANE_SOURCE_DIR "/tests/provider/ado/statement_cases.txt");
    ASSERT_TRUE(in);
    std::unique_ptr<Script> script;
    std::string title;
    int lineNumber = 0, scripts = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        if (line.rfind("== ", 0) == 0) {
            script = std::make_unique<Script>();
            title = line.substr(3);
            ++scripts;
        } else if (script && !trim(line).empty() && line[0] != '#') {
            script->step(line, "statement_cases.txt:" + std::to_string(lineNumber) + " (" + title + ")");
        }
    }
    EXPECT_GE(scripts, 20);
}

TEST(ExclusiveUse, ASecondProcessIsToldTheFileIsInUseUntilTheConnectionCloses) {
    TempDir dir;
    writeWithPythonDbf(dir / "people.dbf");
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    if (fork() == 0) {
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
    for (bool exclusive : {true, false}) {
        Connection second;
        second.Open(folderString(dir, exclusive));
        try {
            second.Execute("UPDATE people SET name = 'x'");
            ADD_FAILURE() << "not refused";
        } catch (const ProviderError& e) {
            EXPECT_EQ(e.number(), 108);
            EXPECT_EQ(e.message(), "File is in use by another user.");
        }
    }
    (void)!write(done[1], &byte, 1);
    wait(nullptr);
    // Closing a connection frees its tables, also those a result it gave still reads: the editor's
    // leave sequence drops the column the grid still shows over a new plain connection.
    auto shared = std::make_unique<Connection>();
    shared->Open(folderString(dir, true));
    shared->Execute("ALTER TABLE people DROP COLUMN tempidxxx");
    Recordset grid;
    grid.Open("SELECT * FROM \"people\"", *shared, 2, 3);
    shared->Close();
    Connection plain;
    plain.Open(folderString(dir, false));
    EXPECT_NO_THROW(plain.Execute("ALTER TABLE people ADD COLUMN tempidxxx i NULL"));
    EXPECT_EQ(grid.DataSource()->rowCount(), 3);
    EXPECT_EQ(std::get<std::string>(grid.DataSource()->value(0, 0)), "Ann");
    EXPECT_EQ(plain.Execute("update people set name='x' where recno()=1"), 1);
}

}  // namespace
