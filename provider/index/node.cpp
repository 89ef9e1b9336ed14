#include "provider/index/node.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <tuple>

#include "provider/error.h"
#include "provider/index/byte_io.h"

namespace dorvane::provider::index {
namespace {

[[noreturn]] void damaged(std::string_view fileName) {
    throw ProviderError::make(FoxError::IndexMismatch, fileName);
}

int bitsFor(std::uint32_t value) {
    int bits = 0;
    while (value != 0) {
        ++bits;
        value >>= 1;
    }
    return bits;
}

// Entry layout of one leaf: bit widths and bytes per entry.
struct LeafWidths {
    int recBits = 0;
    int dupBits = 0;
    int trailBits = 0;
    int entrySize = 0;
};

LeafWidths widthsFor(std::uint16_t keyLength, std::uint32_t maxRecno) {
    LeafWidths w;
    w.dupBits = w.trailBits = bitsFor(keyLength);
    const int need = std::max(1, bitsFor(maxRecno)) + w.dupBits + w.trailBits;
    w.entrySize = (need + 7) / 8;
    w.recBits = std::min(32, w.entrySize * 8 - w.dupBits - w.trailBits);
    return w;
}

std::size_t trailingPad(const std::string& key, unsigned char pad) {
    std::size_t n = 0;
    while (n < key.size() && static_cast<unsigned char>(key[key.size() - 1 - n]) == pad) ++n;
    return n;
}

std::size_t sharedPrefix(const std::string& a, const std::string& b) {
    std::size_t n = 0;
    const std::size_t limit = std::min(a.size(), b.size());
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

// Duplicate and trailing counts of `key` after `previous` (null for a leaf's first key).
std::pair<std::size_t, std::size_t> compressionOf(const std::string* previous, const std::string& key,
                                                  unsigned char pad) {
    const std::size_t trail = trailingPad(key, pad);
    std::size_t dup = previous ? sharedPrefix(*previous, key) : 0;
    dup = std::min(dup, key.size() - trail);
    return {dup, trail};
}

Node decodeInterior(const unsigned char* page, Node node, std::size_t count, const NodeFormat& format,
                    std::string_view fileName) {
    const std::size_t entrySize = format.keyLength + 8u;
    if (count * entrySize > kInteriorArea) damaged(fileName);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* e = page + kInteriorEntries + i * entrySize;
        KeyEntry k;
        k.key.assign(reinterpret_cast<const char*>(e), format.keyLength);
        k.recno = readBe32(e + format.keyLength);
        node.keys.push_back(std::move(k));
        node.children.push_back(readBe32(e + format.keyLength + 4));
    }
    return node;
}

Node decodeLeaf(const unsigned char* page, Node node, std::size_t count, const NodeFormat& format,
                std::string_view fileName) {
    const int recBits = page[kLeafRecBits];
    const int dupBits = page[kLeafDupBits];
    const int trailBits = page[kLeafTrailBits];
    const int entrySize = page[kLeafEntrySize];
    if (count == 0) return node;
    if (entrySize < 1 || entrySize > 8 || recBits > 32 || dupBits > 16 || trailBits > 16 ||
        recBits + dupBits + trailBits > entrySize * 8 || count * entrySize > kLeafAreaSize)
        damaged(fileName);
    const std::uint64_t recMask = recBits == 0 ? 0 : (std::uint64_t{1} << recBits) - 1;
    const std::uint64_t dupMask = (std::uint64_t{1} << dupBits) - 1;
    const std::uint64_t trailMask = (std::uint64_t{1} << trailBits) - 1;
    const std::size_t keyLength = format.keyLength;
    std::size_t keyPos = kPageSize;  // key bytes are packed from the end of the page backwards
    const std::size_t entriesEnd = kLeafArea + count * entrySize;
    std::string previous;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint64_t bits = 0;
        const unsigned char* e = page + kLeafArea + i * entrySize;
        for (int b = entrySize - 1; b >= 0; --b) bits = (bits << 8) | e[b];
        const std::size_t dup = (bits >> recBits) & dupMask;
        const std::size_t trail = (bits >> (recBits + dupBits)) & trailMask;
        if (dup + trail > keyLength || (i == 0 && dup != 0)) damaged(fileName);
        const std::size_t stored = keyLength - dup - trail;
        if (keyPos < entriesEnd + stored) damaged(fileName);
        keyPos -= stored;
        KeyEntry k;
        k.recno = static_cast<std::uint32_t>(bits & recMask);
        k.key.reserve(keyLength);
        k.key.append(previous, 0, dup);
        k.key.append(reinterpret_cast<const char*>(page + keyPos), stored);
        k.key.append(trail, static_cast<char>(format.pad));
        previous = k.key;
        node.keys.push_back(std::move(k));
    }
    return node;
}

void encodeLeaf(const Node& node, const NodeFormat& format, unsigned char* page) {
    std::uint32_t maxRecno = 0;
    for (const KeyEntry& k : node.keys) maxRecno = std::max(maxRecno, k.recno);
    const LeafWidths w = widthsFor(format.keyLength, maxRecno);
    std::size_t keyPos = kPageSize;
    const std::string* previous = nullptr;
    for (std::size_t i = 0; i < node.keys.size(); ++i) {
        const KeyEntry& k = node.keys[i];
        if (k.key.size() != format.keyLength) throw std::logic_error("index key of the wrong length");
        const auto [dup, trail] = compressionOf(previous, k.key, format.pad);
        const std::size_t stored = k.key.size() - dup - trail;
        keyPos -= stored;
        std::memcpy(page + keyPos, k.key.data() + dup, stored);
        const std::uint64_t bits = std::uint64_t{k.recno} | (std::uint64_t{dup} << w.recBits) |
                                   (std::uint64_t{trail} << (w.recBits + w.dupBits));
        unsigned char* e = page + kLeafArea + i * w.entrySize;
        for (int b = 0; b < w.entrySize; ++b) e[b] = static_cast<unsigned char>(bits >> (8 * b));
        previous = &k.key;
    }
    const std::size_t used = kPageSize - keyPos + node.keys.size() * w.entrySize;
    writeLe(page + kLeafFreeBytes, static_cast<std::uint32_t>(kLeafAreaSize - used), 2);
    const std::uint32_t recMask = w.recBits >= 32 ? 0xFFFFFFFFu : (1u << w.recBits) - 1;
    writeLe(page + kLeafRecMask, recMask, 4);
    page[kLeafDupMask] = static_cast<unsigned char>((1u << w.dupBits) - 1);
    page[kLeafTrailMask] = static_cast<unsigned char>((1u << w.trailBits) - 1);
    page[kLeafRecBits] = static_cast<unsigned char>(w.recBits);
    page[kLeafDupBits] = static_cast<unsigned char>(w.dupBits);
    page[kLeafTrailBits] = static_cast<unsigned char>(w.trailBits);
    page[kLeafEntrySize] = static_cast<unsigned char>(w.entrySize);
}

}  // namespace

