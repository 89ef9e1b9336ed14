// Two connections sharing one table: what one of them read and derived (pages, value maps, deleted
// list, memo end, record count) must not outlive the other's writes.
#include <gtest/gtest.h>

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/format/table.h"
#include "tests/provider/indexing/indexing_support.h"

using namespace dorvane::provider;
using namespace dorvane::provider::indexing::testing;

namespace {

struct Expect {
    std::uint32_t recno;
    int field;  // 0 id, 1 name, 2 note
    Value value;
};

struct Case {
    const char* name;
    std::vector<std::string> theirs;  // the other connection, after this one warmed its caches
    std::vector<std::string> mine;    // this one; the last reports `touched`
    long touched;
    std::vector<Expect> expected;
    const char* query = nullptr;  // then run by this one: its first value must be `seen`
    Value seen;
};

Value text(const char* s) {
    return std::string(s);
}

}  // namespace

TEST(SharedStamp, AnotherConnectionsWritesAreTakenIn) {
    const std::vector<Case> cases = {
        {"their id change is found",
         {"UPDATE people SET id = 100 WHERE id = 5"},
         {"UPDATE people SET name = 'mine' WHERE id = 100"},
         1,
         {{5, 1, text("mine")}}},
        {"the id they changed away is gone",
         {"UPDATE people SET id = 100 WHERE id = 5"},
         {"UPDATE people SET name = 'mine' WHERE id = 5"},
         0,
         {{5, 1, text("name 5")}}},
        {"their insert is found",
         {"INSERT INTO people (id, name) VALUES (200, 'theirs')"},
         {"UPDATE people SET name = 'mine' WHERE id = 200"},
         1,
         {{21, 1, text("mine")}}},
        {"their delete is seen",
         {"DELETE FROM people WHERE id = 4"},
         {"UPDATE people SET name = 'mine' WHERE id = 4"},
         0,
         {{4, 1, text("name 4")}}},
        {"their change to the same record is kept",
         {"UPDATE people SET name = 'theirs' WHERE id = 6"},
         {"UPDATE people SET note = 'mine' WHERE id = 6"},
         1,
         {{6, 1, text("theirs")}, {6, 2, text("mine")}}},
        {"both memos stay whole",
         {"INSERT INTO people (id, name, note) VALUES (300, 'b', 'their memo')"},
         {"INSERT INTO people (id, name, note) VALUES (301, 'a', 'my memo')"},
         1,
         {{21, 2, text("their memo")}, {22, 2, text("my memo")}, {22, 0, std::int64_t(301)}}},
        {"their numbering is found",
         {"UPDATE people SET id = recno() + 1000"},
         {"UPDATE people SET name = 'mine' WHERE id = 1007"},
         1,
         {{7, 1, text("mine")}}},
        {"my own insert is found with nobody else writing",
         {},
         {"INSERT INTO people (id, name) VALUES (400, 'a')",
          "UPDATE people SET name = 'mine' WHERE id = 400"},
         1,
         {{21, 1, text("mine")}}},
        {"their change is seen by my select",
         {"UPDATE people SET name = 'theirs' WHERE id = 6"},
         {},
         -1,
         {},
         "SELECT name FROM people WHERE id = 6",
         text("theirs")},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        {
            std::vector<FieldSpec> fields(3);
            fields[0].name = "id", fields[0].type = 'I';
            fields[1].name = "name", fields[1].type = 'C', fields[1].width = 20;
            fields[2].name = "note", fields[2].type = 'M';
            auto table = Table::create(dir / "people.dbf", fields);
            for (int i = 1; i <= 20; ++i)
                table->appendValues({std::int64_t(i), "name " + std::to_string(i), std::string()});
        }
        const std::string source = "Provider=vfpoledb.1;Data Source=" + dir.path().string() + ";";
        Connection me, them;
        me.Open(source);
        them.Open(source);
        // Warm: the id map built by numbering, then used.
        me.Execute("UPDATE people SET id = recno()");
        me.Execute("UPDATE people SET name = name WHERE id = 3");
        for (const auto& s : c.theirs) them.Execute(s);
        long touched = -1;
        for (const auto& s : c.mine) touched = me.Execute(s);
        EXPECT_EQ(touched, c.touched) << c.name;
        if (c.query) EXPECT_EQ(me.query(c.query)->value(0, 0), c.seen) << c.name;
        me.Close();
        them.Close();
        auto table = Table::open(dir / "people.dbf");
        for (const Expect& e : c.expected)
            EXPECT_EQ(table->value(e.recno, e.field), e.value) << c.name << ": record " << e.recno;
    }
}
