// libFuzzer target: changes to a hostile table. The fuzzed table and memo (split as for
// fuzz_table_reader) are opened exclusively; a blank record and a copy of the first record are
// appended, the first record is rewritten with its own values and its deletion flag toggled, a
// field is added; then the table must still open and read whole.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_files.h"
#include "provider/error.h"
#include "provider/format/table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dorvane::fuzz;
    using namespace dorvane::provider;
    const auto [tableBytes, memo] = splitInput(data, size);
    const auto& folder = scratchFolder();
    writeFile(folder / "w.dbf", tableBytes);
    writeFile(folder / "w.fpt", memo);
    writeFile(folder / "w.dbt", memo);
    try {
        auto table = Table::open(folder / "w.dbf", OpenMode::Exclusive);
        const auto step = [](auto&& change) {
            try {
                change();
            } catch (const ProviderError&) {
            }
        };
        step([&] { table->append(); });
        if (table->recordCount() > 0) {
            std::vector<Value> first;
            step([&] { first = table->record(1); });
            if (!first.empty()) {
                step([&] { table->appendValues(first); });
                FieldAssignments same;
                for (int f = 0; f < static_cast<int>(first.size()); ++f) same.emplace_back(f, first[f]);
                step([&] { table->update(1, same); });
            }
            step([&] { table->setDeleted(1, !table->isDeleted(1)); });
        }
        FieldSpec extra;
        extra.name = "ZZFUZZ";
        extra.type = 'C';
        extra.width = 3;
        step([&] { table->addField(extra); });
    } catch (const ProviderError&) {
    }
    readWholeTable(folder / "w.dbf");
    return 0;
}
