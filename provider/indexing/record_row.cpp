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

Value paddedToWidth(Value value, const Field& f) {
    auto* text = std::get_if<std::string>(&value);
    if (f.type != 'C' || !text) return value;
    // Single-byte pages hold one character per byte; a double-byte text pads a little long, and
    // a key is cut to its length anyway.
    const std::size_t chars = characterCount(*text);
    if (chars < static_cast<std::size_t>(f.width)) text->append(static_cast<std::size_t>(f.width) - chars, ' ');
    return value;
}

Value RecordRow::field(int index) const {
    return paddedToWidth(m_values->at(static_cast<std::size_t>(index)), m_fields[static_cast<std::size_t>(index)]);
}

}  // namespace dorvane::provider::indexing
