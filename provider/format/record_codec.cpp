#include "provider/format/record_codec.h"

#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>

#include "provider/error.h"
#include "provider/format/codepage.h"
#include "provider/format/header.h"

namespace dorvane::provider {
namespace {

constexpr std::int64_t kMaxInteger = 2147483647;
constexpr std::int32_t kMillisecondsPerDay = 86400000;

ProviderError mismatch() {
    return ProviderError::make(FoxError::DataTypeMismatch);
}

bool allBytes(const char* p, int n, char c) {
    for (int i = 0; i < n; ++i)
        if (p[i] != c) return false;
    return true;
}

std::string_view trimmed(const char* p, int n) {
    int begin = 0;
    int end = n;
    while (begin < end && (p[begin] == ' ' || p[begin] == '\0')) ++begin;
    while (end > begin && (p[end - 1] == ' ' || p[end - 1] == '\0')) --end;
    return {p + begin, static_cast<std::size_t>(end - begin)};
}

bool parseDigits(const char* p, int n, int& out) {
    int value = 0;
    for (int i = 0; i < n; ++i) {
        const unsigned digit = static_cast<unsigned char>(p[i]) - unsigned('0');
        if (digit > 9) return false;
        value = value * 10 + static_cast<int>(digit);
    }
    out = value;
    return true;
}

// The value of text made of an optional minus sign, digits and an optional point among them, holding at
// most fifteen digits, or nullopt for any other text. The digits as a whole number n, exact in a double,
// divided by the power of ten of the decimals, is the nearest double to the text, as from_chars finds it.
std::optional<double> plainDecimal(std::string_view text) {
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) ++i;
    std::int64_t whole = 0;
    int digits = 0, decimals = -1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && decimals < 0) {
            decimals = 0;
            continue;
        }
        const unsigned digit = static_cast<unsigned char>(c) - unsigned('0');
        if (digit > 9 || ++digits > 15) return std::nullopt;
        whole = whole * 10 + static_cast<std::int64_t>(digit);
        if (decimals >= 0) ++decimals;
    }
    if (digits == 0) return std::nullopt;
    const double value = static_cast<double>(whole) / kPowers[decimals < 0 ? 0 : decimals];
    return negative ? -value : value;
}

// A number from any numeric Value; false for other types.
bool asDouble(const Value& value, double& out) {
    if (auto d = std::get_if<double>(&value))
        out = *d;
    else if (auto i = std::get_if<std::int64_t>(&value))
        out = static_cast<double>(*i);
    else if (auto c = std::get_if<Currency>(&value))
        out = static_cast<double>(c->scaled) / 10000.0;
    else
        return false;
    return true;
}

}  // namespace

std::string formatNumeric(double value, int width, int decimals) {
    if (!std::isfinite(value)) throw ProviderError::make(FoxError::NumericOverflow);
    if (value == 0) value = 0;  // no "-0.00"
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) throw ProviderError::make(FoxError::NumericOverflow);
    std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    if (text == "-0" ||
        (text.starts_with("-0.") && text.find_first_not_of("0.", 1) == std::string_view::npos))
        text.remove_prefix(1);  // a tiny negative value rounded to zero
    if (static_cast<int>(text.size()) > width) throw ProviderError::make(FoxError::NumericOverflow);
    return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + std::string(text);
}

RecordCodec::RecordCodec(const std::vector<Field>& fields, const CodePage* codePage, bool asciiMemoPointers)
    : m_fields(fields), m_codePage(codePage), m_asciiMemoPointers(asciiMemoPointers) {
    for (const Field& f : fields)
        if (f.isSystem()) {
            m_nullFlagsOffset = f.offset;
            m_nullFlagsWidth = f.width;
        }
}

bool RecordCodec::bit(const char* record, int n) const {
    if (n < 0 || n >= m_nullFlagsWidth * 8) return false;
    return (static_cast<unsigned char>(record[m_nullFlagsOffset + n / 8]) >> (n % 8)) & 1;
}

