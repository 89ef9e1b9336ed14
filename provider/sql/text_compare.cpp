#include "provider/sql/text_compare.h"

#include <algorithm>
#include <string>

#include "provider/general_collation.h"
#include "provider/sql/text_utils.h"

namespace dorvane::provider::sql {

namespace {

// The code page 1252 byte of a character, or -1 when the page has none.
int cp1252Byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    static constexpr char32_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                           0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == c) return 0x80 + i;
    return -1;
}

// A text's weights in the order of a GENERAL key (general_collation.h): the primary weights of its
// characters, then their diacritics; trailing blanks weigh nothing. A character code page 1252 lacks
// weighs after every other, by its code point.
std::u32string generalWeights(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    std::u32string heads, tails;
    heads.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t c = decodeChar(text, pos);
        const int byte = cp1252Byte(c);
        if (byte < 0) {
            heads.push_back(0x100 + c);
            continue;
        }
        const GeneralWeight& w = kGeneralWeights1252[static_cast<std::size_t>(byte)];
        heads.append(w.heads, w.heads + w.headCount);
        tails.append(w.tails, w.tails + w.tailCount);
    }
    return heads + tails;
}

// Compares weights as keys padded with zeros compare.
int zeroPadCompare(const std::u32string& a, const std::u32string& b) {
    const std::size_t n = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t x = i < a.size() ? a[i] : 0, y = i < b.size() ? b[i] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

template <typename Seq, typename Unit>
int padCompare(const Seq& a, const Seq& b, bool padded) {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<Unit>(a[i]), y = static_cast<Unit>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    if (!padded) return a.size() < b.size() ? -1 : 1;
    const bool leftLonger = a.size() > b.size();
    const Seq& longer = leftLonger ? a : b;
    for (std::size_t i = common; i < longer.size(); ++i) {
        const auto x = static_cast<Unit>(longer[i]);
        if (x != static_cast<Unit>(' ')) return (x > static_cast<Unit>(' ')) == leftLonger ? 1 : -1;
    }
    return 0;
}

}  // namespace

TextCompareMode comparisonMode(const EvalOptions& options) {
    if (options.exact) return TextCompareMode::Padded;
    return options.shorterLength ? TextCompareMode::Shorter : TextCompareMode::Prefix;
}

int compareText(std::string_view left, std::string_view right, TextCompareMode mode,
                const EvalOptions& options) {
    if (mode == TextCompareMode::Shorter) {
        const std::size_t l = charCount(left), r = charCount(right);
        if (l > r)
            left = charSlice(left, 0, r);
        else if (r > l)
            right = charSlice(right, 0, l);
    } else if (mode == TextCompareMode::Prefix) {
        // Cut the left text to the right one's length; a cheap test first, as both are mostly ASCII.
        if (left.size() > right.size() || charCount(left) > charCount(right))
            left = charSlice(left, 0, charCount(right));
    }
    const bool padded = mode != TextCompareMode::Identical;
    if (options.compareText) {
        if (!padded) return options.compareText(left, right);
        const std::size_t l = charCount(left), r = charCount(right);
        if (l == r) return options.compareText(left, right);
        std::string a(left), b(right);
        (l < r ? a : b).append(l < r ? r - l : l - r, ' ');
        return options.compareText(a, b);
    }
    if (options.collation == Collation::General) {
        const int c = zeroPadCompare(generalWeights(left), generalWeights(right));
        if (c != 0 || padded) return c;
        // ==: texts equal but for trailing blanks still differ.
        const std::size_t l = charCount(left), r = charCount(right);
        return l == r ? 0 : (l < r ? -1 : 1);
    }
    return padCompare<std::string_view, unsigned char>(left, right, padded);
}

}  // namespace dorvane::provider::sql
