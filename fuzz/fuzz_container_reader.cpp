// libFuzzer target: a database container (.dbc and its .dct memo) read whole through the engine,
// first as the table it is, then as a container listing its tables, fields and views.
// The input's first part becomes db.dbc, the rest db.dct.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_files.h"
#include "provider/error.h"
#include "provider/format/container.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dorvane::fuzz;
    using namespace dorvane::provider;
    const auto [container, memo] = splitInput(data, size);
    const auto& folder = scratchFolder();
    writeFile(folder / "db.dbc", container);
    writeFile(folder / "db.dct", memo);
    readWholeTable(folder / "db.dbc");
    try {
        auto dbc = Container::open(folder / "db.dbc");
        std::size_t names = 0;
        for (const ContainerTable& table : dbc->tables()) {
            names += table.name.size() + table.relativePath.size();
            for (const ContainerField& field : table.fields) names += field.name.size();
            if (dbc->findTable(table.name) == nullptr) __builtin_trap();  // a listed table must be found
            // Member tables are opened only inside the scratch folder (none exist there, so this
            // exercises the lookup and the missing-file path, never files elsewhere).
            if (table.path.parent_path() == folder) {
                try {
                    dbc->openTable(table.name);
                } catch (const ProviderError&) {
                }
            }
        }
        for (const ContainerView& view : dbc->views()) names += view.name.size() + view.sql.size();
        (void)names;
    } catch (const ProviderError&) {
    }
    return 0;
}
