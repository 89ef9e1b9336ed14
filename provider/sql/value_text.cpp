#include "provider/sql/value_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "provider/error.h"
#include "provider/sql/text_utils.h"

namespace dorvane::provider::sql {

namespace {

constexpr double kMaxInteger = 2147483647.0;  // I fields: int32, VFP range +-2,147,483,647

[[noreturn]] void mismatch() {
    throw ProviderError::make(FoxError::DataTypeMismatch);
}
[[noreturn]] void overflow() {
    throw ProviderError::make(FoxError::NumericOverflow);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads exactly `count` digits (or 1..count when `exact` is false) at pos.
std::optional<int> readDigits(std::string_view s, std::size_t& pos, int minCount, int maxCount) {
    int value = 0, n = 0;
    while (pos < s.size() && n < maxCount && isDigit(s[pos])) {
        value = value * 10 + (s[pos] - '0');
        ++pos;
        ++n;
    }
    if (n < minCount) return std::nullopt;
    return value;
}

std::optional<Date> makeDate(int y, int m, int d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
    const std::int32_t jd = julianDayFromCivil(y, m, d);
    int cy, cm, cd;
    civilFromJulianDay(jd, cy, cm, cd);
    if (cy != y || cm != m || cd != d) return std::nullopt;
    return Date{jd};
}

// Parses a date at the start of `s`, leaving pos after it.
std::optional<Date> readDate(std::string_view s, std::size_t& pos) {
    const std::size_t start = pos;
    auto first = readDigits(s, pos, 1, 8);
    if (!first) return std::nullopt;
    const std::size_t len = pos - start;
    if (len == 8) return makeDate(*first / 10000, *first / 100 % 100, *first % 100);        // 20240131
    if (len == 4 && pos < s.size() && (s[pos] == '-' || s[pos] == '.' || s[pos] == '/')) {  // 2024-01-31
        const char sep = s[pos++];
        auto m = readDigits(s, pos, 1, 2);
        if (!m || pos >= s.size() || s[pos++] != sep) return std::nullopt;
        auto d = readDigits(s, pos, 1, 2);
        if (!d) return std::nullopt;
        return makeDate(*first, *m, *d);
    }
    if (len <= 2 && pos < s.size() && s[pos] == '/') {  // 01/31/2024
        ++pos;
        auto d = readDigits(s, pos, 1, 2);
        if (!d || pos >= s.size() || s[pos++] != '/') return std::nullopt;
        const std::size_t yearStart = pos;
        auto y = readDigits(s, pos, 4, 4);
        if (!y || pos - yearStart != 4) return std::nullopt;
        return makeDate(*y, *first, *d);
    }
    return std::nullopt;
}

std::string hexOf(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    }
    return out;
}

std::optional<std::string> bytesOfHex(std::string_view text) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.size() % 2 != 0) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (isDigit(c)) return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = nibble(text[i]), lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<char>(hi * 16 + lo));
    }
    return out;
}

Currency currencyOf(double amount) {
    const double scaled = std::round(amount * 10000.0);
    if (!(std::fabs(scaled) < 9223372036854775808.0)) overflow();  // 2^63
    return Currency{static_cast<std::int64_t>(scaled)};
}

// Exact decimal text to currency units (amount x 10,000), rounding past the fourth decimal; forms with
// an exponent go through double. Overflow of the int64 range raises NumericOverflow.
std::optional<Currency> parseCurrencyText(std::string_view text) {
    const auto number = parseNumberText(text);
    if (!number) return std::nullopt;
    text = trimWhitespace(text);
    if (text.find_first_of("eE") != std::string_view::npos) {
        return currencyOf(*number);
    }
    bool negative = false;
    std::size_t pos = 0;
    if (text[pos] == '+' || text[pos] == '-') negative = text[pos++] == '-';
    // Accumulate as a negative number so the int64 minimum stays reachable.
    std::int64_t units = 0;
    bool roundUp = false;
    auto push = [&](char digit) {
        if (__builtin_mul_overflow(units, 10, &units) || __builtin_sub_overflow(units, digit - '0', &units))
            overflow();
    };
    while (pos < text.size() && isDigit(text[pos])) push(text[pos++]);
    int fraction = 0;
    if (pos < text.size() && text[pos] == '.') ++pos;
    for (; pos < text.size() && isDigit(text[pos]); ++pos, ++fraction) {
        if (fraction < 4)
            push(text[pos]);
        else if (fraction == 4)
            roundUp = text[pos] >= '5';
    }
    for (; fraction < 4; ++fraction) push('0');
    if (roundUp && __builtin_sub_overflow(units, 1, &units)) overflow();
    if (!negative) {
        if (units == std::numeric_limits<std::int64_t>::min()) overflow();
        units = -units;
    }
    return Currency{units};
}

