#include "provider/index/tree_layout.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "provider/byte_order.h"

namespace dorvane::provider::index {
namespace {

std::uint64_t load64(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Pad bytes at the end of a key (dropped by leaf compression).
std::size_t trailingPad(const unsigned char* key, std::size_t length, unsigned char pad) {
    const std::uint64_t padWord = 0x0101010101010101ull * pad;
    std::size_t n = 0;
    while (n + 8 <= length && load64(key + length - n - 8) == padWord) n += 8;
    while (n < length && key[length - 1 - n] == pad) ++n;
    return n;
}

// Leading bytes two keys share.
std::size_t sharedPrefix(const unsigned char* a, const unsigned char* b, std::size_t length) {
    std::size_t n = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; n + 8 <= length; n += 8)
            if (const std::uint64_t diff = load64(a + n) ^ load64(b + n))
                return n + std::countr_zero(diff) / 8;
    }
    while (n < length && a[n] == b[n]) ++n;
    return n;
}

// Bit widths of a leaf's entries: record number, then duplicate and trailing counts; bytes per entry.
struct LeafWidths {
    int recBits = 0;
    int countBits = 0;  // duplicate and trailing counts alike
    int entrySize = 0;
};

LeafWidths widthsFor(std::size_t keyLength, std::uint32_t maxRecno) {
    LeafWidths w;
    w.countBits = static_cast<int>(std::bit_width(keyLength));
    const int need = std::max(1, static_cast<int>(std::bit_width(maxRecno))) + 2 * w.countBits;
    w.entrySize = (need + 7) / 8;
    w.recBits = std::min(32, w.entrySize * 8 - 2 * w.countBits);
    return w;
}

// One entry waiting for its leaf to be written.
struct LeafEntry {
    const unsigned char* key;
    std::uint32_t recno;
    std::uint16_t dup;
    std::uint16_t trail;
};

// The last entry of a node (the key its parent carries) and the node's page.
struct NodeEnd {
    std::uint32_t entry;  // index into the keys
    std::uint32_t page;
};

class TreeWriter {
public:
    TreeWriter(const FlatKeys& keys, const NodeFormat& format) : m_keys(keys), m_format(format) {}

    TreePages& tree() { return m_tree; }

    // Room for the pages `entries` entries can take at most, so the pages never move while growing
    // (memory not written to is not taken from the system).
    void reserve(std::size_t entries, std::size_t fill) {
        const std::size_t widest = m_format.keyLength + 8u;  // key bytes and entry bits of one entry
        const std::size_t leaves = entries * widest / (fill - widest) + 2;
        m_tree.pages.reserve((leaves + leaves / 2 + 2) * kPageSize);
    }

    // Appends a page linked after the level's previous page (`previous`, or none) and returns it.
    unsigned char* newPage(const NodeEnd* previous, std::size_t& index) {
        index = m_tree.count();
        m_tree.pages.resize(m_tree.pages.size() + kPageSize, '\0');
        unsigned char* page = pageAt(index);
        const auto offset = static_cast<std::uint32_t>(index * kPageSize);
        writeLe(page + kNodeLeft, previous ? previous->page * static_cast<std::uint32_t>(kPageSize) : kNoPage,
                4);
        writeLe(page + kNodeRight, kNoPage, 4);
        if (previous) writeLe(pageAt(previous->page) + kNodeRight, offset, 4);
        return page;
    }

    unsigned char* pageAt(std::size_t index) {
        return reinterpret_cast<unsigned char*>(m_tree.pages.data()) + index * kPageSize;
    }

