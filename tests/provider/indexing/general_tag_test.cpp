// Tags written by FoxPro (plain and GENERAL, in free tables and a container): each key expression compiles
// to the key length FoxPro gave the tag, and the engine's keys for the records equal the stored ones.
#include <gtest/gtest.h>

#include <algorithm>

#include "indexing_support.h"
#include "provider/format/container.h"
#include "provider/indexing/index_maintainer.h"
#include "provider/indexing/tag_key.h"

namespace dorvane::provider::indexing {
namespace {

using namespace testing;

TEST(FoxProTags, EveryStoredKeyIsRebuiltExactly) {
    int checked = 0;
    for (const char* name : {"general/fb2p_depto.dbf", "general/fb2p_dbf.dbf", "general/fb2p_free.dbf",
                             "foxprodb/calls.dbf", "foxprodb/contacts.dbf", "foxprodb/setup.dbf",
                             "foxprodb/types.dbf", "foxprodb/FOXPRO-DB-TEST.DBC"}) {
        SCOPED_TRACE(name);
        auto table = openTableWithLongNames(fs::path(DORVANE_FIXTURES) / name);
        auto cdx = index::CdxFile::open(table->structuralIndexPath()->string());
        for (const index::TagInfo& info : std::vector<index::TagInfo>(cdx.tags())) {
            if (info.header.binary()) continue;  // bitmaps, not keys
            SCOPED_TRACE(info.name);
            const TagKey tag = TagKey::prepare(*table, info, name);
            cdx.setKeyType(info.name, tag.keyType());
            std::vector<index::KeyEntry> expected;
            RecordRow row(table->fields());
            for (std::uint32_t recno = 1; recno <= table->recordCount(); ++recno) {
                const std::vector<Value> values = table->record(recno);
                row.set(&values, recno, table->isDeleted(recno));
                if (auto key = tag.keyOf(row)) expected.push_back({*key, recno});
            }
            std::sort(expected.begin(), expected.end(), index::entryLess);
            EXPECT_EQ(cdx.entries(info.name), expected);
            checked += static_cast<int>(expected.size());
        }
    }
    EXPECT_EQ(checked, 198);
}

// Rebuilding writes GENERAL tags FoxPro's way: the checker agrees and the keys are those FoxPro wrote.
TEST(GeneralTags, RebuiltTagsEqualFoxPros) {
    DORVANE_NEEDS_CDX_CHECK();
    ScratchDir dir;
    for (const char* ext : {".dbf", ".cdx"})
        fs::copy_file(fs::path(DORVANE_FIXTURES) / "general" / (std::string("fb2p_depto") + ext),
                      dir / (std::string("fb2p_depto") + ext));
    auto table = Table::open(dir / "fb2p_depto.dbf", OpenMode::Exclusive);
    auto maintainer = IndexMaintainer::attach(*table);
    maintainer->rebuild();
    EXPECT_EQ(maintainer->indexFile().entries("DESCRIP"),
              index::CdxFile::open((fs::path(DORVANE_FIXTURES) / "general/fb2p_depto.cdx").string())
                  .entries("DESCRIP"));
    expectCheckerAccepts(dir / "fb2p_depto.dbf");
}

}  // namespace
}  // namespace dorvane::provider::indexing
