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
#include "tests/support/raises.h"

namespace dorvane::provider::indexing::testing {

namespace fs = std::filesystem;

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "dorvane-indexing-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    const fs::path& path() const { return m_path; }
    fs::path operator/(const std::string& name) const { return m_path / name; }

private:
    fs::path m_path;
};

// Copies the fixture container with its member tables into `dir`.
inline void copyFixtureContainer(const fs::path& dir) {
    for (const auto& entry : fs::directory_iterator(fs::path(DORVANE_FIXTURES) / "foxprodb"))
        fs::copy_file(entry.path(), dir / entry.path().filename(), fs::copy_options::overwrite_existing);
}

struct CheckResult {
    int exitCode = -1;
    std::string output;
};

// Runs the independent checker on a table (a .dbc is checked against its .dcx).
inline CheckResult cdxCheck(const fs::path& table) {
    const auto run = ::dorvane::test::runCdxCheck(table);
    return CheckResult{run.exitCode, run.output};
}

// Judges a table's index files with the checker, where it is available (else they are checked from
// inside only).
inline void expectCheckerAccepts(const fs::path& table) {
    if (!::dorvane::test::cdxCheckAvailable()) return;
    const CheckResult check = cdxCheck(table);
    EXPECT_EQ(check.exitCode, 0) << check.output;
}

using ::dorvane::test::raises;

inline std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
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
