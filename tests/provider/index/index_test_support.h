// Test helpers for the index tests: a tiny read-only DBF reader, temporary copies of the fixtures,
// the B-tree invariants checker and the cdx-check runner.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "provider/index/cdx_file.h"
#include "tests/support/cdx_check.h"
#include "tests/support/files.h"
#include "tests/support/raises.h"

namespace dorvane::provider::index::test {

using ::dorvane::test::raises;
using ::dorvane::test::readBytes;

// Just enough of a DBF to know each record's deletion flag and raw field bytes.
struct MiniTable {
    struct Field {
        std::string name;  // lower case
        char type = 'C';
        std::size_t offset = 0;
        std::size_t length = 0;
    };
    std::vector<Field> fields;
    std::vector<std::string> records;  // raw record bytes, deletion flag first
    std::size_t headerLength = 0;
    std::size_t recordLength = 0;

    static MiniTable load(const std::filesystem::path& dbf);
    bool deleted(std::size_t recno) const { return records[recno - 1][0] == '*'; }
    std::string raw(std::size_t recno, const std::string& field) const;
    std::int32_t integer(std::size_t recno, const std::string& field) const;
};

std::filesystem::path fixtureDir();
// A fresh, empty temporary folder.
std::filesystem::path tempDir(const std::string& label);
// A fresh temporary folder holding a copy of the fixtures' foxprodb folder (writable files).
std::filesystem::path copyFoxproDb(const std::string& label);

// Checks the whole B-tree of a tag and the file's free list; returns the problems found (empty = sound).
// Checked: node sizes within a page, no empty node but an empty root leaf, all leaves at one depth,
// sibling links both ways in tree order on every level, ascending entries along the leaves, each
// interior entry equal to its child's last entry, root flag only on the root, free pages unused.
std::vector<std::string> checkInvariants(const CdxFile& file, const std::string& tagName);

}  // namespace dorvane::provider::index::test
