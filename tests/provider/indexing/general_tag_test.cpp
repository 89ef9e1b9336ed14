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
    std::size_t checked = 0;
    for (const char* name : {"general/fb2p_depto.dbf", "general/fb2p_dbf.dbf", "general/fb2p_free.dbf",
                             "foxprodb/calls.dbf", "foxprodb/contacts.dbf", "foxprodb/setup.dbf",
                             "foxprodb/types.dbf", "foxprodb/FOXPRO-DB-TEST.DBC"}) {
        SCOPED_TRACE(name);
        checked += expectTagsMatchRecords(*openTableWithLongNames(fs::path(DORVANE_FIXTURES) / name));
    }
    EXPECT_EQ(checked, 198u);
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
