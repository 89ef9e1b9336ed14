#include "provider/indexing/record_row.h"

#include <string>

namespace dorvane::provider::indexing {

std::optional<int> TableCatalog::fieldIndex(std::string_view name) const {
    const int index = m_table.fieldIndex(name);
    if (index < 0) return std::nullopt;
    return index;
}

namespace {

// Characters in a UTF-8 text (continuation bytes not counted).
std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++count;
    return count;
}

}  // namespace

Value RecordRow::field(int index) const {
    const Value& value = m_values->at(static_cast<std::size_t>(index));
    const Field& f = m_fields[static_cast<std::size_t>(index)];
    if (f.type != 'C' || !std::holds_alternative<std::string>(value)) return value;
    const std::string& text = std::get<std::string>(value);
    // Single-byte pages hold one character per byte; a double-byte text pads a little long, and
    // the key is cut to its length anyway.
    const std::size_t chars = characterCount(text);
    if (chars >= static_cast<std::size_t>(f.width)) return value;
    std::string padded = text;
    padded.append(static_cast<std::size_t>(f.width) - chars, ' ');
    return padded;
}

}  // namespace dorvane::provider::indexing
