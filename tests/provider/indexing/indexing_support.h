// Helpers for the index maintenance tests: scratch folders, fixture copies, the independent index
// checker, and tables created with a structural index.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "provider/format/table.h"
#include "provider/index/cdx_file.h"
#include "provider/indexing/record_row.h"
#include "provider/indexing/tag_key.h"
#include "tests/support/cdx_check.h"
#include "tests/support/files.h"
#include "tests/support/raises.h"

namespace dorvane::provider::indexing::testing {

namespace fs = std::filesystem;

using ScratchDir = ::dorvane::test::TempDir;
using ::dorvane::test::readBytes;

// Copies the fixture container with its member tables into `dir`.
inline void copyFixtureContainer(const fs::path& dir) {
    for (const auto& entry : fs::directory_iterator(fs::path(DORVANE_FIXTURES) / "foxprodb"))
        fs::copy_file(entry.path(), dir / entry.path().filename(), fs::copy_options::overwrite_existing);
}

// Judges a table's index files with the checker, where it is available (else they are checked from
// inside only).
inline void expectCheckerAccepts(const fs::path& table) {
    if (!::dorvane::test::cdxCheckAvailable()) return;
    const auto check = ::dorvane::test::runCdxCheck(table);
    EXPECT_EQ(check.exitCode, 0) << check.output;
}

using ::dorvane::test::raises;

// Every tag of the table's structural index holds exactly the keys its expressions give the records, in
// key order (a unique tag each key once, for its first record); returns how many entries were compared.
inline std::size_t expectTagsMatchRecords(Table& table) {
    auto cdx = index::CdxFile::open(table.structuralIndexPath()->string());
    std::size_t compared = 0;
    for (const index::TagInfo& info : std::vector<index::TagInfo>(cdx.tags())) {
        if (info.header.binary()) continue;  // bitmaps, not keys
        SCOPED_TRACE(info.name);
        const TagKey tag = TagKey::prepare(table, info, info.name);
        cdx.setKeyType(info.name, tag.keyType());
        std::vector<index::KeyEntry> expected;
        std::set<std::string> seen;
        RecordRow row(table.fields());
        for (std::uint32_t recno = 1; recno <= table.recordCount(); ++recno) {
            const std::vector<Value> values = table.record(recno);
            row.set(&values, recno, table.isDeleted(recno));
            const auto key = tag.keyOf(row);
            if (key && (!tag.unique() || seen.insert(*key).second)) expected.push_back({*key, recno});
        }
        std::sort(expected.begin(), expected.end(), index::entryLess);
        EXPECT_EQ(cdx.entries(info.name), expected);
        compared += expected.size();
    }
    return compared;
}

// Creates a VFP table with a structural index holding `tags` (entries empty), and opens it exclusively.
inline std::unique_ptr<Table> createIndexedTable(const fs::path& dbf, const std::vector<FieldSpec>& fields,
                                                 const std::vector<index::TagDefinition>& tags) {
    Table::create(dbf, fields).reset();
    {
        std::fstream file(dbf, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(28);  // table flags: 0x01 = has a structural index
        file.put(static_cast<char>(kTableFlagStructuralIndex));
    }
    std::vector<index::TagContent> contents;
    for (const auto& tag : tags) contents.push_back(index::TagContent{tag, {}, std::nullopt});
    fs::path cdx = dbf;
    cdx.replace_extension(".cdx");
    index::CdxFile::create(cdx.string(), contents);
    return Table::open(dbf, OpenMode::Exclusive);
}

}  // namespace dorvane::provider::indexing::testing
