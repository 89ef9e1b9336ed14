// Field values in a record's bytes: decoding to Value and encoding from Value with FoxPro's checks
// (width, type, null). Memo fields only carry block numbers here; the table moves the memo data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "provider/format/field.h"
#include "provider/value.h"

namespace dorvane::provider {

class CodePage;

// The value of the bytes of an N or F field that is not null: 0 when blank, null when they are all "*"
// (an overflow) or hold no number.
Value decodeNumeric(const char* bytes, int width);

class RecordCodec {
public:
    // `fields` (header order, _NullFlags included) must outlive the codec. `codePage` may be null when
    // the table's mark names no usable page: text cells then raise the code page's error.
    RecordCodec(const std::vector<Field>& fields, const CodePage* codePage, bool asciiMemoPointers);

    bool isNull(const char* record, const Field& field) const;
    // The value of a field that is not a memo (null when its null bit is set).
    Value decode(const char* record, const Field& field) const;
    // The memo block a memo field points to; 0 for an empty memo. Garbage ASCII pointers read as 0.
    std::uint32_t memoBlock(const char* record, const Field& field) const;
    // The value of memo bytes read from the memo file.
    Value decodeMemo(const Field& field, const std::string& bytes) const;

    // Writes `value` into the record. Raises DataTypeMismatch, StringTooLong, NumericOverflow,
    // FieldNotNull or CodePageCannotHold; the record is unchanged when it raises.
    void encode(char* record, const Field& field, const Value& value) const;
    // The bytes a memo field's value stores (empty string = empty memo); sets or clears the null bit.
    // Raises as encode() does.
    std::string encodeMemo(char* record, const Field& field, const Value& value) const;
    void setMemoBlock(char* record, const Field& field, std::uint32_t block) const;

    // A new record as VFP appends it: live, empty values, nullable fields null, V/Q zero length.
    void blank(char* record, std::size_t recordLength) const;
    void writeEmpty(char* record, const Field& field) const;

    const CodePage* codePage() const { return m_codePage; }

private:
    void setBit(char* record, int bit, bool on) const;
    bool bit(const char* record, int bit) const;
    std::string textBytes(const Field& field, const Value& value) const;

    const std::vector<Field>& m_fields;
    const CodePage* m_codePage;
    bool m_asciiMemoPointers;
    std::uint32_t m_nullFlagsOffset = 0;
    int m_nullFlagsWidth = 0;
};

// A number in FoxPro's N/F layout: right-justified in `width` characters with `decimals` decimals.
// Raises NumericOverflow when it does not fit (never writes asterisks).
std::string formatNumeric(double value, int width, int decimals);

}  // namespace dorvane::provider
