#include "provider/indexing/direct_key.h"

#include <cstring>

#include "provider/byte_order.h"
#include "provider/error.h"
#include "provider/format/codepage.h"
#include "provider/general_collation.h"
#include "provider/sql/text_utils.h"

namespace dorvane::provider::indexing {
namespace {

// Per byte of a single-byte page, the key byte the general path makes of it: decoded, case-mapped
// as UPPER()/LOWER() do (or left), encoded back. -1 where that fails or gives other than one byte.
bool textBytes(const CodePage* page, KeyForm::Kind kind, std::array<std::int16_t, 256>& out) {
    if (!page || page->isDoubleByte()) return false;
    for (int b = 0; b < 256; ++b) {
        out[b] = -1;
        const char byte = static_cast<char>(b);
        try {
            std::string text = page->decode(std::string_view(&byte, 1));
            if (kind == KeyForm::Kind::Upper) text = sql::toUpperText(text);
            if (kind == KeyForm::Kind::Lower) text = sql::toLowerText(text);
            const std::string bytes = page->encode(text);
            if (bytes.size() == 1) out[b] = static_cast<unsigned char>(bytes[0]);
        } catch (const ProviderError&) {
        }
    }
    return true;
}

bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

int digits(const unsigned char* p, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) v = v * 10 + (p[i] - '0');
    return v;
}

// Days of a month in the calendar julianDayFromCivil() counts in (Gregorian, also before 1582).
int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

void putDigits(unsigned char* out, int value, int n) {
    for (int i = n - 1; i >= 0; --i, value /= 10) out[i] = static_cast<unsigned char>('0' + value % 10);
}

}  // namespace

std::optional<DirectKey> DirectKey::forTag(const Table& table, const TagKey& tag) {
    const KeyForm& form = tag.form();
    if (tag.hasFor() || form.kind == KeyForm::Kind::Other) return std::nullopt;
    const Field& field = table.fields().at(static_cast<std::size_t>(form.field));
    DirectKey d;
    d.m_field = &field;
    d.m_keyType = tag.keyType();
    d.m_valueLength = tag.valueLength();
    d.m_nullable = tag.nullable();
    for (const Field& f : table.header().fields)
        if (f.isSystem()) {
            d.m_nullFlagsOffset = f.offset;
            d.m_nullFlagsBits = f.width * 8;
        }
    const bool text = field.type == 'C' && !field.isBinary() && field.width == d.m_valueLength &&
                      d.m_keyType == index::KeyType::Character;
    if (tag.general()) {
        // GENERAL keys are weights of the field's code page 1252 bytes (the tag's code page).
        if (form.kind != KeyForm::Kind::Field || field.type != 'C' || field.isBinary() ||
            field.width * 2 != d.m_valueLength || !textBytes(tag.codePage(), form.kind, d.m_bytes))
            return std::nullopt;
        d.m_reading = Reading::General;
        return d;
    }
    switch (form.kind) {
        case KeyForm::Kind::Field:
            if (field.type == 'C') {
                if (!text || !textBytes(tag.codePage(), form.kind, d.m_bytes)) return std::nullopt;
                d.m_reading = Reading::Text;
            } else if (field.type == 'I' && field.width == 4 && d.m_keyType == index::KeyType::Integer) {
                d.m_reading = Reading::Integer;
            } else if (std::string_view("NFBYTDL").find(field.type) != std::string_view::npos) {
                d.m_reading = Reading::Value;
                d.m_codec = std::make_shared<RecordCodec>(table.header().fields, table.codePage(), false);
            } else {
                return std::nullopt;
            }
            return d;
        case KeyForm::Kind::Upper:
        case KeyForm::Kind::Lower:
            if (!text || !textBytes(tag.codePage(), form.kind, d.m_bytes)) return std::nullopt;
            d.m_reading = Reading::Text;
            return d;
        case KeyForm::Kind::Dtos:
            if (field.type != 'D' || field.width != 8 || d.m_valueLength != 8 ||
                d.m_keyType != index::KeyType::Character)
                return std::nullopt;
            d.m_reading = Reading::Dtos;
            return d;
        case KeyForm::Kind::Other:
            break;
    }
    return std::nullopt;
}

