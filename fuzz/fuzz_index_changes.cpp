// libFuzzer target: a compound index (.cdx) from the input, opened for writing, every tag read, then
// record changes made on it as the index maintainer makes them (inserts, removals, key changes) and
// every tag read again. Hostile pages must end in ProviderError, never a crash, a hang or a write
// outside the file. The input is [cdx bytes][change script]: each change takes 4 script bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_files.h"
#include "provider/error.h"
#include "provider/index/cdx_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dorvane::fuzz;
    using namespace dorvane::provider;
    using namespace dorvane::provider::index;
    const auto [indexBytes, script] = splitInput(data, size);
    const auto path = scratchFolder() / "t.cdx";
    writeFile(path, indexBytes);
    try {
        CdxFile cdx = CdxFile::open(path.string(), true);
        std::vector<std::string> names;
        for (const TagInfo& tag : cdx.tags()) {
            names.push_back(tag.name);
            // Four-byte keys as integers (0x00 pad), others as text (blank pad): both pads get exercised.
            cdx.setKeyType(tag.name, tag.keyLength() == 4 ? KeyType::Integer : KeyType::Character);
            (void)cdx.entries(tag.name);
        }
        if (names.empty()) return 0;
        for (std::size_t at = 0; at + 4 <= script.size(); at += 4) {
            const auto op = static_cast<unsigned char>(script[at]);
            const std::string& name = names[op % names.size()];
            const std::uint16_t length = cdx.tag(name).keyLength();
            const std::string key(length, script[at + 1]);
            const std::string other(length, script[at + 2]);
            const auto recno = static_cast<std::uint32_t>(static_cast<unsigned char>(script[at + 3]) + 1);
            try {
                switch ((op >> 4) % 3) {
                    case 0: cdx.insert(name, key, recno); break;
                    case 1: cdx.remove(name, key, recno); break;
                    default: cdx.update(name, key, other, recno); break;
                }
            } catch (const ProviderError&) {
            }
        }
        for (const std::string& name : names) (void)cdx.entries(name);
    } catch (const ProviderError&) {
    }
    return 0;
}
