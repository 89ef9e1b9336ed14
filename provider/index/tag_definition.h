// What it takes to write a tag from scratch: its definition and its entries.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "provider/index/cdx_layout.h"
#include "provider/index/key_encoding.h"
#include "provider/index/key_entry.h"

namespace dorvane::provider::index {

struct TagDefinition {
    std::string name;  // at most 10 characters; stored upper case
    std::string keyExpression;
    std::string forExpression;    // empty: no FOR clause
    std::uint16_t keyLength = 0;  // 1..240
    KeyType keyType = KeyType::Character;
    bool unique = false;
    bool candidate = false;
    bool descending = false;
    std::string collation = "MACHINE";
};

struct TagContent {
    TagDefinition definition;
    std::vector<KeyEntry> entries;  // any order
    // Bytes 0..1023 of the tag's existing header, so a rebuild keeps fields this engine does not set.
    std::optional<std::array<unsigned char, kTagHeaderSize>> previousHeader;
};

}  // namespace dorvane::provider::index