void checkNumericWidth(double v, int width) {
    if (width <= 0) return;
    const double whole = std::floor(std::fabs(v) + 0.5);
    const int digits = whole < 1 ? 1 : static_cast<int>(std::floor(std::log10(whole))) + 1;
    if (digits + (v < 0 ? 1 : 0) > width) overflow();
}

// The shortest text of `d` in `format` that reads back as it.
void appendShortest(std::string& out, double d, std::chars_format format) {
    char buf[400];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d, format);
    if (ec != std::errc()) {
        out += std::to_string(d);
    } else {
        out.append(buf, end);
    }
}

std::optional<double> numberOf(const Value& v) {
    if (const auto* d = std::get_if<double>(&v)) return *d;
    if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (const auto* c = std::get_if<Currency>(&v)) return static_cast<double>(c->scaled) / 10000.0;
    return std::nullopt;
}

Value toNumberField(const Value& v, char type, int width, int decimals) {
    if (const auto* text = std::get_if<std::string>(&v)) {
        const std::string_view t = trimWhitespace(*text);
        if (t.empty()) {
            if (type == 'I') return std::int64_t{0};
            if (type == 'Y') return Currency{};
            return 0.0;
        }
        if (type == 'Y') {
            auto c = parseCurrencyText(t);
            if (!c) mismatch();
            return *c;
        }
        auto n = parseNumberText(t);
        if (!n) mismatch();
        return toNumberField(*n, type, width, decimals);
    }
    if (type == 'Y' && std::holds_alternative<Currency>(v)) return v;
    if (type == 'I' && std::holds_alternative<std::int64_t>(v)) {
        const auto i = std::get<std::int64_t>(v);
        if (i > 2147483647 || i < -2147483647) overflow();
        return v;
    }
    const auto n = numberOf(v);
    if (!n) mismatch();
    if (!std::isfinite(*n)) overflow();
    switch (type) {
        case 'I':
            if (std::fabs(std::round(*n)) > kMaxInteger) overflow();
            return static_cast<std::int64_t>(std::llround(*n));
        case 'Y':
            return currencyOf(*n);
        case 'B':
            return *n;
        default: {  // N, F
            const double rounded = roundDecimal(*n, decimals);
            checkNumericWidth(rounded, width);
            return rounded;
        }
    }
}

}  // namespace

std::optional<double> parseNumberText(std::string_view text) {
    text = trimWhitespace(text);
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    const std::size_t mantissa = pos;
    while (pos < text.size() && isDigit(text[pos])) ++pos;
    std::size_t digits = pos - mantissa;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        const std::size_t fraction = pos;
        while (pos < text.size() && isDigit(text[pos])) ++pos;
        digits += pos - fraction;
    }
    if (digits == 0) return std::nullopt;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
        const std::size_t exponent = pos;
        while (pos < text.size() && isDigit(text[pos])) ++pos;
        if (pos == exponent) return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;
    std::string plain(text[0] == '+' ? text.substr(1) : text);
    // from_chars wants a digit before the point: .5 -> 0.5, -.5 -> -0.5
    const std::size_t dot = plain.find('.');
    if (dot != std::string::npos && (dot == 0 || !isDigit(plain[dot - 1]))) plain.insert(dot, "0");
    double value = 0;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec == std::errc::result_out_of_range) return std::strtod(plain.c_str(), nullptr);  // +-inf or 0
    if (ec != std::errc() || end != plain.data() + plain.size()) return std::nullopt;
    return value;
}

