// Helpers for the index maintenance tests: scratch folders, fixture copies, the independent index
// checker, and tables created with a structural index.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "provider/format/table.h"
#include "provider/index/cdx_file.h"
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
