#include "provider/sql/text_utils.h"

namespace dorvane::provider::sql {

namespace {

// Length of a well-formed sequence starting at text[pos], or 0 when the bytes are not one.
std::size_t sequenceLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t len = lead < 0x80           ? 1
                      : (lead >> 5) == 0x6  ? 2
                      : (lead >> 4) == 0xE  ? 3
                      : (lead >> 3) == 0x1E ? 4
                                            : 0;
    if (len == 0 || pos + len > text.size()) return 0;
    for (std::size_t i = 1; i < len; ++i)
        if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return 0;
    return len;
}

char32_t upperOf(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
    if (c == 0xFF) return 0x178;
    if (c == 0x153) return 0x152;
    if (c == 0x161) return 0x160;
    if (c == 0x17E) return 0x17D;
    return c;
}

char32_t lowerOf(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
    if (c == 0x178) return 0xFF;
    if (c == 0x152) return 0x153;
    if (c == 0x160) return 0x161;
    if (c == 0x17D) return 0x17E;
    return c;
}

template <typename Map>
std::string mapChars(std::string_view text, Map map) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const char32_t c = decodeChar(text, pos);
        if (pos - start == 1 && static_cast<unsigned char>(text[start]) >= 0x80) {
            out.push_back(text[start]);  // malformed byte: keep as it is
            continue;
        }
        appendChar(out, map(c));
    }
    return out;
}

}  // namespace

char32_t decodeChar(std::string_view text, std::size_t& pos) {
    const std::size_t len = sequenceLength(text, pos);
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (len <= 1) {
        ++pos;
        return lead;
    }
    char32_t c = lead & (0x7F >> len);
    for (std::size_t i = 1; i < len; ++i) c = (c << 6) | (static_cast<unsigned char>(text[pos + i]) & 0x3F);
    pos += len;
    return c;
}

void appendChar(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::size_t charCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) {
        const std::size_t len = sequenceLength(text, pos);
        pos += len == 0 ? 1 : len;
    }
    return count;
}

std::size_t byteOffsetOfChar(std::string_view text, std::size_t index) {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < index && pos < text.size(); ++i) {
        const std::size_t len = sequenceLength(text, pos);
        pos += len == 0 ? 1 : len;
    }
    return pos;
}

std::string_view charSlice(std::string_view text, std::size_t start, std::size_t count) {
    const std::size_t from = byteOffsetOfChar(text, start);
    const std::string_view rest = text.substr(from);
    return rest.substr(0, byteOffsetOfChar(rest, count));
}

std::string toUpperText(std::string_view text) {
    return mapChars(text, upperOf);
}
std::string toLowerText(std::string_view text) {
    return mapChars(text, lowerOf);
}

std::string_view trimRightBlanks(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

std::string_view trimLeftBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    return text;
}

std::string_view trimWhitespace(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x -= 32;
        if (y >= 'a' && y <= 'z') y -= 32;
        if (x != y) return false;
    }
    return true;
}

}  // namespace dorvane::provider::sql