void RecordCodec::setBit(char* record, int n, bool on) const {
    if (n < 0 || n >= m_nullFlagsWidth * 8) return;
    auto& byte = reinterpret_cast<unsigned char&>(record[m_nullFlagsOffset + n / 8]);
    if (on)
        byte = static_cast<unsigned char>(byte | (1u << (n % 8)));
    else
        byte = static_cast<unsigned char>(byte & ~(1u << (n % 8)));
}

bool RecordCodec::isNull(const char* record, const Field& field) const {
    return bit(record, field.nullBit);
}

Value decodeNumeric(const char* bytes, int width) {
    const std::string_view text = trimmed(bytes, width);
    if (text.empty()) return 0.0;
    if (allBytes(text.data(), static_cast<int>(text.size()), '*')) return std::monostate{};
    if (const auto plain = plainDecimal(text)) return *plain;
    double value = 0;
    const char* begin = text.data();
    if (*begin == '+') ++begin;
    const auto result = std::from_chars(begin, text.data() + text.size(), value);
    if (result.ec != std::errc()) return std::monostate{};
    return value;
}

Value RecordCodec::decode(const char* record, const Field& field) const {
    if (isNull(record, field)) return std::monostate{};
    const char* p = record + field.offset;
    const int w = field.width;
    switch (field.type) {
        case 'C': {
            if (field.isBinary()) return Blob{std::string(p, static_cast<std::size_t>(w))};
            int end = w;
            while (end > 0 && (p[end - 1] == ' ' || p[end - 1] == '\0')) --end;
            if (!m_codePage) throw ProviderError::make(FoxError::CodePageCannotHold);
            return m_codePage->decode(std::string_view(p, static_cast<std::size_t>(end)));
        }
        case 'V':
        case 'Q': {
            int length = w;
            if (bit(record, field.varLengthBit))
                length = std::min<int>(static_cast<unsigned char>(p[w - 1]), w - 1);
            const std::string_view bytes(p, static_cast<std::size_t>(length));
            if (field.type == 'Q') return Blob{std::string(bytes)};
            if (!m_codePage) throw ProviderError::make(FoxError::CodePageCannotHold);
            return m_codePage->decode(bytes);
        }
        case 'N':
        case 'F':
            return decodeNumeric(p, w);
        case 'I':
            return static_cast<std::int64_t>(static_cast<std::int32_t>(readLe32(p)));
        case 'B': {
            if (w != 8) return Blob{std::string(p, static_cast<std::size_t>(w))};
            return std::bit_cast<double>(readLe64(p, 8));
        }
        case 'Y': {
            if (w != 8) return Blob{std::string(p, static_cast<std::size_t>(w))};
            return Currency{static_cast<std::int64_t>(readLe64(p, 8))};
        }
        case 'D': {
            int year = 0, month = 0, day = 0;
            if (w != 8 || !parseDigits(p, 4, year) || !parseDigits(p + 4, 2, month) ||
                !parseDigits(p + 6, 2, day) || year < 1 || month < 1 || month > 12 || day < 1 || day > 31)
                return Date{};
            return Date{julianDayFromCivil(year, month, day)};
        }
        case 'T': {
            if (w != 8) return Blob{std::string(p, static_cast<std::size_t>(w))};
            std::int32_t day = static_cast<std::int32_t>(readLe32(p));
            std::int32_t ms = static_cast<std::int32_t>(readLe32(p + 4));
            if (day <= 0) return DateTime{};
            if (ms < 0 || ms > kMillisecondsPerDay) ms = 0;
            ms = (ms + 500) / 1000 * 1000;
            if (ms >= kMillisecondsPerDay) {
                if (day == INT32_MAX) return DateTime{day, kMillisecondsPerDay - 1000};
                ms -= kMillisecondsPerDay;
                ++day;
            }
            return DateTime{day, ms};
        }
        case 'L':
            switch (p[0]) {
                case 'T':
                case 't':
                case 'Y':
                case 'y':
                    return true;
                case '?':
                    return std::monostate{};
                default:
                    return false;
            }
        default:
            return Blob{std::string(p, static_cast<std::size_t>(w))};
    }
}