Node decodeNode(const unsigned char* page, std::uint32_t offset, const NodeFormat& format,
                std::string_view fileName) {
    const std::uint32_t attributes = readLe(page + kNodeAttributes, 2);
    if (attributes > 0xFF) damaged(fileName);
    Node node;
    node.otherAttributes = static_cast<std::uint16_t>(attributes & ~(kAttrRoot | kAttrLeaf));
    node.offset = offset;
    node.leaf = (attributes & kAttrLeaf) != 0;
    node.root = (attributes & kAttrRoot) != 0;
    node.left = readLe(page + kNodeLeft, 4);
    node.right = readLe(page + kNodeRight, 4);
    const std::size_t count = readLe(page + kNodeKeyCount, 2);
    return node.leaf ? decodeLeaf(page, std::move(node), count, format, fileName)
                     : decodeInterior(page, std::move(node), count, format, fileName);
}

void encodeNode(const Node& node, const NodeFormat& format, unsigned char* page) {
    if (!nodeFits(node, format)) throw std::logic_error("index node overflows its page");
    std::memset(page, 0, kPageSize);
    writeLe(page + kNodeAttributes,
            node.otherAttributes | (node.leaf ? kAttrLeaf : 0) | (node.root ? kAttrRoot : 0), 2);
    writeLe(page + kNodeKeyCount, static_cast<std::uint32_t>(node.keys.size()), 2);
    writeLe(page + kNodeLeft, node.left, 4);
    writeLe(page + kNodeRight, node.right, 4);
    if (node.leaf) {
        encodeLeaf(node, format, page);
        return;
    }
    const std::size_t entrySize = format.keyLength + 8u;
    for (std::size_t i = 0; i < node.keys.size(); ++i) {
        unsigned char* e = page + kInteriorEntries + i * entrySize;
        if (node.keys[i].key.size() != format.keyLength)
            throw std::logic_error("index key of the wrong length");
        std::memcpy(e, node.keys[i].key.data(), format.keyLength);
        writeBe32(e + format.keyLength, node.keys[i].recno);
        writeBe32(e + format.keyLength + 4, node.children[i]);
    }
}

std::size_t leafBytes(const KeyEntry* begin, const KeyEntry* end, const NodeFormat& format,
                      std::uint32_t recnoFloor) {
    std::uint32_t maxRecno = recnoFloor;
    std::size_t stored = 0;
    const std::string* previous = nullptr;
    for (const KeyEntry* k = begin; k != end; ++k) {
        maxRecno = std::max(maxRecno, k->recno);
        const auto [dup, trail] = compressionOf(previous, k->key, format.pad);
        stored += k->key.size() - dup - trail;
        previous = &k->key;
    }
    return stored + static_cast<std::size_t>(end - begin) * widthsFor(format.keyLength, maxRecno).entrySize;
}

std::size_t interiorCapacity(const NodeFormat& format) {
    return kInteriorArea / (format.keyLength + 8u);
}

bool nodeFits(const Node& node, const NodeFormat& format) {
    if (node.leaf) {
        return leafBytes(node.keys.data(), node.keys.data() + node.keys.size(), format) <= kLeafAreaSize;
    }
    return node.keys.size() <= interiorCapacity(format);
}

std::vector<std::size_t> packLeaves(const std::vector<KeyEntry>& entries, const NodeFormat& format,
                                    std::size_t target, std::uint32_t recnoFloor) {
    std::vector<std::size_t> starts{0};
    target = std::min(target, kLeafAreaSize);
    std::size_t stored = 0;
    std::uint32_t maxRecno = recnoFloor;
    std::size_t count = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string* previous = count == 0 ? nullptr : &entries[i - 1].key;
        auto [dup, trail] = compressionOf(previous, entries[i].key, format.pad);
        std::size_t addStored = entries[i].key.size() - dup - trail;
        std::uint32_t addMax = std::max(maxRecno, entries[i].recno);
        const std::size_t bytes =
            stored + addStored + (count + 1) * widthsFor(format.keyLength, addMax).entrySize;
        if (count > 0 && bytes > target) {
            starts.push_back(i);
            std::tie(dup, trail) = compressionOf(nullptr, entries[i].key, format.pad);
            addStored = entries[i].key.size() - dup - trail;
            addMax = std::max(recnoFloor, entries[i].recno);
            stored = 0;
            count = 0;
        }
        stored += addStored;
        maxRecno = addMax;
        ++count;
    }
    return starts;
}

}  // namespace dorvane::provider::index
