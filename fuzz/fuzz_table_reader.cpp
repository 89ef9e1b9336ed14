// libFuzzer target: a free table and its memo file, read whole through the engine.
// The input's first part becomes t.dbf, the rest the memo file (t.fpt, and t.dbt for dBASE tables).
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dorvane::fuzz;
    const auto [table, memo] = splitInput(data, size);
    const auto& folder = scratchFolder();
    writeFile(folder / "t.dbf", table);
    writeFile(folder / "t.fpt", memo);
    writeFile(folder / "t.dbt", memo);
    readWholeTable(folder / "t.dbf");
    return 0;
}