bool DirectKey::keyOf(const char* record, unsigned char* out) const {
    const Field& f = *m_field;
    if (f.nullBit >= 0 && f.nullBit < m_nullFlagsBits &&
        ((static_cast<unsigned char>(record[m_nullFlagsOffset + f.nullBit / 8]) >> (f.nullBit % 8)) & 1)) {
        if (!m_nullable) return false;  // keyOf raises what FoxPro does
        std::memset(out, 0, m_valueLength + 1u);
        return true;
    }
    if (m_nullable) *out++ = 0x80;
    const auto* p = reinterpret_cast<const unsigned char*>(record) + f.offset;
    switch (m_reading) {
        case Reading::Text: {
            // The field's text ends before trailing blanks and NULs, then blanks fill the key.
            std::size_t end = m_valueLength;
            for (std::uint64_t word; end >= 8; end -= 8) {  // eight blanks or NULs at a time
                std::memcpy(&word, p + end - 8, 8);
                if ((word & 0xDFDFDFDFDFDFDFDFull) != 0) break;
            }
            while (end > 0 && (p[end - 1] == ' ' || p[end - 1] == '\0')) --end;
            for (std::size_t i = 0; i < end; ++i) {
                const std::int16_t b = m_bytes[p[i]];
                if (b < 0) return false;
                out[i] = static_cast<unsigned char>(b);
            }
            std::memset(out + end, ' ', m_valueLength - end);
            return true;
        }
        case Reading::General: {
            // The text ends before trailing blanks and NULs, as for MACHINE keys; a byte whose text is
            // not itself leaves the record to TagKey::keyOf.
            std::size_t end = static_cast<std::size_t>(f.width);
            while (end > 0 && (p[end - 1] == ' ' || p[end - 1] == '\0')) --end;
            for (std::size_t i = 0; i < end; ++i)
                if (m_bytes[p[i]] != p[i]) return false;
            encodeGeneralKey(std::string_view(reinterpret_cast<const char*>(p), end), out, m_valueLength);
            return true;
        }
        case Reading::Integer:
            writeBe32(out, readLe(p, 4) ^ 0x80000000u);
            return true;
        case Reading::Dtos: {
            // A date the field's digits do not make is the empty date, whose DTOS() is blanks; a day
            // past the month's end runs into the next month.
            bool valid = true;
            for (int i = 0; i < 8; ++i) valid = valid && isDigit(p[i]);
            const int year = valid ? digits(p, 4) : 0, month = valid ? digits(p + 4, 2) : 0,
                      day = valid ? digits(p + 6, 2) : 0;
            if (year < 1 || month < 1 || month > 12 || day < 1 || day > 31) {
                std::memset(out, ' ', 8);
                return true;
            }
            if (day <= daysInMonth(year, month)) {
                std::memcpy(out, p, 8);
                return true;
            }
            int y = 0, m = 0, d = 0;
            civilFromJulianDay(julianDayFromCivil(year, month, day), y, m, d);
            putDigits(out, y, 4);
            putDigits(out + 4, m, 2);
            putDigits(out + 6, d, 2);
            return true;
        }
        case Reading::Value:
            return valueKey(record, out);
    }
    return false;
}

bool DirectKey::valueKey(const char* record, unsigned char* out) const {
    try {
        const Value value = m_codec->decode(record, *m_field);
        // A value that reads as null without the null bit ('?' in a logical, asterisks in a number).
        if (std::holds_alternative<std::monostate>(value)) return false;
        const std::string key = index::encodeKey(value, m_keyType, m_valueLength);
        if (key.size() != m_valueLength) return false;
        std::memcpy(out, key.data(), key.size());
        return true;
    } catch (const ProviderError&) {
        return false;
    }
}

}  // namespace dorvane::provider::indexing
