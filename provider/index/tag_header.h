// The 1024-byte header of one tag (and of the tag directory at offset 0): root, free list, key
// length, options, collation, order and the key/FOR expression texts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "provider/index/cdx_layout.h"

namespace dorvane::provider::index {

struct TagHeader {
    std::uint32_t root = 0;
    std::uint32_t freeList = 0;  // meaningful in the file header only
    std::uint16_t keyLength = 0;
    std::uint8_t options = 0;
    std::string collation;  // "" for MACHINE
    bool descending = false;
    std::string keyExpression;
    std::string forExpression;
    std::array<unsigned char, kTagHeaderSize> raw{};  // bytes as read; unknown fields are written back

    bool unique() const { return (options & kOptUnique) != 0; }
    bool candidate() const { return (options & kOptCandidate) != 0; }
    // A VFP 9 binary tag: its nodes are bitmaps, which this engine neither reads nor writes.
    bool binary() const { return raw[kHdrSignature] == kSigBinary; }
};

// Parses a header; raises ProviderError(IndexMismatch, fileName) when its fields cannot be right.
TagHeader parseTagHeader(const unsigned char* bytes, std::string_view fileName);

// Writes the header into 1024 bytes, starting from `raw` so fields this engine does not know survive.
// Raises ProviderError(StringTooLong) when the expressions do not fit the 512-byte pool.
void writeTagHeader(const TagHeader& header, unsigned char* out);

}  // namespace dorvane::provider::index
