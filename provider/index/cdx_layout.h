// On-disk layout of compact compound indexes (.cdx/.dcx): page size, header and node field offsets.
// Every constant names its byte offset and size; header integers are little-endian unless noted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dorvane::provider::index {

inline constexpr std::size_t kPageSize = 512;
inline constexpr std::size_t kTagHeaderSize = 1024;    // 512 header + 512 expression pool
inline constexpr std::uint32_t kNoPage = 0xFFFFFFFFu;  // sibling pointer "none"

// Tag header (the file header at offset 0 is the directory's tag header).
inline constexpr std::size_t kHdrRoot = 0;            // 4: root node offset
inline constexpr std::size_t kHdrFreeList = 4;        // 4: first free page (0 or -1 = none)
inline constexpr std::size_t kHdrCounter = 8;         // 4: update counter
inline constexpr std::size_t kHdrKeyLength = 12;      // 2: key length
inline constexpr std::size_t kHdrOptions = 14;        // 1: option bits
inline constexpr std::size_t kHdrSignature = 15;      // 1: kind of tag, kSig* below
inline constexpr std::size_t kHdrKeyCount = 16;       // 4: number of keys (FoxPro: 0 in tags with FOR)
inline constexpr std::size_t kHdrDistinctCount = 20;  // 4: number of distinct key values (likewise)
inline constexpr std::size_t kHdrCollation = 494;     // 8: collation name, NUL-padded ("" = MACHINE)
inline constexpr std::size_t kHdrCollationSize = 8;
inline constexpr std::size_t kHdrDescending = 502;     // 2: 0 ascending, 1 descending
inline constexpr std::size_t kHdrForOffset = 504;      // 2: FOR expression offset in the pool
inline constexpr std::size_t kHdrForLength = 506;      // 2: FOR expression length incl. NUL
inline constexpr std::size_t kHdrKeyExprOffset = 508;  // 2: key expression offset in the pool
inline constexpr std::size_t kHdrKeyExprLength = 510;  // 2: key expression length incl. NUL
inline constexpr std::size_t kHdrPool = 512;           // 512: expression pool
inline constexpr std::size_t kHdrPoolSize = 512;

// Option bits (header byte 14).
inline constexpr std::uint8_t kOptUnique = 0x01;
inline constexpr std::uint8_t kOptCandidate = 0x04;
inline constexpr std::uint8_t kOptHasFor = 0x08;
inline constexpr std::uint8_t kOptCompact = 0x20;
inline constexpr std::uint8_t kOptCompound = 0x40;
inline constexpr std::uint8_t kOptDirectory = 0x80;

// Kinds of tag (header byte 15): compact leaves with MACHINE keys, compact leaves with keys of another
// collation (GENERAL), and VFP 9 binary tags (INDEX ON ... BINARY) whose nodes are bitmaps.
inline constexpr std::uint8_t kSigMachine = 1;
inline constexpr std::uint8_t kSigCollated = 2;
inline constexpr std::uint8_t kSigBinary = 5;

// Directory keys: tag names, upper case, blank-padded to this length.
inline constexpr std::uint16_t kDirectoryKeyLength = 10;
inline constexpr std::uint16_t kMaxKeyLength = 240;

// Node header, shared by interior and leaf nodes.
inline constexpr std::size_t kNodeAttributes = 0;  // 2: bit 0 root, bit 1 leaf
inline constexpr std::size_t kNodeKeyCount = 2;    // 2
inline constexpr std::size_t kNodeLeft = 4;        // 4: left sibling or -1
inline constexpr std::size_t kNodeRight = 8;       // 4: right sibling or -1
inline constexpr std::uint16_t kAttrRoot = 0x01;
inline constexpr std::uint16_t kAttrLeaf = 0x02;
// FoxPro sets this bit on a tag's root node while that root is also a leaf (never on the directory's
// root, never on other nodes); its meaning is not documented, so it is written the same way.
inline constexpr std::uint16_t kAttrTagRootLeaf = 0x04;

// Interior node entries from offset 12: key, record number (4, big-endian), child offset (4, big-endian).
inline constexpr std::size_t kInteriorEntries = 12;
inline constexpr std::size_t kInteriorArea = kPageSize - kInteriorEntries;  // 500

// Leaf node fields.
inline constexpr std::size_t kLeafFreeBytes = 12;  // 2: free bytes in the key area
inline constexpr std::size_t kLeafRecMask = 14;    // 4: record-number mask
inline constexpr std::size_t kLeafDupMask = 18;    // 1: duplicate-count mask
inline constexpr std::size_t kLeafTrailMask = 19;  // 1: trailing-count mask
inline constexpr std::size_t kLeafRecBits = 20;    // 1: record-number bits
inline constexpr std::size_t kLeafDupBits = 21;    // 1: duplicate-count bits
inline constexpr std::size_t kLeafTrailBits = 22;  // 1: trailing-count bits
inline constexpr std::size_t kLeafEntrySize = 23;  // 1: bytes per entry
inline constexpr std::size_t kLeafArea = 24;       // 488: entries from the front, key bytes from the back
inline constexpr std::size_t kLeafAreaSize = kPageSize - kLeafArea;  // 488
// How far building a tag fills its leaves' key area: a tenth is left free, so that records added or
// changed afterwards mostly find room in their leaf rather than split it. (The tag directory is filled.)
inline constexpr std::size_t kBuiltLeafFill = kLeafAreaSize * 9 / 10;

}  // namespace dorvane::provider::index
