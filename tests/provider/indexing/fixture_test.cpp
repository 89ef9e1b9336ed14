// Index maintenance on copies of real FoxPro files: the member tables of the fixture container with
// their .cdx, and the container itself with its .dcx, changed through the Table and Container APIs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>

#include "indexing_support.h"
#include "provider/error.h"
#include "provider/format/codepage.h"
#include "provider/format/container.h"
#include "provider/index/key_encoding.h"
#include "provider/indexing/attach.h"

namespace dorvane::provider::indexing {
namespace {

using namespace testing;
using index::KeyEntry;

struct MemberCase {
    const char* table;
    std::function<void(Table&)> changes;
    // A change that must be refused by the candidate tag named `candidate`.
    std::function<void(Table&)> duplicate;
    const char* candidate;
};

int fieldOf(Table& t, const char* name) {
    const int index = t.fieldIndex(name);
    if (index < 0) throw std::runtime_error(std::string("no field ") + name);
    return index;
}

TEST(FixtureIndexes, MemberTablesStayTrueThroughChanges) {
    DORVANE_NEEDS_CDX_CHECK();
    const std::vector<MemberCase> cases = {
        {"calls",
         [](Table& t) {
             const int call = fieldOf(t, "call_id"), contact = fieldOf(t, "contact_id");
             for (int i = 0; i < 30; ++i)
                 t.append({{call, std::int64_t{100 + i}}, {contact, std::int64_t{i % 4}},
                           {fieldOf(t, "subject"), std::string("call ") + std::to_string(i)}});
             t.update(1, {{contact, std::int64_t{77}}});
             t.update(2, {{call, std::int64_t{999}}, {contact, std::int64_t{-5}}});
             t.setDeleted(3, true);
             t.setDeleted(4, true);
             t.setDeleted(3, false);
         },
         [](Table& t) { t.append({{fieldOf(t, "call_id"), std::int64_t{999}}}); }, "CALL_ID"},
        {"contacts",
         [](Table& t) {
             const int type = fieldOf(t, "contact_type_id");
             t.update(1, {{type, std::int64_t{2}}});
             t.append({{fieldOf(t, "contact_id"), std::int64_t{50}}, {type, std::int64_t{1}},
                       {fieldOf(t, "first_name"), std::string("Zoë")}});
         },
         [](Table& t) { t.update(2, {{fieldOf(t, "contact_id"), std::int64_t{50}}}); }, "CONTACT_ID"},
        {"setup",
         [](Table& t) {
             const int name = fieldOf(t, "key_name");
             t.append({{name, std::string("Österreich")}, {fieldOf(t, "value"), std::int64_t{3}}});
             t.update(1, {{name, std::string("renamed key")}});
         },
         [](Table& t) { t.append({{fieldOf(t, "key_name"), std::string("renamed key")}}); }, "KEY_NAME"},
        {"types",
         [](Table& t) { t.append({{fieldOf(t, "contact_type_id"), std::int64_t{3}}}); },
         [](Table& t) { t.update(1, {{fieldOf(t, "contact_type_id"), std::int64_t{3}}}); }, "TYPE_ID"},
    };
    ScratchDir dir;
    copyFixtureContainer(dir.path());
    for (const MemberCase& c : cases) {
        SCOPED_TRACE(c.table);
        const fs::path dbf = dir / (std::string(c.table) + ".dbf");
        auto table = openTableWithLongNames(dbf, OpenMode::Exclusive);
        std::vector<std::unique_ptr<IndexMaintainer>> keep;
        const auto refusal = attachIndexMaintenance(*table, keep);
        ASSERT_FALSE(refusal) << refusal->message();
        c.changes(*table);
        expectTagsMatchRecords(*table);
        expectCheckerAccepts(table->path());

        const fs::path cdx = *table->structuralIndexPath();
        const std::string dbfBefore = readBytes(dbf), cdxBefore = readBytes(cdx);
        EXPECT_TRUE(raises(FoxError::UniquenessViolated, [&] { c.duplicate(*table); },
                           std::string("Uniqueness of index \"") + c.candidate + "\" is violated."));
        EXPECT_EQ(readBytes(dbf), dbfBefore);
        EXPECT_EQ(readBytes(cdx), cdxBefore);
        keep.clear();
    }
}

TEST(FixtureIndexes, ContainerIndexFollowsObjectChanges) {
    ScratchDir dir;
    copyFixtureContainer(dir.path());
    const fs::path extra = dir / "extra.dbf";
    Table::create(extra, {{"alpha", "", 'C', 5}, {"beta", "", 'I', 4}}).reset();

    auto container = Container::open(dir / "FOXPRO-DB-TEST.DBC", OpenMode::Exclusive);
    std::vector<std::unique_ptr<IndexMaintainer>> keep;
    const auto refusal = attachIndexMaintenance(container->dbcTable(), keep);
    ASSERT_FALSE(refusal) << refusal->message();

    struct Step {
        const char* what;
        std::function<void(Container&)> apply;
    };
    const std::vector<Step> steps = {
        {"add a table", [&](Container& c) { c.addTable("Extra Table", extra, {"alpha", "beta"}); }},
        {"add a field", [](Container& c) { c.addField("Extra Table", "gamma"); }},
        {"rename a field", [](Container& c) { c.renameField("Extra Table", "gamma", "Delta"); }},
        {"rename a fixture field", [](Container& c) { c.renameField("contacts", "dear", "Salutation"); }},
        {"remove a field", [](Container& c) { c.removeField("Extra Table", "Delta"); }},
        {"remove the table", [](Container& c) { c.removeTable("Extra Table"); }},
        {"add it again", [&](Container& c) { c.addTable("extra", extra, {"alpha", "beta"}); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.apply(*container);
        expectTagsMatchRecords(container->dbcTable());
        expectCheckerAccepts(container->dbcTable().path());
    }
    keep.clear();
}

}  // namespace
}  // namespace dorvane::provider::indexing
