#include "provider/index/key_encoding.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "provider/byte_order.h"
#include "provider/error.h"

namespace dorvane::provider::index {
namespace {

std::string bigEndian(std::uint64_t bits, int size) {
    std::string out(static_cast<std::size_t>(size), '\0');
    writeBe64(out.data(), bits, size);
    return out;
}

constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
constexpr double kMillisecondsPerDay = 86400000.0;

}  // namespace

unsigned char padByteFor(KeyType type, std::string_view collation) {
    return type == KeyType::Character && isMachineCollation(collation) ? ' ' : 0x00;
}

std::string encodeCharacterKey(std::string_view codePageBytes, std::uint16_t keyLength) {
    std::string key(codePageBytes.substr(0, keyLength));
    key.resize(keyLength, ' ');
    return key;
}

std::string encodeDoubleKey(double value) {
    if (value == 0.0) value = 0.0;  // -0 sorts and encodes as +0
    std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    bits = (bits & kSignBit) ? ~bits : (bits ^ kSignBit);
    return bigEndian(bits, 8);
}

double decodeDoubleKey(std::string_view key) {
    if (key.size() != 8) throw ProviderError::make(FoxError::DataTypeMismatch);
    std::uint64_t bits = readBe64(key.data(), 8);
    bits = (bits & kSignBit) ? (bits ^ kSignBit) : ~bits;
    return std::bit_cast<double>(bits);
}

std::string encodeIntegerKey(std::int32_t value) {
    return bigEndian(static_cast<std::uint32_t>(value) ^ 0x80000000u, 4);
}

std::string encodeDateKey(Date value) {
    return encodeDoubleKey(static_cast<double>(value.julianDay));
}

std::string encodeDateTimeKey(DateTime value) {
    if (value.empty()) return encodeDoubleKey(0.0);
    return encodeDoubleKey(static_cast<double>(value.julianDay) + value.milliseconds / kMillisecondsPerDay);
}

std::string encodeCurrencyKey(Currency value) {
    return encodeDoubleKey(static_cast<double>(value.scaled) / 10000.0);
}

std::string encodeLogicalKey(bool value) {
    return value ? "T" : "F";
}

std::string encodeNullableKey(const std::optional<std::string>& valueKey, std::uint16_t valueKeyLength) {
    if (!valueKey) return std::string(valueKeyLength + 1u, '\0');
    return '\x80' + valueKey->substr(0, valueKeyLength);
}

std::string encodeKey(const Value& value, KeyType type, std::uint16_t keyLength) {
    const auto mismatch = [] { return ProviderError::make(FoxError::DataTypeMismatch); };
    switch (type) {
        case KeyType::Character:
            if (const auto* s = std::get_if<std::string>(&value)) return encodeCharacterKey(*s, keyLength);
            if (const auto* b = std::get_if<Blob>(&value)) return encodeCharacterKey(b->bytes, keyLength);
            throw mismatch();
        case KeyType::Numeric:
            if (const auto* d = std::get_if<double>(&value)) return encodeDoubleKey(*d);
            if (const auto* i = std::get_if<std::int64_t>(&value))
                return encodeDoubleKey(static_cast<double>(*i));
            if (const auto* y = std::get_if<Currency>(&value)) return encodeCurrencyKey(*y);
            throw mismatch();
        case KeyType::Integer:
            if (const auto* i = std::get_if<std::int64_t>(&value)) {
                if (*i < INT32_MIN || *i > INT32_MAX) throw ProviderError::make(FoxError::NumericOverflow);
                return encodeIntegerKey(static_cast<std::int32_t>(*i));
            }
            throw mismatch();
        case KeyType::Date:
            if (const auto* d = std::get_if<Date>(&value)) return encodeDateKey(*d);
            throw mismatch();
        case KeyType::DateTime:
            if (const auto* t = std::get_if<DateTime>(&value)) return encodeDateTimeKey(*t);
            throw mismatch();
        case KeyType::Currency:
            if (const auto* y = std::get_if<Currency>(&value)) return encodeCurrencyKey(*y);
            throw mismatch();
        case KeyType::Logical:
            if (const auto* b = std::get_if<bool>(&value)) return encodeLogicalKey(*b);
            throw mismatch();
    }
    throw mismatch();
}

std::optional<std::pair<KeyType, std::uint16_t>> keyForField(char fieldType, int width) {
    switch (fieldType) {
        case 'C':
        case 'V':
            if (width < 1 || width > 240) return std::nullopt;  // longer keys do not fit a compact tag
            return std::pair{KeyType::Character, static_cast<std::uint16_t>(width)};
        case 'I':
            return std::pair{KeyType::Integer, std::uint16_t{4}};
        case 'N':
        case 'F':
        case 'B':
            return std::pair{KeyType::Numeric, std::uint16_t{8}};
        case 'D':
            return std::pair{KeyType::Date, std::uint16_t{8}};
        case 'T':
            return std::pair{KeyType::DateTime, std::uint16_t{8}};
        case 'Y':
            return std::pair{KeyType::Currency, std::uint16_t{8}};
        case 'L':
            return std::pair{KeyType::Logical, std::uint16_t{1}};
        default:
            return std::nullopt;
    }
}

bool isMachineCollation(std::string_view collation) {
    return collation.empty() || collation == "MACHINE";
}

bool collationSupported(std::string_view collation) {
    return isMachineCollation(collation) || collation == "GENERAL";
}

}  // namespace dorvane::provider::index
