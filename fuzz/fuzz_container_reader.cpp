// libFuzzer target: a database container (.dbc and its .dct memo), read whole through the engine
// as the table it is. The input's first part becomes db.dbc, the rest db.dct.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dorvane::fuzz;
    const auto [container, memo] = splitInput(data, size);
    const auto& folder = scratchFolder();
    writeFile(folder / "db.dbc", container);
    writeFile(folder / "db.dct", memo);
    readWholeTable(folder / "db.dbc");
    return 0;
}
