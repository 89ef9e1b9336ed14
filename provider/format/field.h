// Fields of a table: what a caller asks for (FieldSpec), what the header holds (Field), and the
// layout rules that turn a list of fieldSpecs into displacements, flags and _NullFlags bits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane::provider {

// Field flags, byte 18 of a field subrecord.
inline constexpr std::uint8_t kFieldFlagSystem = 0x01;
inline constexpr std::uint8_t kFieldFlagNullable = 0x02;
inline constexpr std::uint8_t kFieldFlagBinary = 0x04;
inline constexpr std::uint8_t kFieldFlagAutoIncrement = 0x0C;  // 0x08 plus the binary bit of an I field

inline constexpr char kNullFlagsType = '0';
inline constexpr const char* kNullFlagsName = "_NullFlags";

inline constexpr int kMaxFields = 255;
inline constexpr int kMaxRecordLength = 65500;  // including the deletion flag
inline constexpr int kMaxFreeFieldName = 10;
inline constexpr int kMaxContainerFieldName = 128;

// A field as a caller describes it for CREATE TABLE or ADD COLUMN.
struct FieldSpec {
    std::string name;        // the long name in a container table
    std::string headerName;  // kept short name of an existing field; empty lets the layout derive it
    char type = 'C';
    int width = 0;  // ignored by the fixed-width types D T I L M G P W Y B
    int decimals = 0;
    bool nullable = false;
    bool binary = false;         // NOCPTRANS on C, V, M
    bool autoIncrement = false;  // I fields only
    std::int32_t autoIncrementNext = 1;
    int autoIncrementStep = 1;
};

// A field as the table header holds it.
struct Field {
    std::string name;      // the name in the header (at most 10 characters)
    std::string longName;  // the container's name for it; empty in free tables
    char type = 'C';
    std::uint32_t offset = 0;  // displacement inside the record; the deletion flag is byte 0
    int width = 0;
    int decimals = 0;
    std::uint8_t flags = 0;
    std::int32_t autoIncrementNext = 0;
    int autoIncrementStep = 0;
    int nullBit = -1;       // bit in _NullFlags, or -1
    int varLengthBit = -1;  // V and Q only

    bool isSystem() const { return type == kNullFlagsType; }
    bool isAutoIncrement() const { return (flags & kFieldFlagAutoIncrement) == kFieldFlagAutoIncrement; }
    bool isNullable() const { return (flags & kFieldFlagNullable) != 0; }
    // Values kept as bytes (Blob): NOCPTRANS C and M, Q, W, G, P. A NOCPTRANS V field (VFP 9 sets the
    // flag on its own varchar fields) still holds text.
    bool isBinary() const;
    bool isMemo() const;
    // The name users see: the long name in a container, else the header name.
    const std::string& displayName() const { return longName.empty() ? name : longName; }
};

bool isMemoType(char type);
// The width every VFP table gives a field of this fixed-width type (D 8, I 4, ...), or 0 for the types
// whose width the table chooses (C, V, Q, N, F).
int fixedWidthOf(char type);
bool isVariableLengthType(char type);

// The fieldSpec that recreates `field` (for rewriting a table with a changed structure).
FieldSpec specOf(const Field& field);

// Raises FieldNameInvalid unless `name` is 1..maxLength letters, digits or underscores, not starting
// with a digit.
void validateFieldName(std::string_view name, int maxLength);

// Lays out `fieldSpecs` as VFP does: displacements from 1, flags, widths of the fixed types, and a trailing
// _NullFlags field when any field is nullable or V/Q. Raises FieldNameInvalid (bad or duplicate name),
// FieldWidthInvalid, TooManyFields or RecordTooLong. `recordLength` receives the record length.
std::vector<Field> layoutFields(const std::vector<FieldSpec>& fieldSpecs, int maxNameLength, int& recordLength);

// The upper-case header name for `name`: its first 10 characters, or, when that collides with an
// earlier field, fewer characters and a sequence number (CONTACT_TY, CONTACT_T2).
std::string shortFieldName(std::string_view name, const std::vector<Field>& earlier);

// Gives the fields read from a header their _NullFlags bits (V/Q length bit first, then null bit).
void assignNullFlagBits(std::vector<Field>& fields);

// True when `a` and `b` name the same field (field names ignore case).
bool sameFieldName(std::string_view a, std::string_view b);

}  // namespace dorvane::provider