std::uint32_t RecordCodec::memoBlock(const char* record, const Field& field) const {
    const char* p = record + field.offset;
    if (field.width == 4 && !m_asciiMemoPointers) return readLe32(p);
    const std::string_view text = trimmed(p, field.width);
    std::uint32_t block = 0;
    if (text.empty()) return 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), block);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() ? block : 0;
}

Value RecordCodec::decodeMemo(const Field& field, const std::string& bytes) const {
    if (field.isBinary()) return Blob{bytes};
    if (!m_codePage) throw ProviderError::make(FoxError::CodePageCannotHold);
    return m_codePage->decode(bytes);
}

std::string RecordCodec::textBytes(const Field& field, const Value& value) const {
    if (auto blob = std::get_if<Blob>(&value)) return blob->bytes;
    const auto* text = std::get_if<std::string>(&value);
    if (!text) throw mismatch();
    if (field.isBinary()) return *text;
    if (!m_codePage) throw ProviderError::make(FoxError::CodePageCannotHold);
    return m_codePage->encode(*text);
}

void RecordCodec::writeEmpty(char* record, const Field& field) const {
    char* p = record + field.offset;
    const auto w = static_cast<std::size_t>(field.width);
    switch (field.type) {
        case 'C':
        case 'N':
        case 'F':
        case 'D':
            std::memset(p, ' ', w);
            break;
        case 'V':
        case 'Q':
            std::memset(p, ' ', w);
            if (field.varLengthBit >= 0) {
                p[w - 1] = 0;
                setBit(record, field.varLengthBit, true);
            }
            break;
        case 'L':
            p[0] = 'F';
            break;
        default:
            std::memset(p, 0, w);
            break;
    }
}

void RecordCodec::blank(char* record, std::size_t recordLength) const {
    std::memset(record, 0, recordLength);
    record[0] = kRecordLive;
    for (const Field& field : m_fields) {
        if (field.isSystem()) continue;
        writeEmpty(record, field);
        if (field.nullBit >= 0) setBit(record, field.nullBit, true);
    }
}

