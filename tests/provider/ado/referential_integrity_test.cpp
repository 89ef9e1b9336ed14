// Referential integrity from a container's Relation records: the container the rule scripts of
// statement_cases.txt start from, and a writer failing or killed in the middle
// of a cascade, judged by independent readers (dbfread, cdx-check).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "provider/ado/connection.h"
#include "provider/ado/container_design.h"
#include "provider/error.h"
#include "provider/format/container.h"
#include "provider/format/container_properties.h"
#include "provider/indexing/attach.h"
#include "ri_container.h"
#include "tests/provider/indexing/indexing_support.h"
#include "tests/support/fault_file_system.h"

using namespace dorvane::provider;
using indexing::testing::ScratchDir;
namespace fs = std::filesystem;

namespace {

const char* const kDbc = "FOXPRO-DB-TEST.DBC";
const char* const kBefore[] = {"1;2;3", "10,1;11,1;12,2", "100,10;101,12"};

std::string sourceOf(const fs::path& dir, bool exclusive = true) {
    return "Provider=vfpoledb.1;Data Source=" + (dir / kDbc).string() +
           (exclusive ? ";Mode=Share Exclusive;" : ";");
}

// The live records of customer, orders and lines as dbfread reads them: values joined by ',', records
// by ';'.
std::vector<std::string> state(const fs::path& dir) {
    const std::string out = ::dorvane::test::runCommand(
        "/usr/bin/python3 '" DORVANE_SOURCE_DIR "/tests/provider/ado/read_live.py' '" +
        (dir / "customer.dbf").string() + "' '" + (dir / "orders.dbf").string() + "' '" +
        (dir / "lines.dbf").string() + "'");
    std::vector<std::string> lines;
    for (std::size_t pos = 0, end; (end = out.find('\n', pos)) != std::string::npos; pos = end + 1)
        lines.push_back(out.substr(pos, end - pos));
    return lines;
}

// customer(id) <- orders(custid) with the case's rules; orders(oid) <- lines(oid) cascading deletes and
// updates and restricting inserts, so a cascade from customer reaches lines.
fs::path base() {
    static ScratchDir dir;
    static bool made = false;
    if (made) return dir.path();
    made = true;
    for (const auto& entry : fs::directory_iterator(fs::path(DORVANE_FIXTURES) / "foxprodb"))
        fs::copy_file(entry.path(), dir / entry.path().filename().string());
    for (const auto& entry : fs::directory_iterator(dir.path()))
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
    const fs::path dbc = dir / kDbc;
    {
        Connection c;
        c.Open(sourceOf(dir.path()));
        c.Execute("CREATE TABLE customer (id I)");
        c.Execute("CREATE TABLE orders (oid I, custid I)");
        c.Execute("CREATE TABLE lines (lid I, oid I)");
        c.Close();
    }
    using index::KeyType;
    addIndexTag(dbc, "customer", {"ID", "id", "", 4, KeyType::Integer, false, true}, true);
    addIndexTag(dbc, "orders", {"OID", "oid", "", 4, KeyType::Integer, false, true}, true);
    addIndexTag(dbc, "orders", {"CUSTID", "custid", "", 4, KeyType::Integer});
    addIndexTag(dbc, "lines", {"OID", "oid", "", 4, KeyType::Integer});
    Connection c;
    c.Open(sourceOf(dir.path()));
    for (const char* insert : {"INSERT INTO customer VALUES (1)", "INSERT INTO customer VALUES (2)",
                               "INSERT INTO customer VALUES (3)", "INSERT INTO orders VALUES (10, 1)",
                               "INSERT INTO orders VALUES (11, 1)", "INSERT INTO orders VALUES (12, 2)",
                               "INSERT INTO lines VALUES (100, 10)", "INSERT INTO lines VALUES (101, 12)"})
        c.Execute(insert);
    c.Close();
    return dir.path();
}

void makeContainer(const fs::path& to, const std::string& orderRules) {
    fs::copy(base(), to);
    addRelation(to / kDbc, {"orders", "custid", "customer", "id", orderRules});
    addRelation(to / kDbc, {"lines", "oid", "orders", "oid", "CCR"});
}

void expectIndexesTrue(const fs::path& dir, const std::string& row, bool withContainer = true) {
    if (!dorvane::test::cdxCheckAvailable()) return;
    std::vector<std::string> files{"customer.dbf", "orders.dbf", "lines.dbf"};
    if (withContainer) files.push_back(kDbc);
    for (const auto& file : files) {
        const auto check = dorvane::test::runCdxCheck(dir / file);
        EXPECT_EQ(check.exitCode, 0) << row << ": " << file << "\n" << check.output;
    }
}

}  // namespace

namespace dorvane::provider::test {
void makeRiContainer(const fs::path& to, const std::string& orderRules) {
    makeContainer(to, orderRules);
}
}  // namespace dorvane::provider::test

// A cascade failing (disk full) or killed at each file operation in turn: after the next connection,
// parent and children are as before the statement or as it left them, never in between.
TEST(ReferentialIntegrity, CascadeStoppedAtAnyFileOperationIsWholeOrUndone) {
    ScratchDir scratch;
    const std::vector<std::string> after{"2;3", "12,2", "101,12"};
    int killed = 0, failed = 0, leftJournal = 0;
    for (long point = 0;; ++point) {
        const fs::path dir = scratch / std::to_string(point);
        bool finished = false;
        for (const bool kill : {false, true}) {
            fs::remove_all(dir);
            makeContainer(dir, "CCI");
            if (kill) {
                const pid_t child = ::fork();
                if (child == 0) {
                    Connection w;
                    w.Open(sourceOf(dir));
                    killAfterFileOperationsForTests(point);
                    w.Execute("DELETE FROM customer WHERE id = 1");
                    w.Close();
                    ::_exit(0);
                }
                int status = 0;
                ::waitpid(child, &status, 0);
                finished = WIFEXITED(status);
                killed += !finished;
            } else {
                Connection c;
                c.Open(sourceOf(dir));
                failAfterFileOperationsForTests(point);
                try {
                    c.Execute("DELETE FROM customer WHERE id = 1");
                } catch (const ProviderError&) {
                    ++failed;
                }
                failAfterFileOperationsForTests(-1);
                try {
                    c.Close();
                } catch (const ProviderError&) {
                }
            }
            leftJournal += fs::exists(dir / ".customer.dbf.cascade");
            {
                Connection next;  // undoes what a stopped writer left
                next.Open(sourceOf(dir));
                next.Close();
            }
            EXPECT_FALSE(fs::exists(dir / ".customer.dbf.cascade"));
            const auto now = state(dir);
            const auto before = std::vector<std::string>(std::begin(kBefore), std::end(kBefore));
            const std::string row =
                (kill ? "killed at operation " : "failed at operation ") + std::to_string(point);
            EXPECT_TRUE(now == before || now == after)
                << row << ": " << now[0] << " | " << now[1] << " | " << now[2];
            expectIndexesTrue(dir, row, false);
        }
        setFileSystem(nullptr);
        if (finished) break;
    }
    std::printf("cascade stopped: killed at %d points, failed at %d, %d left a journal to undo\n", killed,
                failed, leftJournal);
    EXPECT_GT(leftJournal, 3);
    EXPECT_GT(killed, 3);
    EXPECT_GT(failed, 3);
}
