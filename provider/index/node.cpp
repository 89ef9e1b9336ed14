#include "provider/index/node.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <tuple>

#include "provider/byte_order.h"
#include "provider/error.h"

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

// Eight bytes at a time from the end while they are all pad, then byte by byte.
std::size_t trailingPad(std::string_view key, unsigned char pad) {
    const std::uint64_t pads = 0x0101010101010101ull * pad;
    std::size_t n = 0;
    for (std::uint64_t word = 0; n + 8 <= key.size(); n += 8) {
        std::memcpy(&word, key.data() + key.size() - n - 8, 8);
        if (word != pads) break;
    }
    while (n < key.size() && static_cast<unsigned char>(key[key.size() - 1 - n]) == pad) ++n;
    return n;
}

// Eight bytes at a time while they agree, then byte by byte.
std::size_t sharedPrefix(std::string_view a, std::string_view b) {
    const std::size_t limit = std::min(a.size(), b.size());
    std::size_t n = 0;
    for (std::uint64_t x = 0, y = 0; n + 8 <= limit; n += 8) {
        std::memcpy(&x, a.data() + n, 8);
        std::memcpy(&y, b.data() + n, 8);
        if (x != y) break;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

// Duplicate and trailing counts of `key` after `previous` (empty for a leaf's first key).
std::pair<std::size_t, std::size_t> compressionOf(std::string_view previous, std::string_view key,
                                                  unsigned char pad) {
    const std::size_t trail = trailingPad(key, pad);
    std::size_t dup = sharedPrefix(previous, key);
    dup = std::min(dup, key.size() - trail);
    return {dup, trail};
}

std::pair<std::size_t, std::size_t> compressionOf(const std::string* previous, const std::string& key,
                                                  unsigned char pad) {
    return compressionOf(previous ? std::string_view(*previous) : std::string_view(), key, pad);
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

// Walks a leaf's entries: `emit(dup, stored bytes, stored length, trail, recno)` per entry, in order.
template <class Emit>
void walkLeaf(const unsigned char* page, std::size_t count, const NodeFormat& format,
              std::string_view fileName, Emit&& emit) {
    const int recBits = page[kLeafRecBits];
    const int dupBits = page[kLeafDupBits];
    const int trailBits = page[kLeafTrailBits];
    const int entrySize = page[kLeafEntrySize];
    if (count == 0) return;
    if (entrySize < 1 || entrySize > 8 || recBits > 32 || dupBits > 16 || trailBits > 16 ||
        recBits + dupBits + trailBits > entrySize * 8 || count * entrySize > kLeafAreaSize)
        damaged(fileName);
    const std::uint64_t recMask = recBits == 0 ? 0 : (std::uint64_t{1} << recBits) - 1;
    const std::uint64_t dupMask = (std::uint64_t{1} << dupBits) - 1;
    const std::uint64_t trailMask = (std::uint64_t{1} << trailBits) - 1;
    const std::size_t keyLength = format.keyLength;
    std::size_t keyPos = kPageSize;  // key bytes are packed from the end of the page backwards
    const std::size_t entriesEnd = kLeafArea + count * entrySize;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t bits = readLe64(page + kLeafArea + i * entrySize, entrySize);
        const std::size_t dup = (bits >> recBits) & dupMask;
        const std::size_t trail = (bits >> (recBits + dupBits)) & trailMask;
        if (dup + trail > keyLength || (i == 0 && dup != 0)) damaged(fileName);
        const std::size_t stored = keyLength - dup - trail;
        if (keyPos < entriesEnd + stored) damaged(fileName);
        keyPos -= stored;
        emit(dup, reinterpret_cast<const char*>(page + keyPos), stored, trail,
             static_cast<std::uint32_t>(bits & recMask));
    }
}

Node decodeLeafNode(const unsigned char* page, Node node, std::size_t count, const NodeFormat& format,
                    std::string_view fileName) {
    node.keys.reserve(count);
    const std::string* previous = nullptr;
    walkLeaf(
        page, count, format, fileName,
        [&](std::size_t dup, const char* stored, std::size_t length, std::size_t trail, std::uint32_t recno) {
            KeyEntry k;
            k.recno = recno;
            k.key.reserve(format.keyLength);
            if (previous) k.key.append(*previous, 0, dup);
            k.key.append(stored, length);
            k.key.append(trail, static_cast<char>(format.pad));
            node.keys.push_back(std::move(k));
            previous = &node.keys.back().key;
        });
    return node;
}

// Encodes entries [0, count) given by `keyAt(i)`, `recnoAt(i)` and their compression counts
// `countsAt(i, previous key, key)` into the leaf fields and area of `page` (cleared beforehand).
// Returns the area bytes used, or nullopt when they overflow it.
template <class KeyAt, class RecnoAt, class CountsAt>
std::optional<std::size_t> encodeLeafEntries(std::size_t count, KeyAt&& keyAt, RecnoAt&& recnoAt,
                                             CountsAt&& countsAt, const NodeFormat& format,
                                             unsigned char* page) {
    std::uint32_t maxRecno = 0;
    for (std::size_t i = 0; i < count; ++i) maxRecno = std::max(maxRecno, recnoAt(i));
    const LeafWidths w = widthsFor(format.keyLength, maxRecno);
    if (count * w.entrySize > kLeafAreaSize) return std::nullopt;
    std::size_t keyPos = kPageSize;
    const std::size_t entriesEnd = kLeafArea + count * w.entrySize;
    std::string_view previous;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view key = keyAt(i);
        if (key.size() != format.keyLength)
            throw ProviderError(FoxError::IndexMismatch,
                                foxproMessage(FoxError::IndexMismatch) + " (index key of the wrong length)");
        const auto [dup, trail] = countsAt(i, previous, key);
        const std::size_t stored = key.size() - dup - trail;
        if (keyPos < entriesEnd + stored) return std::nullopt;
        keyPos -= stored;
        std::memcpy(page + keyPos, key.data() + dup, stored);
        const std::uint64_t bits = std::uint64_t{recnoAt(i)} | (std::uint64_t{dup} << w.recBits) |
                                   (std::uint64_t{trail} << (w.recBits + w.dupBits));
        writeLe64(page + kLeafArea + i * w.entrySize, bits, w.entrySize);
        previous = key;
    }
    const std::size_t used = kPageSize - keyPos + count * w.entrySize;
    writeLe(page + kLeafFreeBytes, static_cast<std::uint32_t>(kLeafAreaSize - used), 2);
    const std::uint32_t recMask = w.recBits >= 32 ? 0xFFFFFFFFu : (1u << w.recBits) - 1;
    writeLe(page + kLeafRecMask, recMask, 4);
    page[kLeafDupMask] = static_cast<unsigned char>((1u << w.dupBits) - 1);
    page[kLeafTrailMask] = static_cast<unsigned char>((1u << w.trailBits) - 1);
    page[kLeafRecBits] = static_cast<unsigned char>(w.recBits);
    page[kLeafDupBits] = static_cast<unsigned char>(w.dupBits);
    page[kLeafTrailBits] = static_cast<unsigned char>(w.trailBits);
    page[kLeafEntrySize] = static_cast<unsigned char>(w.entrySize);
    return used;
}

void writeNodeHeader(unsigned char* page, std::uint16_t attributes, std::size_t count, std::uint32_t left,
                     std::uint32_t right) {
    writeLe(page + kNodeAttributes, attributes, 2);
    writeLe(page + kNodeKeyCount, static_cast<std::uint32_t>(count), 2);
    writeLe(page + kNodeLeft, left, 4);
    writeLe(page + kNodeRight, right, 4);
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
    return node.leaf ? decodeLeafNode(page, std::move(node), count, format, fileName)
                     : decodeInterior(page, std::move(node), count, format, fileName);
}

void encodeNode(const Node& node, const NodeFormat& format, unsigned char* page) {
    if (!node.leaf && node.keys.size() > interiorCapacity(format))
        throw ProviderError(FoxError::IndexMismatch,
                            foxproMessage(FoxError::IndexMismatch) + " (index node overflows its page)");
    std::memset(page, 0, kPageSize);
    writeNodeHeader(page, node.otherAttributes | (node.leaf ? kAttrLeaf : 0) | (node.root ? kAttrRoot : 0),
                    node.keys.size(), node.left, node.right);
    if (node.leaf) {
        const auto used = encodeLeafEntries(
            node.keys.size(), [&](std::size_t i) { return std::string_view(node.keys[i].key); },
            [&](std::size_t i) { return node.keys[i].recno; },
            [&](std::size_t, std::string_view previous, std::string_view key) {
                return compressionOf(previous, key, format.pad);
            },
            format, page);
        if (!used)
            throw ProviderError(FoxError::IndexMismatch,
                                foxproMessage(FoxError::IndexMismatch) + " (index node overflows its page)");
        return;
    }
    const std::size_t entrySize = format.keyLength + 8u;
    for (std::size_t i = 0; i < node.keys.size(); ++i) {
        unsigned char* e = page + kInteriorEntries + i * entrySize;
        if (node.keys[i].key.size() != format.keyLength)
            throw ProviderError(FoxError::IndexMismatch,
                                foxproMessage(FoxError::IndexMismatch) + " (index key of the wrong length)");
        std::memcpy(e, node.keys[i].key.data(), format.keyLength);
        writeBe32(e + format.keyLength, node.keys[i].recno);
        writeBe32(e + format.keyLength + 4, node.children[i]);
    }
}

std::size_t interiorLowerBound(const unsigned char* page, std::size_t count, const NodeFormat& format,
                               std::string_view key, std::uint32_t recno) {
    const std::size_t entrySize = format.keyLength + 8u;
    std::size_t low = 0, high = count;
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        const unsigned char* entry = page + kInteriorEntries + mid * entrySize;
        int c = std::memcmp(entry, key.data(), std::min<std::size_t>(format.keyLength, key.size()));
        if (c == 0 && key.size() != format.keyLength) c = format.keyLength < key.size() ? -1 : 1;
        if (c < 0 || (c == 0 && readBe32(entry + format.keyLength) < recno)) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

std::uint32_t interiorChild(const unsigned char* page, std::size_t i, const NodeFormat& format) {
    return readBe32(page + kInteriorEntries + i * (format.keyLength + 8u) + format.keyLength + 4);
}

std::size_t FlatLeaf::lowerBound(std::string_view key, std::uint32_t recno) const {
    std::size_t low = 0, high = size();
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        const int c = this->key(mid).compare(key);
        if (c < 0 || (c == 0 && recnos[mid] < recno)) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

void FlatLeaf::insert(std::size_t at, std::string_view key, std::uint32_t recno) {
    keys.insert(at * keyLength, key.data(), keyLength);
    recnos.insert(recnos.begin() + static_cast<std::ptrdiff_t>(at), recno);
    dups.insert(dups.begin() + static_cast<std::ptrdiff_t>(at), 0);
    trails.insert(trails.begin() + static_cast<std::ptrdiff_t>(at), 0);
    recount(at);
    if (at + 1 < size()) recount(at + 1);
}

void FlatLeaf::erase(std::size_t at) {
    keys.erase(at * keyLength, keyLength);
    recnos.erase(recnos.begin() + static_cast<std::ptrdiff_t>(at));
    dups.erase(dups.begin() + static_cast<std::ptrdiff_t>(at));
    trails.erase(trails.begin() + static_cast<std::ptrdiff_t>(at));
    if (at < size()) recount(at);
}

void FlatLeaf::recount(std::size_t i) {
    const auto [dup, trail] = compressionOf(i == 0 ? std::string_view() : key(i - 1), key(i), pad);
    dups[i] = static_cast<std::uint16_t>(dup);
    trails[i] = static_cast<std::uint16_t>(trail);
}

void decodeLeaf(const unsigned char* page, const NodeFormat& format, std::string_view fileName,
                FlatLeaf& out) {
    const std::uint32_t attributes = readLe(page + kNodeAttributes, 2);
    if (attributes > 0xFF || (attributes & kAttrLeaf) == 0) damaged(fileName);
    const std::size_t count = readLe(page + kNodeKeyCount, 2);
    const std::size_t keyLength = format.keyLength;
    out.keyLength = format.keyLength;
    out.pad = format.pad;
    out.keys.resize(count * keyLength);
    out.recnos.resize(count);
    out.dups.resize(count);
    out.trails.resize(count);
    std::size_t i = 0;
    walkLeaf(
        page, count, format, fileName,
        [&](std::size_t dup, const char* stored, std::size_t length, std::size_t trail, std::uint32_t recno) {
            char* key = out.keys.data() + i * keyLength;
            if (dup > 0) std::memcpy(key, key - keyLength, dup);
            std::memcpy(key + dup, stored, length);
            std::memset(key + dup + length, static_cast<char>(format.pad), trail);
            out.recnos[i] = recno;
            // The file's counts describe these bytes exactly, so they serve for encoding too.
            out.dups[i] = static_cast<std::uint16_t>(dup);
            out.trails[i] = static_cast<std::uint16_t>(trail);
            ++i;
        });
}

std::optional<std::size_t> encodeLeaf(const FlatLeaf& leaf, const NodeFormat& format, bool root,
                                      std::uint32_t left, std::uint32_t right, unsigned char* page) {
    std::memset(page, 0, kPageSize);
    writeNodeHeader(page, kAttrLeaf | (root ? kAttrRoot | kAttrTagRootLeaf : 0), leaf.size(),
                    root ? kNoPage : left, root ? kNoPage : right);
    return encodeLeafEntries(
        leaf.size(), [&](std::size_t i) { return leaf.key(i); },
        [&](std::size_t i) { return leaf.recnos[i]; },
        [&](std::size_t i, std::string_view, std::string_view) {
            return std::pair<std::size_t, std::size_t>(leaf.dups[i], leaf.trails[i]);
        },
        format, page);
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
