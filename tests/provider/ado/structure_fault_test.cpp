// A file layer that fails the Nth operation, for every N, of an ALTER (add, rename, drop a field of an
// indexed table with memos) and of an index rebuild: afterwards the table and its index open, each
// record holds its old values in the old or the new structure, and the index checker agrees.
#include <gtest/gtest.h>

#include <functional>

#include "provider/ado/connection.h"
#include "provider/error.h"
#include "provider/indexing/attach.h"
#include "tests/provider/indexing/indexing_support.h"
#include "tests/support/fault_file_system.h"

using namespace dorvane::provider;
using namespace dorvane::provider::indexing::testing;

namespace {

const std::vector<std::string> kFields = {"ID", "NAME", "NOTES", "QTY"};

void makeTable(const fs::path& dbf) {
    std::vector<index::TagDefinition> tags(2);
    tags[0] = {"ID", "id", "", 4, index::KeyType::Integer, false, true};
    tags[1] = {"NAME", "UPPER(name)", "", 20, index::KeyType::Character};
    auto table = createIndexedTable(
        dbf, {{"id", "", 'I', 4}, {"name", "", 'C', 20}, {"notes", "", 'M', 4}, {"qty", "", 'N', 8, 2}},
        tags);
    std::vector<std::unique_ptr<indexing::IndexMaintainer>> keep;
    if (indexing::attachIndexMaintenance(*table, keep)) throw std::runtime_error("cannot attach");
    for (int i = 1; i <= 6; ++i)  // memos longer than a block
        table->appendValues(
            {std::int64_t{i}, "name " + std::to_string(i), std::string(70 + i, 'a'), i * 1.5});
}

void alter(const fs::path& dir, const std::string& statement) {
    Connection connection;
    connection.Open("Provider=vfpoledb.1;Data Source=" + dir.string() + ";mode=share exclusive;");
    connection.Execute(statement);
    connection.Close();
}

void rebuild(const fs::path& dir) {
    auto table = Table::open(dir / "t.dbf", OpenMode::Exclusive);
    std::vector<std::unique_ptr<indexing::IndexMaintainer>> keep;
    if (auto refusal = indexing::attachIndexMaintenance(*table, keep)) throw *refusal;
    keep.front()->rebuild();
}

struct Case {
    const char* name;
    std::function<void(const fs::path&)> change;
    std::vector<std::string> newFields;
};

// The table opens with its index kept, in the old or the new structure, each record's values as in
// `original` (a renamed field under its new name, an added one empty).
void expectWhole(const fs::path& dir, Table& original, const Case& c, bool completed) {
    auto table = Table::open(dir / "t.dbf", OpenMode::Exclusive);
    std::vector<std::unique_ptr<indexing::IndexMaintainer>> keep;
    const auto refusal = indexing::attachIndexMaintenance(*table, keep);
    ASSERT_FALSE(refusal) << refusal->message();
    std::vector<std::string> names;
    for (const Field& f : table->fields()) names.push_back(f.displayName());
    ASSERT_TRUE(names == kFields || names == c.newFields) << names.size() << " fields";
    if (completed) EXPECT_EQ(names, c.newFields);
    ASSERT_EQ(table->recordCount(), original.recordCount());
    for (std::uint32_t r = 1; r <= table->recordCount(); ++r)
        for (int f = 0; f < table->fieldCount(); ++f) {
            const int from = original.fieldIndex(names[f] == "REMARKS" ? "NOTES" : names[f]);
            EXPECT_EQ(table->value(r, f), from < 0 ? Value() : original.value(r, from)) << names[f] << r;
        }
    keep.clear();
    table.reset();
    if (!dorvane::test::cdxCheckAvailable()) return;
    const auto check = ::dorvane::test::runCdxCheck(dir / "t.dbf");
    EXPECT_EQ(check.exitCode, 0) << check.output;
}

const Case kCases[] = {
    {"AddField",
     [](const fs::path& d) { alter(d, "ALTER TABLE t ADD COLUMN extra C(5) NULL"); },
     {"ID", "NAME", "NOTES", "QTY", "EXTRA"}},
    {"RenameMemoField",
     [](const fs::path& d) { alter(d, "ALTER TABLE t RENAME COLUMN notes TO remarks"); },
     {"ID", "NAME", "REMARKS", "QTY"}},
    {"DropField",
     [](const fs::path& d) { alter(d, "ALTER TABLE t DROP COLUMN qty"); },
     {"ID", "NAME", "NOTES"}},
    {"RebuildIndex", rebuild, kFields},
};

class StructureFault : public ::testing::TestWithParam<Case> {};

TEST_P(StructureFault, FailingAnyFileOperationLeavesTableAndIndexWhole) {
    const Case& c = GetParam();
    ScratchDir original;
    makeTable(original / "t.dbf");
    const auto originalTable = Table::open(original / "t.dbf");
    bool injected = true;
    long failAt = 0;
    int reported = 0;
    for (; injected && failAt < 500; ++failAt) {
        SCOPED_TRACE("failing operation " + std::to_string(failAt));
        ScratchDir dir;
        for (const char* name : {"t.dbf", "t.fpt", "t.cdx"}) fs::copy_file(original / name, dir / name);
        bool failed = false;
        failAfterFileOperationsForTests(failAt);
        try {
            c.change(dir.path());
        } catch (const ProviderError&) {
            failed = true;
        }
        injected = faultFileSystem().injected;
        reported += failed;
        setFileSystem(nullptr);
        EXPECT_TRUE(injected || !failed) << "failed with no failure injected";
        expectWhole(dir.path(), *originalTable, c, !injected);
    }
    EXPECT_GT(failAt, 3) << "too few operations to be the whole change";
    EXPECT_GT(reported, 0) << "no failure reached the caller";
    std::printf("%s: %ld operations failed one by one\n", c.name, failAt - 1);
}

INSTANTIATE_TEST_SUITE_P(Change, StructureFault, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
