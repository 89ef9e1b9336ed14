// Several processes writing one indexed table over shared connections, and one reading it.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <random>

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/error.h"
#include "tests/provider/indexing/indexing_support.h"

using namespace dorvane::provider;
using namespace dorvane::provider::indexing::testing;

namespace {

constexpr int kWriters = 4;
constexpr int kStatements = 2000;

std::string nameFor(long id, int version) {
    return std::to_string(version) + ":" + std::to_string(id) + ":" + std::to_string(version);
}

// One writer: INSERTs, UPDATEs (name and memo) and DELETEs of its own records; logs each statement
// that reported success. Exit status 0 unless a statement failed otherwise than by a busy table.
int writer(const fs::path& dir, int w) {
    Connection c;
    c.Open("Provider=vfpoledb.1;Data Source=" + dir.string() + ";");
    std::ofstream log(dir / ("w" + std::to_string(w) + ".log"));
    std::mt19937 random(static_cast<unsigned>(w));
    std::vector<long> live;
    for (int i = 0; i < kStatements; ++i) {
        const int kind = live.size() < 5 ? 0 : static_cast<int>(random() % 5);
        const long id = kind < 3 ? w * 100000L + i : live[random() % live.size()];
        const std::string name = nameFor(id, i);
        const std::string statement = kind < 3 ? "INSERT INTO t (id, name, note) VALUES (" +
                                                     std::to_string(id) + ", '" + name + "', '" + name + "')"
                                      : kind == 3 ? "UPDATE t SET name = '" + name + "', note = '" + name +
                                                        name + "' WHERE id = " + std::to_string(id)
                                                  : "DELETE FROM t WHERE id = " + std::to_string(id);
        try {
            c.Execute(statement);
        } catch (const ProviderError& e) {
            if (e.code() == FoxError::FileInUseByAnother) continue;
            std::ofstream(dir / "failed") << "writer " << w << ", " << statement << ": " << e.what();
            return 1;
        }
        log << (kind < 3 ? 'I' : kind == 3 ? 'U' : 'D') << ' ' << id << ' ' << i << '\n';
        if (kind < 3) live.push_back(id);
        if (kind == 4) live.erase(std::find(live.begin(), live.end(), id));
    }
    return 0;
}

// The reader: reads the whole table again and again until `stop` is closed; each record's name must be
// whole ("v:id:v"). Exit status: 0, or 1 when it saw a half-written record.
int reader(const fs::path& dir, int stop) {
    Connection c;
    c.Open("Provider=vfpoledb.1;Data Source=" + dir.string() + ";");
    pollfd done{stop, POLLIN, 0};
    while (::poll(&done, 1, 0) == 0) {
        try {
            const auto rows = c.query("SELECT id, name FROM t");
            for (std::int64_t r = 0; r < rows->rowCount(); ++r) {
                const auto id = std::get<std::int64_t>(rows->value(r, 0));
                const std::string name = std::get<std::string>(rows->value(r, 1));
                const auto first = name.find(':'), last = name.rfind(':');
                if (first == last || name.substr(0, first) != name.substr(last + 1) ||
                    name.substr(first + 1, last - first - 1) != std::to_string(id))
                    return 1;
            }
        } catch (const ProviderError& e) {
            if (e.code() == FoxError::FileInUseByAnother) continue;
            std::ofstream(dir / "failed") << "reader: " << e.what();
            return 2;
        }
    }
    return 0;
}

}  // namespace