std::optional<Date> parseDateText(std::string_view text) {
    text = trimWhitespace(text);
    std::size_t pos = 0;
    auto d = readDate(text, pos);
    if (!d || pos != text.size()) return std::nullopt;
    return d;
}

std::optional<DateTime> parseDateTimeText(std::string_view text) {
    text = trimWhitespace(text);
    std::size_t pos = 0;
    auto d = readDate(text, pos);
    if (!d) return std::nullopt;
    if (pos == text.size()) return DateTime{d->julianDay, 0};
    if (text[pos] != ' ' && text[pos] != 'T' && text[pos] != 't') return std::nullopt;
    while (++pos < text.size() && text[pos] == ' ') {
    }
    auto h = readDigits(text, pos, 1, 2);
    if (!h || pos >= text.size() || text[pos++] != ':') return std::nullopt;
    auto m = readDigits(text, pos, 2, 2);
    if (!m) return std::nullopt;
    int s = 0, ms = 0;
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        auto sec = readDigits(text, pos, 2, 2);
        if (!sec) return std::nullopt;
        s = *sec;
        if (pos < text.size() && text[pos] == '.') {
            ++pos;
            const std::size_t start = pos;
            auto frac = readDigits(text, pos, 1, 3);
            if (!frac) return std::nullopt;
            ms = *frac;
            for (std::size_t n = pos - start; n < 3; ++n) ms *= 10;
        }
    }
    int hour = *h;
    std::string_view rest = trimWhitespace(text.substr(pos));
    if (!rest.empty()) {
        const bool pm = equalsIgnoreCase(rest, "PM");
        if (!pm && !equalsIgnoreCase(rest, "AM")) return std::nullopt;
        if (hour < 1 || hour > 12) return std::nullopt;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    if (hour > 23 || *m > 59 || s > 59) return std::nullopt;
    return DateTime{d->julianDay, ((hour * 60 + *m) * 60 + s) * 1000 + ms};
}

std::optional<bool> parseLogicalText(std::string_view text) {
    text = trimWhitespace(text);
    for (std::string_view yes : {"TRUE", ".T.", "T", "Y", "YES", ".Y."})
        if (equalsIgnoreCase(text, yes)) return true;
    for (std::string_view no : {"FALSE", ".F.", "F", "N", "NO", ".N."})
        if (equalsIgnoreCase(text, no)) return false;
    return std::nullopt;
}

double roundDecimal(double v, int places) {
    if (!std::isfinite(v)) return v;
    places = places > 18 ? 18 : places < -300 ? -300 : places;
    const double scale = std::pow(10.0, places < 0 ? -places : places);
    const double x = places >= 0 ? v * scale : v / scale;
    if (std::fabs(x) >= 1e15) return v;  // no digits left to round away
    // Fifteen significant digits drop the binary noise (1.005 * 100 = 100.49999999999999).
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", x);
    const double r = std::round(std::strtod(buf, nullptr));
    return places >= 0 ? r / scale : r * scale;
}

std::string formatNumber(double v) {
    if (v == 0) return "0";  // also -0
    const double magnitude = std::fabs(v);
    std::string text;
    appendShortest(
        text, v,
        magnitude >= 1e-6 && magnitude < 1e16 ? std::chars_format::fixed : std::chars_format::general);
    return text;
}

Value convertForField(const Value& v, char type, int width, int decimals) {
    if (isNull(v)) return v;
    const auto* text = std::get_if<std::string>(&v);
    switch (type) {
        case 'C':
        case 'V':
        case 'M':
            if (text || (type == 'M' && std::holds_alternative<Blob>(v))) return v;
            mismatch();
        case 'N':
        case 'F':
        case 'B':
        case 'I':
        case 'Y':
            return toNumberField(v, type, width, decimals);
        case 'D':
            if (std::holds_alternative<Date>(v)) return v;
            if (text) {
                if (trimWhitespace(*text).empty()) return Date{};
                if (auto d = parseDateText(*text)) return *d;
            }
            mismatch();
        case 'T':
            if (std::holds_alternative<DateTime>(v)) return v;
            if (const auto* d = std::get_if<Date>(&v)) return DateTime{d->julianDay, 0};
            if (text) {
                if (trimWhitespace(*text).empty()) return DateTime{};
                if (auto t = parseDateTimeText(*text)) return *t;
            }
            mismatch();
        case 'L':
            if (std::holds_alternative<bool>(v)) return v;
            if (text) {
                if (trimWhitespace(*text).empty()) return false;
                if (auto b = parseLogicalText(*text)) return *b;
            }
            mismatch();
        case 'G':
        case 'W':
        case 'Q':
        case 'P':
            if (std::holds_alternative<Blob>(v)) return v;
            if (text) {
                if (auto bytes = bytesOfHex(trimWhitespace(*text))) return Blob{std::move(*bytes)};
            }
            mismatch();
        default:
            return v;
    }
}