    void writeLeaf(const LeafEntry* entries, std::size_t count, std::uint32_t lastEntry,
                   std::vector<NodeEnd>& level) {
        std::size_t index = 0;
        unsigned char* page = newPage(level.empty() ? nullptr : &level.back(), index);
        std::uint32_t maxRecno = 0;
        for (std::size_t i = 0; i < count; ++i) maxRecno = std::max(maxRecno, entries[i].recno);
        const std::size_t length = m_format.keyLength;
        const LeafWidths w = widthsFor(length, maxRecno);
        writeLe(page + kNodeAttributes, kAttrLeaf, 2);
        writeLe(page + kNodeKeyCount, static_cast<std::uint32_t>(count), 2);
        std::size_t keyPos = kPageSize;
        unsigned char* slot = page + kLeafArea;
        for (std::size_t i = 0; i < count; ++i, slot += w.entrySize) {
            const LeafEntry& e = entries[i];
            const std::size_t stored = length - e.dup - e.trail;
            keyPos -= stored;
            std::memcpy(page + keyPos, e.key + e.dup, stored);
            const std::uint64_t bits = std::uint64_t{e.recno} | (std::uint64_t{e.dup} << w.recBits) |
                                       (std::uint64_t{e.trail} << (w.recBits + w.countBits));
            writeLe64(slot, bits, w.entrySize);
        }
        const std::size_t used = kPageSize - keyPos + count * w.entrySize;
        writeLe(page + kLeafFreeBytes, static_cast<std::uint32_t>(kLeafAreaSize - used), 2);
        writeLe(page + kLeafRecMask, w.recBits >= 32 ? 0xFFFFFFFFu : (1u << w.recBits) - 1, 4);
        page[kLeafDupMask] = page[kLeafTrailMask] = static_cast<unsigned char>((1u << w.countBits) - 1);
        page[kLeafRecBits] = static_cast<unsigned char>(w.recBits);
        page[kLeafDupBits] = page[kLeafTrailBits] = static_cast<unsigned char>(w.countBits);
        page[kLeafEntrySize] = static_cast<unsigned char>(w.entrySize);
        level.push_back({lastEntry, static_cast<std::uint32_t>(index)});
    }

    // The level above `level`: its nodes split into as few interior nodes as hold them, evenly.
    std::vector<NodeEnd> writeInteriorLevel(const std::vector<NodeEnd>& level) {
        const std::size_t length = m_format.keyLength;
        const std::size_t entrySize = length + 8;
        const std::size_t capacity = kInteriorArea / entrySize;
        const std::size_t parts = (level.size() + capacity - 1) / capacity;
        const std::size_t each = (level.size() + parts - 1) / parts;
        std::vector<NodeEnd> upper;
        for (std::size_t start = 0; start < level.size(); start += each) {
            const std::size_t end = std::min(level.size(), start + each);
            std::size_t index = 0;
            unsigned char* page = newPage(upper.empty() ? nullptr : &upper.back(), index);
            writeLe(page + kNodeKeyCount, static_cast<std::uint32_t>(end - start), 2);
            unsigned char* e = page + kInteriorEntries;
            for (std::size_t i = start; i < end; ++i, e += entrySize) {
                std::memcpy(e, m_keys.key(level[i].entry), length);
                writeBe32(e + length, m_keys.recnos[level[i].entry]);
                writeBe32(e + length + 4, level[i].page * static_cast<std::uint32_t>(kPageSize));
            }
            upper.push_back({level[end - 1].entry, static_cast<std::uint32_t>(index)});
        }
        return upper;
    }

private:
    const FlatKeys& m_keys;
    const NodeFormat& m_format;
    TreePages m_tree;
};

}  // namespace