TEST(SharedWriters, FourWritersAndAReaderLoseNothing) {
    ScratchDir dir;
    std::vector<index::TagDefinition> tags(2);
    tags[0] = {"ID", "id", "", 4, index::KeyType::Integer};
    tags[1] = {"NAME", "UPPER(name)", "", 20, index::KeyType::Character};
    createIndexedTable(dir / "t.dbf", {{"id", "", 'I', 4}, {"name", "", 'C', 20}, {"note", "", 'M', 4}},
                       tags);

    int stop[2];
    ASSERT_EQ(::pipe(stop), 0);
    std::vector<pid_t> children;
    for (int w = 0; w <= kWriters; ++w) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(stop[1]);
            ::_exit(w == kWriters ? reader(dir.path(), stop[0]) : writer(dir.path(), w));
        }
        children.push_back(pid);
    }
    ::close(stop[0]);
    for (int w = 0; w <= kWriters; ++w) {
        if (w == kWriters) ::close(stop[1]);
        int status = 0;
        ::waitpid(children[static_cast<std::size_t>(w)], &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << (w == kWriters ? "reader" : "writer ") << w << " status " << status;
    }
    if (fs::exists(dir / "failed")) ADD_FAILURE() << std::ifstream(dir / "failed").rdbuf();

    // What the successful statements leave: id -> (version of its name, deleted).
    std::map<long, std::pair<int, bool>> expected;
    long inserted = 0;
    for (int w = 0; w < kWriters; ++w) {
        std::ifstream log(dir / ("w" + std::to_string(w) + ".log"));
        char kind;
        long id;
        int version;
        while (log >> kind >> id >> version) {
            inserted += kind == 'I';
            expected[id] =
                kind == 'D' ? std::make_pair(expected[id].first, true) : std::make_pair(version, false);
        }
    }
    auto table = Table::open(dir / "t.dbf", OpenMode::ReadOnly);
    ASSERT_EQ(table->recordCount(), static_cast<std::uint32_t>(inserted));
    EXPECT_GT(inserted, kWriters * kStatements / 3);
    std::map<long, std::pair<int, bool>> found;
    for (std::uint32_t recno = 1; recno <= table->recordCount(); ++recno) {
        const auto values = table->record(recno);
        const long id = static_cast<long>(std::get<std::int64_t>(values[0]));
        const std::string name = std::get<std::string>(values[1]);
        const int version = std::stoi(name);
        ASSERT_EQ(name, nameFor(id, version)) << "record " << recno;
        ASSERT_TRUE(std::get<std::string>(values[2]).starts_with(name)) << "memo of record " << recno;
        ASSERT_TRUE(found.emplace(id, std::make_pair(version, table->isDeleted(recno))).second)
            << "twice: " << id;
    }
    EXPECT_EQ(found, expected);

    if (dorvane::test::cdxCheckAvailable()) {
        const auto check = cdxCheck(dir / "t.dbf");
        EXPECT_EQ(check.exitCode, 0) << check.output;
    }
    const std::string count =
        "/usr/bin/python3 -c \"import dbf,sys; t=dbf.Table(sys.argv[1]); t.open(dbf.READ_ONLY); "
        "print(sum(1 for r in t if tuple(r) is not None))\" '" +
        (dir / "t.dbf").string() + "'";
    FILE* pipe = ::popen(count.c_str(), "r");
    char line[64] = {};
    ASSERT_TRUE(pipe && std::fgets(line, sizeof line, pipe));
    ::pclose(pipe);
    EXPECT_EQ(std::atol(line), inserted);
}

TEST(SharedWriters, AStatementThatCannotHaveTheTableFailsAndWritesNothing) {
    ScratchDir dir;
    createIndexedTable(dir / "t.dbf", {{"id", "", 'I', 4}}, {{"ID", "id", "", 4, index::KeyType::Integer}});
    auto other = Table::open(dir / "t.dbf", OpenMode::Shared);  // another user, in the middle of a write
    const auto hold = other->holdForWriting();
    Connection c;
    c.Open("Provider=vfpoledb.1;Data Source=" + dir.path().string() + ";");
    try {
        c.Execute("INSERT INTO t (id) VALUES (1)");
        ADD_FAILURE() << "not refused";
    } catch (const ProviderError& e) {
        EXPECT_EQ(e.number(), 108);
        EXPECT_EQ(e.message(), "File is in use by another user.");
    }
    EXPECT_EQ(Table::open(dir / "t.dbf", OpenMode::ReadOnly)->recordCount(), 0u);
}
