// Keys read straight from a record's bytes for the key expressions most tags have (a field, UPPER()
// or LOWER() of a character field, DTOS() of a date field, a character field in a GENERAL tag): the
// bytes TagKey::keyOf gives, without
// decoding values or running the evaluator. Every other tag, and any record this cannot read, takes
// TagKey::keyOf.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "provider/format/record_codec.h"
#include "provider/format/table.h"
#include "provider/indexing/tag_key.h"

namespace dorvane::provider::indexing {

class DirectKey {
public:
    // A reader for `tag`, or nullopt when the tag has a FOR clause or an expression, field type or
    // code page it does not cover. `table` must outlive the reader.
    static std::optional<DirectKey> forTag(const Table& table, const TagKey& tag);

    // Writes the key of a record (its bytes, deletion flag first) to `out` (the tag's key length).
    // Returns false when this record needs TagKey::keyOf instead: a byte the code page cannot turn
    // into a key byte, a value no key holds, a null in a tag without the null marker. Never raises;
    // safe to call from several threads at once.
    bool keyOf(const char* record, unsigned char* out) const;

private:
    enum class Reading { Text, General, Integer, Dtos, Value };
    DirectKey() = default;
    bool valueKey(const char* record, unsigned char* out) const;

    Reading m_reading = Reading::Value;
    const Field* m_field = nullptr;
    index::KeyType m_keyType = index::KeyType::Character;
    std::uint16_t m_valueLength = 0;
    bool m_nullable = false;                     // keys carry the null marker byte
    std::uint32_t m_nullFlagsOffset = 0;         // of the _NullFlags bytes in the record
    int m_nullFlagsBits = 0;                     // bits the _NullFlags bytes hold (none: 0)
    std::array<std::int16_t, 256> m_bytes{};     // Text: the key byte for each record byte, -1: keyOf decides
                                                 // (General: the byte itself where its text keeps it)
    std::shared_ptr<const RecordCodec> m_codec;  // Value
};

}  // namespace dorvane::provider::indexing
