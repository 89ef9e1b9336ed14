// The PROPERTY memo of .dbc object records: a run of entries (length, id, value) with no terminator.
// Only the encoding lives here; which ids a Table or Field row carries is container.cpp's business.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace dorvane::provider {

// One entry: 4 bytes LE total length (these 4 included), 2 bytes LE id length, the id, the value.
inline constexpr std::size_t kPropertyOffsetLength = 0;    // 4 bytes LE
inline constexpr std::size_t kPropertyOffsetIdLength = 4;  // 2 bytes LE, 1 (or 2 for ids > 255)
inline constexpr std::size_t kPropertyOffsetId = 6;        // 1 or 2 bytes

inline constexpr int kPropertyPath = 1;      // Table: .dbf path relative to the .dbc (string)
inline constexpr int kPropertySubType = 2;   // Table: 1 (byte)
inline constexpr int kPropertyComment = 7;   // string
inline constexpr int kPropertyViewSql = 42;  // View: its SELECT (string)

// Property id -> raw value bytes.
using PropertyMap = std::map<int, std::string>;

// Parses a PROPERTY memo. Raises DbcInconsistent for an entry that runs past the memo.
PropertyMap parseProperties(std::string_view memo);
std::string encodeProperties(const PropertyMap& properties);

// A string value is the text followed by one NUL.
std::string propertyText(const PropertyMap& properties, int id);
std::string textProperty(std::string_view text);

}  // namespace dorvane::provider
