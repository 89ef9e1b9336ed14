// Decoding and encoding of the 512-byte B-tree nodes of a compact index: interior nodes with
// uncompressed keys and big-endian pointers, and leaves with prefix/trailing-blank compressed keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "provider/index/cdx_layout.h"
#include "provider/index/key_entry.h"

namespace dorvane::provider::index {

// What a node codec needs to know about its tag.
struct NodeFormat {
    std::uint16_t keyLength = 0;
    unsigned char pad = ' ';  // byte dropped from key ends by leaf compression
};

// A node in memory. Interior nodes keep, per child, the last entry of that child's subtree.
struct Node {
    std::uint32_t offset = 0;
    bool leaf = true;
    bool root = false;
    std::uint16_t otherAttributes = 0;  // attribute bits besides root/leaf, kept as found
    std::uint32_t left = kNoPage;
    std::uint32_t right = kNoPage;
    std::vector<KeyEntry> keys;
    std::vector<std::uint32_t> children;  // interior only, parallel to keys
};

// A leaf's entries laid flat: keys of one length back to back, with their record numbers. Decoding
// into one and encoding from one allocate nothing once its buffers have grown, which makes it the
// form for changing one leaf in place.
struct FlatLeaf {
    std::uint16_t keyLength = 0;
    unsigned char pad = ' ';
    std::string keys;
    std::vector<std::uint32_t> recnos;
    // Per entry, the leaf compression's counts: bytes shared with the entry before, pad bytes at
    // the end. Kept as entries come and go, so that encoding need not work them out again.
    std::vector<std::uint16_t> dups, trails;

    std::size_t size() const { return recnos.size(); }
    std::string_view key(std::size_t i) const { return {keys.data() + i * keyLength, keyLength}; }
    // The first position whose entry is not less than (key, recno).
    std::size_t lowerBound(std::string_view key, std::uint32_t recno) const;
    void insert(std::size_t at, std::string_view key, std::uint32_t recno);
    void erase(std::size_t at);
    // Works out entry i's counts from its key and the one before.
    void recount(std::size_t i);
};

// Decodes one page. Raises ProviderError(IndexMismatch, fileName) when the page is not a
// consistent node for this format (bad attributes, counts, bit widths or key bytes).
Node decodeNode(const unsigned char* page, std::uint32_t offset, const NodeFormat& format,
                std::string_view fileName);

// Encodes a node into `page` (512 bytes). The node must fit (nodeFits); otherwise
// ProviderError(IndexMismatch).
void encodeNode(const Node& node, const NodeFormat& format, unsigned char* page);

// Decodes a leaf page's entries into `out` (its key length set from `format`). Raises like decodeNode.
void decodeLeaf(const unsigned char* page, const NodeFormat& format, std::string_view fileName,
                FlatLeaf& out);

// Encodes `leaf` as the leaf page at `offset` of a tag whose root is `root` (its attributes as every
// node is written: root, leaf, and FoxPro's root-leaf bit), between `left` and `right`. Returns the
// bytes of the leaf area the entries take, or nullopt with `page` unspecified when they do not fit.
// (A tag's leaves only: the directory's root never carries the root-leaf bit.)
std::optional<std::size_t> encodeLeaf(const FlatLeaf& leaf, const NodeFormat& format, bool root,
                                      std::uint32_t left, std::uint32_t right, unsigned char* page);

// Searching an interior page as it lies, without decoding it. `count` entries are assumed to fit
// the page (checked by the caller).
// The first entry not less than (key, recno): `count` when every entry is less.
std::size_t interiorLowerBound(const unsigned char* page, std::size_t count, const NodeFormat& format,
                               std::string_view key, std::uint32_t recno);
// The child page named by entry `i`.
std::uint32_t interiorChild(const unsigned char* page, std::size_t i, const NodeFormat& format);

// Bytes of the 488-byte leaf area that entries [begin, end) take as one leaf; recnoFloor raises the
// record-number width as if a record number that large were present.
std::size_t leafBytes(const KeyEntry* begin, const KeyEntry* end, const NodeFormat& format,
                      std::uint32_t recnoFloor = 0);

// How many entries an interior node holds.
std::size_t interiorCapacity(const NodeFormat& format);

bool nodeFits(const Node& node, const NodeFormat& format);

// Splits a sorted run of entries into consecutive leaves. Each leaf but the last is filled up to
// `target` bytes of the key area (at most 488) before a new one starts; returns the start index of
// each leaf (the first is 0). An empty run yields one empty leaf.
std::vector<std::size_t> packLeaves(const std::vector<KeyEntry>& entries, const NodeFormat& format,
                                    std::size_t target = kLeafAreaSize, std::uint32_t recnoFloor = 0);

}  // namespace dorvane::provider::index
