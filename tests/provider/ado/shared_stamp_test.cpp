// Two connections sharing one table: what one of them read and derived (pages, value maps, deleted
// list, memo end, record count) must not outlive the other's writes.
#include <gtest/gtest.h>

#include <fstream>

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "tests/provider/indexing/indexing_support.h"

using namespace dorvane::provider;
using namespace dorvane::provider::indexing::testing;

TEST(SharedStamp, AnotherConnectionsWritesAreTakenIn) {
    struct Case {
        const char* name;
        const char* theirs;             // the other connection, after this one warmed its caches
        std::vector<std::string> mine;  // this one; the last reports `touched`
        long touched;
        const char* query;  // then run by this one: its first value must be `seen`
        const char* seen;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"their id change is found", "UPDATE people SET id = 100 WHERE id = 5",
         {"UPDATE people SET name = 'mine' WHERE id = 100"}, 1, "SELECT name FROM people WHERE id = 100", "mine"},
        {"their insert is found", "INSERT INTO people (id, name) VALUES (200, 'theirs')",
         {"UPDATE people SET name = 'mine' WHERE id = 200"}, 1, "SELECT name FROM people WHERE id = 200", "mine"},
        {"their delete is seen", "DELETE FROM people WHERE id = 4",
         {"UPDATE people SET name = 'mine' WHERE id = 4"}, 0, "SELECT name FROM people WHERE id = 3", "name 3"},
        {"their change to the record is kept", "UPDATE people SET name = 'theirs' WHERE id = 6",
         {"UPDATE people SET note = 'mine' WHERE id = 6"}, 1, "SELECT name FROM people WHERE id = 6", "theirs"},
        {"both memos stay whole", "INSERT INTO people (id, name, note) VALUES (300, 'b', 'their memo')",
         {"INSERT INTO people (id, name, note) VALUES (301, 'a', 'my memo')"}, 1,
         "SELECT note FROM people WHERE id = 300", "their memo"},
        {"my own insert is found", "",
         {"INSERT INTO people (id, name) VALUES (400, 'a')", "UPDATE people SET name = 'mine' WHERE id = 400"}, 1,
         "SELECT name FROM people WHERE id = 400", "mine"},
        {"a change by a program leaving no stamp is kept by my change of every record", "#theirs",
         {"UPDATE people SET note = 'mine'"}, 20, "SELECT name FROM people WHERE id = 6", "theirs"},
        {"their change is seen by my select", "UPDATE people SET name = 'theirs' WHERE id = 6", {}, -1,
         "SELECT name FROM people WHERE id = 6", "theirs"},
    };
    // clang-format on
    for (const Case& c : cases) {
        ScratchDir dir;
        const std::string source = "Provider=vfpoledb.1;Data Source=" + dir.path().string() + ";";
        Connection me, them;
        me.Open(source);
        them.Open(source);
        me.Execute("CREATE TABLE people (id I, name C(20), note M)");
        for (int i = 1; i <= 20; ++i)
            me.Execute("INSERT INTO people (name) VALUES ('name " + std::to_string(i) + "')");
        // Warm: the id map built by numbering, then used.
        me.Execute("UPDATE people SET id = recno()");
        me.Execute("UPDATE people SET name = name WHERE id = 3");
        if (*c.theirs == '#') {  // another program writes record 6's name in place, header untouched
            std::fstream file(dir / "people.dbf", std::ios::in | std::ios::out | std::ios::binary);
            unsigned char head[12];
            file.read(reinterpret_cast<char*>(head), sizeof head);
            file.seekp((head[8] | head[9] << 8) + 5 * (head[10] | head[11] << 8) + 5);
            file.write("theirs              ", 20);
        } else if (*c.theirs) {
            them.Execute(c.theirs);
        }
        long touched = -1;
        for (const auto& s : c.mine) touched = me.Execute(s);
        EXPECT_EQ(touched, c.touched) << c.name;
        EXPECT_EQ(me.query(c.query)->value(0, 0), Value(std::string(c.seen))) << c.name;
    }
}