TreePages layTree(const FlatKeys& keys, const std::vector<std::uint32_t>& order, const NodeFormat& format,
                  std::uint32_t recnoFloor, bool directory, RepeatedKeys repeated) {
    TreeWriter writer(keys, format);
    const std::size_t length = format.keyLength;
    const int countBits = static_cast<int>(std::bit_width(length));
    const auto entrySizeFor = [&](std::uint32_t maxRecno) {
        return static_cast<std::size_t>(std::max(1, static_cast<int>(std::bit_width(maxRecno))) +
                                        2 * countBits + 7) /
               8;
    };

    const std::size_t fill = directory ? kLeafAreaSize : kBuiltLeafFill;
    writer.reserve(order.size(), fill);
    std::vector<NodeEnd> level;
    std::array<LeafEntry, kLeafAreaSize> pending;  // every entry takes at least one byte of the key area
    std::size_t count = 0, stored = 0;
    std::uint32_t maxRecno = recnoFloor;
    std::uint32_t last = 0, entries = 0, distinct = 0;
    const unsigned char* previous = nullptr;  // the key before in sorted order, kept or not
    // The keys are visited in sorted order, scattered over the buffer: each is fetched a few entries
    // ahead so that reading it does not wait on memory.
    constexpr std::size_t kAhead = 16;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i + kAhead < order.size()) {
            const unsigned char* ahead = keys.key(order[i + kAhead]);
            __builtin_prefetch(ahead);
            __builtin_prefetch(ahead + length - 1);
        }
        const std::uint32_t index = order[i];
        const unsigned char* key = keys.key(index);
        const std::uint32_t recno = keys.recnos[index];
        // The key before in the leaf, if any, is the key before in sorted order or one equal to it.
        const std::size_t shared = previous ? sharedPrefix(previous, key, length) : 0;
        previous = key;
        if (shared == length) {
            if (repeated == RepeatedKeys::KeepFirst) continue;
            if (repeated == RepeatedKeys::Refuse) {
                writer.tree().refused = true;
                return std::move(writer.tree());
            }
        } else {
            ++distinct;
        }
        ++entries;
        const std::size_t trail = trailingPad(key, length, format.pad);
        std::size_t dup = count == 0 ? 0 : std::min(shared, length - trail);
        std::uint32_t newMax = std::max(maxRecno, recno);
        if (count > 0 && stored + (length - dup - trail) + (count + 1) * entrySizeFor(newMax) > fill) {
            writer.writeLeaf(pending.data(), count, last, level);
            count = stored = 0;
            dup = 0;
            newMax = std::max(recnoFloor, recno);
        }
        stored += length - dup - trail;
        maxRecno = newMax;
        pending[count++] = {key, recno, static_cast<std::uint16_t>(dup), static_cast<std::uint16_t>(trail)};
        last = index;
    }
    writer.writeLeaf(pending.data(), count, last, level);
    while (level.size() > 1) level = writer.writeInteriorLevel(level);

    unsigned char* root = writer.pageAt(level.front().page);
    const bool rootIsLeaf = (readLe(root + kNodeAttributes, 2) & kAttrLeaf) != 0;
    std::uint32_t attributes = readLe(root + kNodeAttributes, 2) | kAttrRoot;
    if (rootIsLeaf && !directory) attributes |= kAttrTagRootLeaf;
    writeLe(root + kNodeAttributes, attributes, 2);
    writer.tree().entries = entries;
    writer.tree().distinct = distinct;
    return std::move(writer.tree());
}

void moveTree(unsigned char* pages, std::size_t count, std::uint32_t first, const NodeFormat& format) {
    const std::size_t entrySize = format.keyLength + 8u;
    for (std::size_t i = 0; i < count; ++i) {
        unsigned char* page = pages + i * kPageSize;
        for (const std::size_t link : {kNodeLeft, kNodeRight})
            if (const std::uint32_t to = readLe(page + link, 4); to != kNoPage)
                writeLe(page + link, to + first, 4);
        if (readLe(page + kNodeAttributes, 2) & kAttrLeaf) continue;
        const std::size_t children = readLe(page + kNodeKeyCount, 2);
        for (std::size_t c = 0; c < children; ++c) {
            unsigned char* child = page + kInteriorEntries + c * entrySize + format.keyLength + 4;
            writeBe32(child, readBe32(child) + first);
        }
    }
}

}  // namespace dorvane::provider::index