namespace {

// Appends `value` as `digits` decimal digits with leading zeros.
void appendDigits(std::string& out, int value, int digits) {
    char buf[12];
    for (int i = digits - 1; i >= 0; --i) {
        buf[i] = char('0' + value % 10);
        value /= 10;
    }
    out.append(buf, std::size_t(digits));
}

// Writes 0 <= value < 100 as two digits.
void putTwoDigits(char* at, int value) {
    at[0] = char('0' + value / 10);
    at[1] = char('0' + value % 10);
}

// Appends the digits of `magnitude` with a point before its last `decimals` digits (a 0 before the point
// when none is left for it), after a minus sign when `negative`.
void appendScaledWhole(std::string& out, std::uint64_t magnitude, bool negative, int decimals) {
    char digits[24];
    int count = 0;
    do {
        digits[count++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (count <= decimals) digits[count++] = '0';
    char text[48];
    char* at = text;
    if (negative) *at++ = '-';
    for (int i = count - 1; i >= 0; --i) {
        if (i == decimals - 1) *at++ = '.';
        *at++ = digits[i];
    }
    out.append(text, std::size_t(at - text));
}

void appendDate(std::string& out, std::int64_t julianDay) {
    int y, m, day;
    civilFromJulianDay(std::int32_t(julianDay), y, m, day);
    if (y < 0 || y > 9999) {
        char buf[48];
        out +=
            std::string_view(buf, std::size_t(std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, day)));
        return;
    }
    char buf[10];
    putTwoDigits(buf, y / 100);
    putTwoDigits(buf + 2, y % 100);
    buf[4] = '-';
    putTwoDigits(buf + 5, m);
    buf[7] = '-';
    putTwoDigits(buf + 8, day);
    out.append(buf, sizeof buf);
}

// Appends the shortest fixed-notation text that reads back as `d` (0 < |d| < 1e16, at least 1e-6), as
// to_chars writes it. Values with up to fifteen significant digits (nearly all that tables hold) are
// written from the whole number n with n / 10^k == d for the least k; that test also picks the one
// candidate, since a double's neighbours lie closer than one unit in the fifteenth digit.
void appendShortestFixed(std::string& out, double d) {
    static constexpr double kPowers[] = {1e0, 1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,
                                         1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17};
    const double magnitude = std::fabs(d);
    for (int k = 0; k < int(std::size(kPowers)); ++k) {
        const double scaled = magnitude * kPowers[k];
        if (scaled >= 1e15) break;
        const double whole = std::nearbyint(scaled);
        if (whole / kPowers[k] != magnitude) continue;
        appendScaledWhole(out, static_cast<std::uint64_t>(whole), d < 0, k);
        return;
    }
    appendShortest(out, d, std::chars_format::fixed);
}

}  // namespace

void appendForGrid(std::string& out, const Value& v, char type, int decimals) {
    switch (v.index()) {
        case 0:
            return;
        case 1:
            out += std::get<std::string>(v);
            return;
        case 2: {
            const double d = std::get<double>(v);
            if (d == 0) {
                out += '0';
                return;
            }
            const double magnitude = std::fabs(d);
            if (magnitude >= 1e-6 && magnitude < 1e16) {
                appendShortestFixed(out, d);
                return;
            }
            appendShortest(out, d, std::chars_format::general);
            return;
        }
        case 3: {
            char buf[24];
            const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::get<std::int64_t>(v));
            out.append(buf, end);
            return;
        }
        case 7:
            out += std::get<bool>(v) ? "True" : "False";
            return;
        default:
            break;
    }
    if (const auto* blob = std::get_if<Blob>(&v)) {
        out += hexOf(blob->bytes);
        return;
    }
    if (const auto* c = std::get_if<Currency>(&v)) {
        const std::uint64_t magnitude = c->scaled < 0 ? 0 - static_cast<std::uint64_t>(c->scaled) : c->scaled;
        if (c->scaled < 0) out += '-';
        out += std::to_string(magnitude / 10000);
        std::string fraction = std::to_string(10000 + magnitude % 10000).substr(1);
        while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
        if (!fraction.empty()) out += '.' + fraction;
        return;
    }
    if (const auto* d = std::get_if<Date>(&v)) {
        if (!d->empty()) appendDate(out, d->julianDay);
        return;
    }
    const auto& t = std::get<DateTime>(v);
    if (t.empty()) return;
    appendDate(out, t.julianDay);
    const int ms = t.milliseconds;
    out += ' ';
    appendDigits(out, ms / 3600000 % 100, 2);
    out += ':';
    appendDigits(out, ms / 60000 % 60, 2);
    out += ':';
    appendDigits(out, ms / 1000 % 60, 2);
    if (ms % 1000 != 0) {
        out += '.';
        appendDigits(out, ms % 1000, 3);
    }
}

