// The PROPERTY memo of .dbc object records: a run of entries (length, id, value) with no terminator.
// The encoding, and reading and writing the properties of any object record of a container; which
// ids a Table or Field row carries is the business of container.cpp and of the rules' readers.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "provider/value.h"

namespace dorvane::provider {

// One entry: 4 bytes LE total length (these 4 included), 2 bytes LE id length, the id, the value.
inline constexpr std::size_t kPropertyOffsetLength = 0;    // 4 bytes LE
inline constexpr std::size_t kPropertyOffsetIdLength = 4;  // 2 bytes LE, 1 (or 2 for ids > 255)
inline constexpr std::size_t kPropertyOffsetId = 6;        // 1 or 2 bytes

inline constexpr int kPropertyPath = 1;     // Table: .dbf path relative to the .dbc (string)
inline constexpr int kPropertySubType = 2;  // Table: 1 (byte)
inline constexpr int kPropertyComment = 7;  // string
// Field records: the field rule, its message, the default value; Table records: the record rule and
// its message. Each is the FoxPro expression text as typed (a message is usually a quoted text).
inline constexpr int kPropertyRuleExpression = 9;  // string
inline constexpr int kPropertyRuleText = 10;       // string
inline constexpr int kPropertyDefaultValue = 11;   // string
// Relation records: the child's tag (the child is the record's parent object), the parent table and
// its tag. Table records: the insert, update and delete triggers. Index records: candidate (byte 1).
// Table records: the primary key's tag name.
inline constexpr int kPropertyChildTag = 13;       // string
inline constexpr int kPropertyInsertTrigger = 14;  // string
inline constexpr int kPropertyUpdateTrigger = 15;  // string
inline constexpr int kPropertyDeleteTrigger = 16;  // string
inline constexpr int kPropertyCandidate = 17;      // byte
inline constexpr int kPropertyParentTable = 18;    // string
inline constexpr int kPropertyParentTag = 19;      // string
inline constexpr int kPropertyPrimaryKey = 20;     // string
inline constexpr int kPropertyViewSql = 42;        // View: its SELECT (string)

// Property id -> raw value bytes.
using PropertyMap = std::map<int, std::string>;

// Parses a PROPERTY memo. Raises DbcInconsistent for an entry that runs past the memo.
// The bytes of a character or memo cell of an object record; empty for any other value.
std::string textOf(const Value& value);
PropertyMap parseProperties(std::string_view memo);
std::string encodeProperties(const PropertyMap& properties);

// A string value is the text followed by one NUL.
std::string propertyText(const PropertyMap& properties, int id);
std::string textProperty(std::string_view text);

class Container;

// The properties of the container's live object records with these ids, read in one pass over the
// .dbc (ids without a record are left out). Raises DbcInconsistent for a memo that does not parse.
std::map<std::int32_t, PropertyMap> objectProperties(Container& container,
                                                     const std::vector<std::int32_t>& objectIds);

// Sets these properties on the live object record `objectId`, replacing entries of the same ids and
// keeping its other entries as they are, in their order; new entries follow them. Raises
// DbcInconsistent when there is no such record, and what Table::update raises.
void setObjectProperties(Container& container, std::int32_t objectId, const PropertyMap& properties);

}  // namespace dorvane::provider
