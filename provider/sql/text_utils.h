// Character-level helpers for the UTF-8 texts the expression evaluator handles: counting, slicing,
// case mapping and blank trimming by character (code point), as FoxPro counts characters.
// Case mapping covers ASCII and Latin-1 (the letters of the Western code pages); others pass unchanged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dorvane::provider::sql {

// Number of characters; a byte that does not start a well-formed sequence counts as one character.
std::size_t charCount(std::string_view text);
// Byte offset of character `index` (clamped to text.size()).
std::size_t byteOffsetOfChar(std::string_view text, std::size_t index);
// Characters [start, start + count) (both clamped).
std::string_view charSlice(std::string_view text, std::size_t start, std::size_t count);

// Decodes the character at `pos`, advancing pos; malformed bytes decode as themselves (one byte).
char32_t decodeChar(std::string_view text, std::size_t& pos);
void appendChar(std::string& out, char32_t c);

std::string toUpperText(std::string_view text);
std::string toLowerText(std::string_view text);

// Trims spaces (only 0x20, as FoxPro's TRIM family does).
std::string_view trimRightBlanks(std::string_view text);
std::string_view trimLeftBlanks(std::string_view text);
// Trims spaces, tabs, CR and LF: for parsing texts typed into the grid.
std::string_view trimWhitespace(std::string_view text);

bool equalsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace dorvane::provider::sql