namespace {

// `x` with exactly `decimals` decimals, halves away from zero, zero without a sign.
void appendFixed(std::string& out, double x, int decimals) {
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                                         1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
    if (decimals <= 18) {
        // Most values lie within a quarter unit of a whole number of the last decimal place; the
        // digits of that number are the text (the double nearest to it prints back as it).
        const double scaled = x * kPowers[decimals];
        if (std::fabs(scaled) < 1e14) {
            const double whole = std::nearbyint(scaled);
            if (std::fabs(scaled - whole) < 0.25) {
                const auto n = static_cast<std::int64_t>(whole);
                appendScaledWhole(out, n < 0 ? 0 - static_cast<std::uint64_t>(n) : std::uint64_t(n), n < 0,
                                  decimals);
                return;
            }
        }
    }
    const double r = roundDecimal(x, decimals);
    if (r == 0) {
        out += "0.";
        out.append(std::size_t(decimals), '0');
        return;
    }
    // Enough digits to tell a value exactly halfway between two texts from one just beside it.
    const int precision = 2 * decimals + 24;
    std::string exact(std::size_t(precision) + 32, '\0');
    const auto [end, ec] =
        std::to_chars(exact.data(), exact.data() + exact.size(), r, std::chars_format::fixed, precision);
    exact.resize(std::size_t(end - exact.data()));
    const std::size_t cut = exact.find('.') + std::size_t(decimals) + 1;
    const bool up = exact[cut] >= '5';
    exact.resize(cut);
    if (up) {
        // Up, away from zero: carry through the nines.
        std::size_t i = exact.size();
        while (i > 0) {
            char& c = exact[--i];
            if (c == '.') continue;
            if (c == '-') {
                exact.insert(i + 1, 1, '1');
                break;
            }
            if (c != '9') {
                ++c;
                break;
            }
            c = '0';
            if (i == 0) exact.insert(0, 1, '1');
        }
    }
    out += exact;
}

}  // namespace

void appendCellText(std::string& out, const Value& v, char type, int decimals) {
    if (const auto* text = std::get_if<std::string>(&v)) {
        if (type != 'C') {
            out += *text;
            return;
        }
        std::size_t end = text->size();
        while (end > 0 && (*text)[end - 1] == ' ') --end;
        out.append(*text, 0, end);
        return;
    }
    if (const auto* number = std::get_if<double>(&v)) {
        if (decimals > 0 && std::isfinite(*number) && std::fabs(*number) < 1e15) {
            appendFixed(out, *number, decimals);
            return;
        }
    }
    if (std::holds_alternative<Blob>(v) && type != 'Q') {
        out += kBinaryPlaceholder;
        return;
    }
    appendForGrid(out, v, type, decimals);
}

std::string formatForGrid(const Value& v, char type, int decimals) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    std::string out;
    appendForGrid(out, v, type, decimals);
    return out;
}

}  // namespace dorvane::provider::sql
