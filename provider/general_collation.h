// Keys of FoxPro's GENERAL collation for code page 1252. A GENERAL key is made of weights, not of the
// text's bytes: the primary weights of its characters in order (letter case does not count), then the
// diacritic bytes of the characters that add one, then 0x00 up to the key length, which is twice the
// expression's width. Trailing blanks of the value carry no weight.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace dorvane::provider {

struct GeneralWeight {
    std::uint8_t headCount;
    std::uint8_t heads[2];
    std::uint8_t tailCount;
    std::uint8_t tails[2];
};

// Per code page 1252 byte, its weights.
extern const std::array<GeneralWeight, 256> kGeneralWeights1252;

// The GENERAL key of code page 1252 bytes, cut or 0x00-padded to keyLength.
std::string encodeGeneralKey(std::string_view codePageBytes, std::uint16_t keyLength);
// The same, written to `out` (keyLength bytes).
void encodeGeneralKey(std::string_view codePageBytes, unsigned char* out, std::size_t keyLength);

}  // namespace dorvane::provider
