#include "provider/sql/text_compare.h"

#include <string>

#include "provider/sql/text_utils.h"

namespace dorvane::provider::sql {

namespace {

// Primary weights of the general collation for one character (see the header).
void appendGeneralWeights(char32_t c, std::u32string& out) {
    if (c >= 'a' && c <= 'z') {
        out.push_back(c - 32);
        return;
    }
    if (c < 0xC0) {
        out.push_back(c);
        return;
    }
    // U+00C0..U+00FF folded to base letters; 0 marks the ones handled below.
    static constexpr char kLatin1[] =
        "AAAAAA\0CEEEEIIII"      // C0-CF: A-grave .. I-diaeresis (C6 = AE)
        "DNOOOOO\xd7OUUUUY\0\0"  // D0-DF: Eth .. Y-acute, Thorn, sharp s
        "AAAAAA\0CEEEEIIII"      // E0-EF
        "DNOOOOO\xf7OUUUUY\0Y";  // F0-FF
    if (c <= 0xFF) {
        const char base = kLatin1[c - 0xC0];
        if (base != 0) {
            out.push_back(static_cast<unsigned char>(base));
            return;
        }
        if (c == 0xC6 || c == 0xE6) {
            out.push_back('A');
            out.push_back('E');
        } else if (c == 0xDF) {
            out.push_back('S');
            out.push_back('S');
        } else {
            out.push_back(c == 0xFE ? 0xDE : c);  // thorn
        }
        return;
    }
    switch (c) {
        case 0x152:
        case 0x153:
            out.push_back('O');
            out.push_back('E');
            return;
        case 0x160:
        case 0x161:
            out.push_back('S');
            return;
        case 0x17D:
        case 0x17E:
            out.push_back('Z');
            return;
        case 0x178:
            out.push_back('Y');
            return;
        default:
            out.push_back(c);
    }
}

std::u32string generalWeights(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) appendGeneralWeights(decodeChar(text, pos), out);
    return out;
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
    if (options.collation == Collation::General)
        return padCompare<std::u32string, char32_t>(generalWeights(left), generalWeights(right), padded);
    return padCompare<std::string_view, unsigned char>(left, right, padded);
}

}  // namespace dorvane::provider::sql