void RecordCodec::encode(char* record, const Field& field, const Value& value) const {
    if (provider::isNull(value)) {
        if (field.nullBit < 0) throw ProviderError::make(FoxError::FieldNotNull, field.displayName());
        writeEmpty(record, field);
        setBit(record, field.nullBit, true);
        return;
    }
    char* p = record + field.offset;
    const int w = field.width;
    switch (field.type) {
        case 'C': {
            const std::string text = textBytes(field, value);
            if (static_cast<int>(text.size()) > w) throw ProviderError::make(FoxError::StringTooLong);
            std::memset(p, ' ', static_cast<std::size_t>(w));
            std::memcpy(p, text.data(), text.size());
            break;
        }
        case 'V':
        case 'Q': {
            if (field.type == 'Q' && !std::holds_alternative<Blob>(value) &&
                !std::holds_alternative<std::string>(value))
                throw mismatch();
            const std::string text = textBytes(field, value);
            if (static_cast<int>(text.size()) > w) throw ProviderError::make(FoxError::StringTooLong);
            std::memset(p, ' ', static_cast<std::size_t>(w));
            std::memcpy(p, text.data(), text.size());
            const bool shorter = static_cast<int>(text.size()) < w;
            if (shorter) {
                if (field.varLengthBit < 0) throw ProviderError::make(FoxError::TableCorrupted);
                p[w - 1] = static_cast<char>(text.size());
            }
            setBit(record, field.varLengthBit, shorter);
            break;
        }
        case 'N':
        case 'F': {
            double number;
            if (!asDouble(value, number)) throw mismatch();
            const std::string text = formatNumeric(number, w, field.decimals);
            std::memcpy(p, text.data(), text.size());
            break;
        }
        case 'B': {
            double number;
            if (!asDouble(value, number) || w != 8) throw mismatch();
            writeLe64(p, std::bit_cast<std::uint64_t>(number), 8);
            break;
        }
        case 'I': {
            std::int64_t number;
            if (auto i = std::get_if<std::int64_t>(&value))
                number = *i;
            else if (auto d = std::get_if<double>(&value)) {
                if (!std::isfinite(*d) || std::fabs(*d) > static_cast<double>(kMaxInteger) + 0.5)
                    throw ProviderError::make(FoxError::NumericOverflow);
                number = std::llround(*d);
            } else
                throw mismatch();
            if (number > kMaxInteger || number < -kMaxInteger)
                throw ProviderError::make(FoxError::NumericOverflow);
            writeLe32(p, static_cast<std::uint32_t>(static_cast<std::int32_t>(number)));
            break;
        }
        case 'Y': {
            std::int64_t scaled;
            if (auto c = std::get_if<Currency>(&value))
                scaled = c->scaled;
            else if (auto i = std::get_if<std::int64_t>(&value)) {
                if (*i > INT64_MAX / 10000 || *i < INT64_MIN / 10000)
                    throw ProviderError::make(FoxError::NumericOverflow);
                scaled = *i * 10000;
            } else if (auto d = std::get_if<double>(&value)) {
                const double s = std::round(*d * 10000.0);
                if (!std::isfinite(s) || std::fabs(s) >= 9.2e18)
                    throw ProviderError::make(FoxError::NumericOverflow);
                scaled = static_cast<std::int64_t>(s);
            } else
                throw mismatch();
            writeLe64(p, static_cast<std::uint64_t>(scaled), 8);
            break;
        }
        case 'D': {
            std::int32_t day;
            if (auto d = std::get_if<Date>(&value))
                day = d->julianDay;
            else if (auto t = std::get_if<DateTime>(&value))
                day = t->julianDay;
            else
                throw mismatch();
            if (day == 0) {
                std::memset(p, ' ', 8);
                break;
            }
            int y, m, dd;
            civilFromJulianDay(day, y, m, dd);
            if (y < 1 || y > 9999) throw ProviderError::make(FoxError::NumericOverflow);
            char text[16];
            std::snprintf(text, sizeof text, "%04d%02d%02d", y, m, dd);
            std::memcpy(p, text, 8);
            break;
        }
        case 'T': {
            DateTime t;
            if (auto dt = std::get_if<DateTime>(&value))
                t = *dt;
            else if (auto d = std::get_if<Date>(&value))
                t = DateTime{d->julianDay, 0};
            else
                throw mismatch();
            if (t.julianDay < 0 || t.milliseconds < 0 || t.milliseconds >= kMillisecondsPerDay)
                throw mismatch();
            writeLe32(p, static_cast<std::uint32_t>(t.julianDay));
            writeLe32(p + 4, static_cast<std::uint32_t>(t.julianDay == 0 ? 0 : t.milliseconds));
            break;
        }
        case 'L': {
            const auto* b = std::get_if<bool>(&value);
            if (!b) throw mismatch();
            p[0] = *b ? 'T' : 'F';
            break;
        }
        default:
            throw mismatch();
    }
    setBit(record, field.nullBit, false);
}

std::string RecordCodec::encodeMemo(char* record, const Field& field, const Value& value) const {
    if (provider::isNull(value)) {
        if (field.nullBit < 0) throw ProviderError::make(FoxError::FieldNotNull, field.displayName());
        setBit(record, field.nullBit, true);
        return {};
    }
    std::string bytes = textBytes(field, value);
    setBit(record, field.nullBit, false);
    return bytes;
}

void RecordCodec::setMemoBlock(char* record, const Field& field, std::uint32_t block) const {
    char* p = record + field.offset;
    if (field.width == 4 && !m_asciiMemoPointers) {
        writeLe32(p, block);
        return;
    }
    std::memset(p, ' ', static_cast<std::size_t>(field.width));
    if (block == 0) return;
    const std::string digits = std::to_string(block);
    if (static_cast<int>(digits.size()) > field.width) throw ProviderError::make(FoxError::NumericOverflow);
    std::memcpy(p + field.width - digits.size(), digits.data(), digits.size());
}

}  // namespace dorvane::provider
