#include "index_test_support.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "provider/index/byte_io.h"
#include "provider/index/tree_walk.h"

namespace dorvane::provider::index::test {
namespace fs = std::filesystem;

MiniTable MiniTable::load(const fs::path& dbf) {
    const std::string bytes = readBytes(dbf);
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    MiniTable t;
    const std::uint32_t count = readLe(b + 4, 4);
    const std::uint32_t headerLength = readLe(b + 8, 2);
    const std::uint32_t recordLength = readLe(b + 10, 2);
    for (std::size_t off = 32; off + 32 <= headerLength && b[off] != 0x0D; off += 32) {
        Field f;
        f.name.assign(reinterpret_cast<const char*>(b + off),
                      strnlen(reinterpret_cast<const char*>(b + off), 11));
        for (char& c : f.name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        f.type = static_cast<char>(b[off + 11]);
        f.offset = readLe(b + off + 12, 4);
        f.length = b[off + 16];
        t.fields.push_back(f);
    }
    t.headerLength = headerLength;
    t.recordLength = recordLength;
    for (std::uint32_t i = 0; i < count; ++i)
        t.records.push_back(bytes.substr(headerLength + i * recordLength, recordLength));
    return t;
}

std::string MiniTable::raw(std::size_t recno, const std::string& field) const {
    for (const Field& f : fields)
        if (f.name == field) return records[recno - 1].substr(f.offset, f.length);
    throw std::runtime_error("no field " + field);
}

std::int32_t MiniTable::integer(std::size_t recno, const std::string& field) const {
    const std::string r = raw(recno, field);
    return static_cast<std::int32_t>(readLe(reinterpret_cast<const unsigned char*>(r.data()), 4));
}

fs::path fixtureDir() {
    return fs::path(DORVANE_FIXTURES);
}

fs::path tempDir(const std::string& label) {
    static std::mt19937 rng(std::random_device{}());
    // Memory-backed when there is one: the edits fsync after every change.
    std::error_code ec;
    const fs::path root = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    const fs::path dir = root / ("dorvane-index-" + label + "-" + std::to_string(rng()));
    fs::create_directories(dir);
    return dir;
}

fs::path copyFoxproDb(const std::string& label) {
    const fs::path dir = tempDir(label);
    for (const auto& e : fs::directory_iterator(fixtureDir() / "foxprodb")) {
        fs::copy_file(e.path(), dir / e.path().filename());
        fs::permissions(dir / e.path().filename(), fs::perms::owner_read | fs::perms::owner_write);
    }
    return dir;
}

namespace {

struct Checker {
    const PageFile& file;
    NodeFormat format;
    std::vector<std::string> problems;
    std::map<int, std::vector<Node>> levels;  // depth -> nodes in tree order
    std::set<int> leafDepths;
    std::set<std::uint32_t>* used;

    void fail(const std::string& what, std::uint32_t offset) {
        problems.push_back(what + " (page " + std::to_string(offset) + ")");
    }

    // Returns the last entry of the subtree.
    std::optional<KeyEntry> visit(std::uint32_t offset, int depth, bool isRoot) {
        if (depth > kMaxTreeDepth || !used->insert(offset).second) {
            fail("page reached twice or tree too deep", offset);
            return std::nullopt;
        }
        const Node n = loadNode(file, offset, format);
        levels[depth].push_back(n);
        if (!nodeFits(n, format)) fail("node over capacity", offset);
        if (n.root != isRoot) fail("root flag wrong", offset);
        if (n.keys.empty() && !(isRoot && n.leaf)) fail("empty node", offset);
        if (n.leaf) {
            leafDepths.insert(depth);
            return n.keys.empty() ? std::nullopt : std::optional<KeyEntry>(n.keys.back());
        }
        for (std::size_t i = 0; i < n.keys.size(); ++i) {
            const auto last = visit(n.children[i], depth + 1, false);
            if (!last || !(*last == n.keys[i])) fail("interior key is not its child's last key", offset);
        }
        return n.keys.empty() ? std::nullopt : std::optional<KeyEntry>(n.keys.back());
    }

    void checkLevels() {
        if (leafDepths.size() > 1) problems.push_back("leaves at different depths");
        for (const auto& [depth, nodes] : levels) {
            for (std::size_t i = 0; i < nodes.size(); ++i) {
                const std::uint32_t left = i == 0 ? kNoPage : nodes[i - 1].offset;
                const std::uint32_t right = i + 1 == nodes.size() ? kNoPage : nodes[i + 1].offset;
                if (nodes[i].left != left || nodes[i].right != right)
                    fail("sibling links wrong", nodes[i].offset);
            }
        }
        const KeyEntry* previous = nullptr;
        if (levels.empty()) return;
        for (const Node& n : levels.rbegin()->second)
            for (const KeyEntry& e : n.keys) {
                if (previous && !entryLess(*previous, e)) fail("entries out of order", n.offset);
                previous = &e;
            }
    }
};

}  // namespace

std::vector<std::string> checkInvariants(const CdxFile& cdx, const std::string& tagName) {
    const PageFile file(cdx.path(), false);
    std::set<std::uint32_t> used;
    std::vector<std::string> problems;
    // Pages of every tree of the file, to find free-list pages still in use.
    for (const TagInfo& t : cdx.tags()) {
        Checker c{file, {t.keyLength(), padByteFor(t.keyType)}, {}, {}, {}, &used};
        c.visit(t.header.root, 0, true);
        if (t.name == tagName) {
            c.checkLevels();
            problems = c.problems;
        }
    }
    std::array<unsigned char, 4> word{};
    file.read(kHdrFreeList, word.data(), 4);
    std::set<std::uint32_t> seenFree;
    for (std::uint32_t p = readLe(word.data(), 4); p != 0 && p != kNoPage; p = readLe(word.data(), 4)) {
        if (used.contains(p)) problems.push_back("free page in use: " + std::to_string(p));
        if (!seenFree.insert(p).second) {
            problems.push_back("free list loops");
            break;
        }
        file.read(p, word.data(), 4);
    }
    return problems;
}

}  // namespace dorvane::provider::index::test
