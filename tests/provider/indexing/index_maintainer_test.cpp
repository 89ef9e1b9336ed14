// Runs of appends, updates, deletes, recalls and structure changes on a table the engine creates with
// a structural index: after each run every tag must list exactly the keys of the records, in order,
// and the independent checker must accept the files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "indexing_support.h"
#include "provider/error.h"
#include "provider/index/key_encoding.h"
#include "provider/indexing/attach.h"
#include "tests/support/fault_file_system.h"

namespace dorvane::provider::indexing {
namespace {

using namespace testing;
using index::KeyEntry;
using index::KeyType;
using index::TagDefinition;

constexpr int kId = 0, kName = 1, kBorn = 2, kQty = 3;

std::vector<FieldSpec> peopleFields() {
    return {{"id", "", 'I', 4}, {"name", "", 'C', 20}, {"born", "", 'D', 8}, {"qty", "", 'N', 8, 0}};
}

std::vector<TagDefinition> peopleTags() {
    std::vector<TagDefinition> tags = {
        {"ID", "id", "", 4, KeyType::Integer, false, /*candidate=*/true},
        {"NAME", "UPPER(name)", "", 20, KeyType::Character},
        {"BORN", "DTOS(born)", "", 8, KeyType::Character},
        {"LIVE", "id", ".NOT.DELETED()", 4, KeyType::Integer},
        {"UNAME", "UPPER(name)", "", 20, KeyType::Character, /*unique=*/true},
        {"QTY", "qty", "", 8, KeyType::Numeric},
    };
    tags[5].descending = true;
    return tags;
}

void expectIndexTrue(Table& table) {
    expectTagsMatchRecords(table);
    expectCheckerAccepts(table.path());
}

struct Fixture {
    ScratchDir dir;
    fs::path dbf = dir / "people.dbf";
    std::unique_ptr<Table> table = createIndexedTable(dbf, peopleFields(), peopleTags());
    std::vector<std::unique_ptr<IndexMaintainer>> keep;

