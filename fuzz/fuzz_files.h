// Shared by the fuzz targets: one private scratch folder per process, the split of a fuzz input into
// the files of a table, and a reader that touches every record, field and memo of a table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace dorvane::fuzz {

// The scratch folder of this process (made on first use, removed at exit).
const std::filesystem::path& scratchFolder();

// An input is [4 bytes LE: length of the first file][first file][second file]. When the length
// does not fit, the whole input is the first file and the second is empty.
struct SplitInput {
    std::string_view first;
    std::string_view second;
};
SplitInput splitInput(const std::uint8_t* data, std::size_t size);

// Writes `bytes` to `path`, replacing it.
void writeFile(const std::filesystem::path& path, std::string_view bytes);

// Opens the table read-only and reads every record's deletion flag and values (memos included),
// stopping at the first record that raises. Engine errors (ProviderError) are expected; anything
// else escapes and counts as a crash.
void readWholeTable(const std::filesystem::path& path);

}  // namespace dorvane::fuzz
