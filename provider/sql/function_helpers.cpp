#include "provider/sql/function_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "provider/byte_order.h"
#include "provider/error.h"
#include "provider/sql/text_utils.h"
#include "provider/sql/value_ops.h"
#include "provider/sql/value_text.h"

namespace dorvane::provider::sql::detail {

[[noreturn]] void mismatch() {
    throw ProviderError::make(FoxError::DataTypeMismatch);
}

const std::string& text(const Value& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    mismatch();
}

double number(const Value& v) {
    if (auto n = numericValue(v)) return *n;
    mismatch();
}

std::int64_t whole(const Value& v) {
    const double n = number(v);
    if (!std::isfinite(n) || std::fabs(n) > 9e15) throw ProviderError::make(FoxError::NumericOverflow);
    return static_cast<std::int64_t>(std::trunc(n));
}

std::size_t count(const Value& v) {
    const std::int64_t n = whole(v);
    if (n > kMaxStringLength) throw ProviderError::make(FoxError::StringTooLong);
    return n < 0 ? 0 : static_cast<std::size_t>(n);
}

std::pair<std::int32_t, std::int32_t> moment(const Value& v) {
    if (const auto* d = std::get_if<Date>(&v)) return {d->julianDay, 0};
    if (const auto* t = std::get_if<DateTime>(&v)) return {t->julianDay, t->milliseconds};
    mismatch();
}

std::string civil(std::int32_t jd, const char* format) {
    int y, m, d;
    civilFromJulianDay(jd, y, m, d);
    char buf[32];
    if (format[0] == 'Y')
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
    else
        std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", m, d, y);
    return buf;
}

std::string strOf(double n, std::int64_t len, std::int64_t dec) {
    if (len <= 0) return {};
    if (len > 255) mismatch();
    dec = std::clamp<std::int64_t>(dec, 0, 18);
    char buf[400];
    for (std::int64_t d = dec; d >= 0; --d) {
        if (std::fabs(n) >= 1e300) break;
        std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(d), roundDecimal(n, static_cast<int>(d)));
        std::string s = buf;
        if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);  // -0.00
        if (static_cast<std::int64_t>(s.size()) <= len) return std::string(len - s.size(), ' ') + s;
    }
    return std::string(static_cast<std::size_t>(len), '*');
}

std::string padded(const std::string& s, std::size_t width, const Value* fill, char side) {
    const std::string f = fill ? text(*fill) : std::string(" ");
    const std::size_t have = charCount(s);
    if (have >= width) return std::string(charSlice(s, 0, width));
    if (f.empty()) return s;
    const std::size_t missing = width - have;
    const std::size_t left = side == 'L' ? missing : side == 'C' ? missing / 2 : 0;
    auto repeat = [&](std::size_t n) {
        std::string out;
        const std::size_t fl = charCount(f);
        for (std::size_t i = 0; i < n; ++i) out += charSlice(f, i % fl, 1);
        return out;
    };
    return repeat(left) + s + repeat(missing - left);
}

// The text PADL/PADR/PADC give to a non-text value.
std::string displayText(const Value& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    if (const auto* d = std::get_if<Date>(&v)) return d->empty() ? "  /  /    " : civil(d->julianDay, "M");
    if (const auto* b = std::get_if<bool>(&v)) return *b ? ".T." : ".F.";
    if (const auto n = numericValue(v)) return formatNumber(*n);
    mismatch();
}

bool isEmptyValue(const Value& v) {
    if (const auto* s = std::get_if<std::string>(&v))
        return s->find_first_not_of(" \t\r\n") == std::string::npos;
    if (const auto n = numericValue(v)) return *n == 0;
    if (const auto* d = std::get_if<Date>(&v)) return d->empty();
    if (const auto* t = std::get_if<DateTime>(&v)) return t->empty();
    if (const auto* b = std::get_if<bool>(&v)) return !*b;
    if (const auto* blob = std::get_if<Blob>(&v)) return blob->bytes.empty();
    return false;  // EMPTY(.NULL.) is .F.
}

double valOf(const std::string& s) {
    const std::string_view t = trimLeftBlanks(trimWhitespace(s));
    std::size_t end = 0;
    if (end < t.size() && (t[end] == '+' || t[end] == '-')) ++end;
    while (end < t.size() && std::isdigit(static_cast<unsigned char>(t[end]))) ++end;
    if (end < t.size() && t[end] == '.') ++end;
    while (end < t.size() && std::isdigit(static_cast<unsigned char>(t[end]))) ++end;
    if (end < t.size() && (t[end] == 'e' || t[end] == 'E')) {
        std::size_t e = end + 1;
        if (e < t.size() && (t[e] == '+' || t[e] == '-')) ++e;
        if (e < t.size() && std::isdigit(static_cast<unsigned char>(t[e]))) {
            while (e < t.size() && std::isdigit(static_cast<unsigned char>(t[e]))) ++e;
            end = e;
        }
    }
    while (end > 0) {  // drop a sign or point left without digits
        if (auto n = parseNumberText(t.substr(0, end))) return *n;
        --end;
    }
    return 0;
}

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return parts;
}

Value makeDateValue(std::int64_t y, std::int64_t m, std::int64_t d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) mismatch();
    if (auto date = parseDateText(std::to_string(10000 * y + 100 * m + d))) return *date;
    mismatch();
}

std::string bintoc(std::int64_t n, std::int64_t size) {
    std::uint64_t bits;
    switch (size) {
        case 1:
            if (n < -128 || n > 127) throw ProviderError::make(FoxError::NumericOverflow);
            bits = static_cast<std::uint8_t>(n) ^ 0x80u;
            break;
        case 2:
            if (n < -32768 || n > 32767) throw ProviderError::make(FoxError::NumericOverflow);
            bits = static_cast<std::uint16_t>(n) ^ 0x8000u;
            break;
        case 4:
            if (n < INT32_MIN || n > INT32_MAX) throw ProviderError::make(FoxError::NumericOverflow);
            bits = static_cast<std::uint32_t>(n) ^ 0x80000000u;
            break;
        case 8:
            bits = static_cast<std::uint64_t>(n) ^ 0x8000000000000000ull;
            break;
        default:
            mismatch();
    }
    std::string out(static_cast<std::size_t>(size), '\0');
    writeBe64(out.data(), bits, static_cast<int>(size));
    return out;
}

Value ttoc(const Value& v, std::int64_t style) {
    const auto [jd, ms] = moment(v);
    int y, mo, d;
    char buf[48];
    const int h = ms / 3600000, mi = ms / 60000 % 60, s = ms / 1000 % 60;
    if (jd == 0) return std::string(style == 1 ? 14 : style == 3 ? 19 : 22, ' ');
    civilFromJulianDay(jd, y, mo, d);
    if (style == 1)
        std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", y, mo, d, h, mi, s);
    else if (style == 3)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi, s);
    else
        std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d %s", mo, d, y,
                      h % 12 == 0 ? 12 : h % 12, mi, s, h < 12 ? "AM" : "PM");
    return std::string(buf);
}

}  // namespace dorvane::provider::sql::detail