    Fixture() {
        const auto refusal = attachIndexMaintenance(*table, keep);
        if (refusal) ADD_FAILURE() << refusal->message();
    }
    ~Fixture() { keep.clear(); }
    std::uint32_t add(std::int32_t id, const std::string& name, int year, double qty) {
        return table->appendValues({std::int64_t{id}, name, Date{julianDayFromCivil(year, 3, 1 + id % 27)}, qty});
    }
};

TEST(IndexMaintainer, RunsOfChangesKeepEveryTagTrue) {
    Fixture f;
    Table& t = *f.table;
    const char* names[] = {"alice", "Bob", "ALICE", "carol", "bob", "Dave"};
    for (int i = 1; i <= 40; ++i) f.add(i, names[i % 6], 1950 + i, (i % 7) - 3.5 * (i % 2));

    struct Step {
        const char* what;
        std::function<void(Table&)> apply;
    };
    const std::vector<Step> steps = {
        {"appends", [](Table&) {}},
        {"key field update", [](Table& t) { t.update(5, {{kId, std::int64_t{500}}}); }},
        {"text update moves the key", [](Table& t) { t.update(3, {{kName, std::string("zed")}}); }},
        {"update of a field no tag reads", [](Table& t) { t.update(4, {{kBorn, Date{}}}); }},
        {"delete drops the record from the FOR tag only", [](Table& t) {
             t.setDeleted(7, true);
             t.setDeleted(8, true);
         }},
        {"recall takes it back", [](Table& t) { t.setDeleted(7, false); }},
        {"update of a deleted record", [](Table& t) { t.update(8, {{kId, std::int64_t{800}}}); }},
        {"unique key holder leaves its key: the next record takes it", [](Table& t) {
             t.update(1, {{kName, std::string("nobody")}});
         }},
        {"a lower record takes a unique key from its holder", [](Table& t) {
             t.update(2, {{kName, std::string("Zed")}});
         }},
        {"a candidate key set to the value it holds", [](Table& t) {
             t.update(4, {{kId, std::int64_t{4}}, {kQty, 9.0}});
         }},
        {"several fields at once", [](Table& t) {
             t.update(10, {{kId, std::int64_t{1000}}, {kName, std::string("Eve")}, {kQty, -42.0}});
         }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.apply(t);
        expectIndexTrue(t);
    }
}

TEST(IndexMaintainer, StructureChangesKeepTagsOrRefuse) {
    Fixture f;
    for (int i = 1; i <= 12; ++i) f.add(i, i % 2 ? "odd" : "even", 1990 + i, i);
    ASSERT_EQ(maintainerOf(*f.table), f.keep.front().get());
    IndexMaintainer& m = *maintainerOf(*f.table);

    // Fields a tag reads cannot be dropped or renamed; others can, and adding never matters.
    struct FieldCase {
        const char* field;
        bool removed;
        bool refused;
    };
    for (const FieldCase c : {FieldCase{"name", true, true}, FieldCase{"ID", true, true}, FieldCase{"name", false, false},
                              FieldCase{"nosuch", true, false}}) {
        SCOPED_TRACE(c.field);
        const auto check = [&] { m.checkFieldChange(c.field, c.removed); };
        if (c.refused)
            EXPECT_TRUE(raises(FoxError::VariableNotFound, check, "Index tag"));
        else
            EXPECT_NO_THROW(check());
    }
    EXPECT_TRUE(IndexMaintainer::addedFieldsNeedNothing());

    // Dropping a field a tag reads anyway: the maintainer lets go and the table refuses writes.
    EXPECT_THROW(f.table->dropField("born"), ProviderError);
    EXPECT_EQ(f.table->changeObserver(), nullptr);
    EXPECT_TRUE(raises(FoxError::IndexNotMaintained, [&] { f.table->append({}); }));
}

// Tags whose keys this engine cannot reproduce keep the table read-only, naming the tag.
TEST(IndexMaintainer, UnreproducibleTagRefusesWithItsName) {
    struct Case {
        const char* what;
        const char* key;
        std::uint16_t length;
        const char* expectInMessage;
    };
    const Case cases[] = {
        {"unknown function", "NOSUCHFN(name)", 20, "NOSUCHFN"},
        {"unknown field", "surname", 20, "surname"},
        {"key length disagrees", "name", 12, "12"},
        {"type known only per record", "IIF(id > 1, name, id)", 20, "no key type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        const TagDefinition good{"ID", "id", "", 4, KeyType::Integer}, bad{"BAD", c.key, "", c.length};
        auto table = createIndexedTable(dir / "t.dbf", peopleFields(), {good, bad});
        std::vector<std::unique_ptr<IndexMaintainer>> keep;
        const auto refusal = attachIndexMaintenance(*table, keep);
        ASSERT_TRUE(refusal);
        EXPECT_TRUE(keep.empty());
        EXPECT_EQ(refusal->code(), FoxError::IndexNotMaintained);
        EXPECT_NE(refusal->message().find("\"BAD\""), std::string::npos) << refusal->message();
        EXPECT_NE(refusal->message().find(c.expectInMessage), std::string::npos) << refusal->message();
        EXPECT_THROW(table->append({}), ProviderError);
        EXPECT_EQ(table->recordCount(), 0u);
    }
}

// Index writes failing part-way (a full disk) at every point of an append and an update: the change is
// refused, and the tags match the table again at once (remade from the table), or, when that cannot be
// written either, the maintainer lets go and the next attach repairs the index.
TEST(IndexMaintainer, WriteFailurePartWayLeavesNoTagHalfChanged) {
    int undone = 0, repaired = 0;
    for (int budget : {0, 1, 2, 3, 4, 6, 9, 12, 16, 20, 26, 32}) {
        SCOPED_TRACE(budget);
        Fixture f;
        for (int i = 1; i <= 20; ++i) f.add(i, "name " + std::to_string(i), 1980, i);
        IndexMaintainer& m = *f.keep.front();
        failAfterFileOperationsForTests(budget, true);
        bool failed = false;
        try {
            f.add(21, "new", 1999, 5);
            f.table->update(3, {{kId, std::int64_t{33}}, {kName, std::string("three")}});
        } catch (const ProviderError& e) {
            EXPECT_EQ(e.number(), 1705) << e.what();
            failed = true;
        }
        setFileSystem(nullptr);
        if (f.table->changeObserver() == &m) {
            expectIndexTrue(*f.table);
            undone += failed;
            continue;
        }
        EXPECT_TRUE(failed);
        f.keep.clear();
        ASSERT_FALSE(attachIndexMaintenance(*f.table, f.keep));
        expectIndexTrue(*f.table);
        ++repaired;
    }
    EXPECT_GT(undone + repaired, 0);
}

// Two users of a shared table take turns: each maintainer must notice the other's index writes (new
// pages, a new root) instead of writing over them from its stale copy of the tag headers.
TEST(IndexMaintainer, SharedUsersTakingTurnsKeepTheIndexWhole) {
    ScratchDir dir;
    createIndexedTable(dir / "t.dbf", peopleFields(), peopleTags()).reset();
    std::unique_ptr<Table> users[2] = {Table::open(dir / "t.dbf", OpenMode::Shared),
                                       Table::open(dir / "t.dbf", OpenMode::Shared)};
    std::vector<std::unique_ptr<IndexMaintainer>> keep;
    for (auto& user : users) ASSERT_FALSE(attachIndexMaintenance(*user, keep));
    for (int i = 1; i <= 400; ++i) {
        Table& t = *users[(i / 7) % 2];
        t.refresh();
        t.appendValues({std::int64_t{i}, "user name " + std::to_string(i % 50), Date{2450000 + i}, double(i)});
        if (i % 5 == 0) t.update(static_cast<std::uint32_t>(i / 2), {{kQty, double(-i)}});
    }
    users[0]->refresh();
    expectIndexTrue(*users[0]);
    keep.clear();
}

// A tag on a nullable field carries the null marker byte before the key: NULL sorts first.
TEST(IndexMaintainer, NullableFieldKeysCarryTheNullMarker) {
    DORVANE_NEEDS_CDX_CHECK();
    ScratchDir dir;
    auto table = createIndexedTable(dir / "n.dbf", {{"code", "", 'C', 6, 0, true}}, {{"CODE", "code", "", 7}});
    std::vector<std::unique_ptr<IndexMaintainer>> keep;
    const auto refusal = attachIndexMaintenance(*table, keep);
    ASSERT_FALSE(refusal) << refusal->message();
    table->appendValues({std::string("bb")});
    table->appendValues({Value{}});
    table->appendValues({std::string("aa")});
    table->update(1, {{0, Value{}}});
    auto cdx = index::CdxFile::open((dir / "n.cdx").string());
    const std::vector<KeyEntry> expected = {{std::string(7, '\0'), 1},
                                            {std::string(7, '\0'), 2},
                                            {std::string("\x80" "aa    "), 3}};
    EXPECT_EQ(cdx.entries("CODE"), expected);
    expectCheckerAccepts(table->path());
}

}  // namespace
}  // namespace dorvane::provider::indexing
