#include "fuzz/fuzz_files.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "provider/error.h"
#include "provider/format/table.h"

namespace dorvane::fuzz {

namespace fs = std::filesystem;

const fs::path& scratchFolder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "dorvane-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        return fs::path(pattern);
    }();
    static const struct Cleanup {
        ~Cleanup() {
            std::error_code ec;
            fs::remove_all(folder, ec);
        }
    } cleanup;
    return folder;
}

SplitInput splitInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    if (size < 4) return {all, {}};
    const std::size_t firstLength =
        static_cast<std::size_t>(data[0]) | (static_cast<std::size_t>(data[1]) << 8) |
        (static_cast<std::size_t>(data[2]) << 16) | (static_cast<std::size_t>(data[3]) << 24);
    if (firstLength > size - 4) return {all, {}};
    return {all.substr(4, firstLength), all.substr(4 + firstLength)};
}

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void readWholeTable(const fs::path& path) {
    using namespace dorvane::provider;
    std::unique_ptr<Table> table;
    try {
        table = Table::open(path, OpenMode::ReadOnly);
    } catch (const ProviderError&) {
        return;
    }
    std::vector<Value> values;
    for (std::uint32_t recno = 1; recno <= table->recordCount(); ++recno) {
        try {
            table->isDeleted(recno);
            table->readRecord(recno, values);
            for (int field = 0; field < table->fieldCount(); ++field) table->value(recno, field);
        } catch (const ProviderError&) {
            break;
        }
    }
}

}  // namespace dorvane::fuzz
