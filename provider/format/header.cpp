#include "provider/format/header.h"

#include <algorithm>
#include <cstring>

#include "provider/error.h"

namespace dorvane::provider {

bool isVfpVersion(std::uint8_t version) {
    return version == kVersionVfp || version == kVersionVfpAutoInc || version == kVersionVfpVarchar;
}

namespace {

bool isKnownVersion(std::uint8_t v) {
    switch (v) {
        case 0x02:
        case 0x03:
        case 0x04:
        case 0x05:
        case 0x30:
        case 0x31:
        case 0x32:
        case 0x43:
        case 0x63:
        case 0x83:
        case 0x8B:
        case 0xCB:
        case 0xF5:
        case 0xFB:
            return true;
        default:
            return false;
    }
}

}  // namespace

TableHeader readTableHeader(const File& file, const std::string& nameForErrors) {
    const std::uint64_t fileSize = file.size();
    auto corrupted = [&] { return ProviderError::make(FoxError::TableCorrupted, nameForErrors); };
    char fixed[kTableHeaderSize];
    if (fileSize < kTableHeaderSize + kFieldRecordSize ||
        file.readAt(0, fixed, kTableHeaderSize) != kTableHeaderSize ||
        !isKnownVersion(static_cast<std::uint8_t>(fixed[kOffsetVersion])))
        throw ProviderError::make(FoxError::NotATable, nameForErrors);

    TableHeader header;
    header.version = static_cast<std::uint8_t>(fixed[kOffsetVersion]);
    const int yearByte = static_cast<unsigned char>(fixed[kOffsetYear]);
    header.year = yearByte > 99 ? 1900 + yearByte : (yearByte < 80 ? 2000 + yearByte : 1900 + yearByte);
    header.month = static_cast<unsigned char>(fixed[kOffsetMonth]);
    header.day = static_cast<unsigned char>(fixed[kOffsetDay]);
    header.recordCount = readLe32(fixed + kOffsetRecordCount);
    header.headerLength = readLe16(fixed + kOffsetHeaderLength);
    header.recordLength = readLe16(fixed + kOffsetRecordLength);
    header.tableFlags = static_cast<std::uint8_t>(fixed[kOffsetTableFlags]);
    header.codePageMark = static_cast<std::uint8_t>(fixed[kOffsetCodePage]);
    const bool vfp = isVfpVersion(header.version);

    if (header.headerLength < kTableHeaderSize + kFieldRecordSize + 1 || header.headerLength > fileSize ||
        header.recordLength < 2)
        throw corrupted();

    std::string bytes(header.headerLength, '\0');
    if (file.readAt(0, bytes.data(), bytes.size()) != bytes.size()) throw corrupted();

    std::size_t pos = kTableHeaderSize;
    bool terminated = false;
    while (pos < bytes.size()) {
        if (static_cast<std::uint8_t>(bytes[pos]) == kFieldTerminator) {
            terminated = true;
            break;
        }
        if (pos + kFieldRecordSize > bytes.size()) break;
        const char* sub = bytes.data() + pos;
        Field field;
        const char* nameEnd = static_cast<const char*>(std::memchr(sub, '\0', kFieldNameSize));
        field.name.assign(sub, nameEnd ? static_cast<std::size_t>(nameEnd - sub) : kFieldNameSize);
        field.type = sub[kFieldOffsetType];
        field.offset = readLe32(sub + kFieldOffsetDisplacement);
        field.width = static_cast<unsigned char>(sub[kFieldOffsetWidth]);
        field.decimals = static_cast<unsigned char>(sub[kFieldOffsetDecimals]);
        if (vfp) {
            field.flags = static_cast<std::uint8_t>(sub[kFieldOffsetFlags]);
            field.autoIncrementNext = static_cast<std::int32_t>(readLe32(sub + kFieldOffsetAutoIncNext));
            field.autoIncrementStep = static_cast<unsigned char>(sub[kFieldOffsetAutoIncStep]);
        }
        if (field.width == 0) throw corrupted();
        header.fields.push_back(std::move(field));
        if (header.fields.size() > static_cast<std::size_t>(kMaxFields)) throw corrupted();
        pos += kFieldRecordSize;
    }
    if (header.fields.empty() || (vfp && !terminated)) throw corrupted();

    // Older writers leave displacements 0 or garbage; VFP always fills them.
    bool computed = !vfp;
    if (vfp) {
        bool allZero = true;
        for (const Field& f : header.fields) allZero = allZero && f.offset == 0;
        computed = allZero;
    }
    std::uint32_t offset = 1;
    for (Field& f : header.fields) {
        if (computed) f.offset = offset;
        offset += static_cast<std::uint32_t>(f.width);
        if (f.offset < 1 || static_cast<std::uint64_t>(f.offset) + f.width > header.recordLength)
            throw corrupted();
    }
    assignNullFlagBits(header.fields);
    for (Field& f : header.fields) {
        if (f.isSystem()) continue;
        // _NullFlags must hold every bit a field claims.
        const Field* nullFlags = nullptr;
        for (const Field& g : header.fields)
            if (g.isSystem()) nullFlags = &g;
        const int highest = std::max(f.nullBit, f.varLengthBit);
        if (highest >= 0 && (nullFlags == nullptr || highest >= nullFlags->width * 8)) {
            // A V/Q or nullable field without room for its bits: treat it as full width, never null.
            f.nullBit = f.varLengthBit = -1;
            if (nullFlags == nullptr && f.isNullable())
                f.flags &= static_cast<std::uint8_t>(~kFieldFlagNullable);
        }
    }

    if (vfp && terminated) {
        const std::size_t start = pos + 1;
        if (start < bytes.size()) {
            const std::size_t n = std::min(kBacklinkSize, bytes.size() - start);
            const char* p = bytes.data() + start;
            const char* end = static_cast<const char*>(std::memchr(p, '\0', n));
            header.backlink.assign(p, end ? static_cast<std::size_t>(end - p) : n);
        }
    }

    const std::uint64_t needed = static_cast<std::uint64_t>(header.headerLength) +
                                 static_cast<std::uint64_t>(header.recordCount) * header.recordLength;
    // The size was taken before the header was read: another user may have appended meanwhile (a record
    // is written before the count that takes it in), so a count past that size is checked again.
    if (needed > fileSize && needed > file.size()) throw corrupted();
    return header;
}

std::uint32_t vfpHeaderLength(std::size_t fieldCount) {
    return static_cast<std::uint32_t>(kTableHeaderSize + kFieldRecordSize * fieldCount + 1 + kBacklinkSize);
}

std::uint8_t vfpVersionFor(const std::vector<Field>& fields) {
    bool autoInc = false;
    for (const Field& f : fields) {
        if (f.type == 'V' || f.type == 'Q' || f.type == 'W') return kVersionVfpVarchar;
        autoInc = autoInc || (f.type == 'I' && f.isAutoIncrement());
    }
    return autoInc ? kVersionVfpAutoInc : kVersionVfp;
}

std::string serializeTableHeader(const TableHeader& header) {
    std::string bytes(header.headerLength, '\0');
    char* p = bytes.data();
    p[kOffsetVersion] = static_cast<char>(header.version);
    p[kOffsetYear] = static_cast<char>(header.year % 100);
    p[kOffsetMonth] = static_cast<char>(header.month);
    p[kOffsetDay] = static_cast<char>(header.day);
    writeLe32(p + kOffsetRecordCount, header.recordCount);
    writeLe16(p + kOffsetHeaderLength, static_cast<std::uint16_t>(header.headerLength));
    writeLe16(p + kOffsetRecordLength, static_cast<std::uint16_t>(header.recordLength));
    p[kOffsetTableFlags] = static_cast<char>(header.tableFlags);
    p[kOffsetCodePage] = static_cast<char>(header.codePageMark);
    std::size_t pos = kTableHeaderSize;
    for (const Field& f : header.fields) {
        char* sub = p + pos;
        std::memcpy(sub + kFieldOffsetName, f.name.data(), std::min(f.name.size(), kFieldNameSize - 1));
        sub[kFieldOffsetType] = f.type;
        writeLe32(sub + kFieldOffsetDisplacement, f.offset);
        sub[kFieldOffsetWidth] = static_cast<char>(f.width);
        sub[kFieldOffsetDecimals] = static_cast<char>(f.decimals);
        sub[kFieldOffsetFlags] = static_cast<char>(f.flags);
        if (f.isAutoIncrement()) {
            writeLe32(sub + kFieldOffsetAutoIncNext, static_cast<std::uint32_t>(f.autoIncrementNext));
            sub[kFieldOffsetAutoIncStep] = static_cast<char>(f.autoIncrementStep);
        }
        pos += kFieldRecordSize;
    }
    p[pos] = static_cast<char>(kFieldTerminator);
    const std::size_t n = std::min(header.backlink.size(), kBacklinkSize - 1);
    if (pos + 1 + n <= bytes.size()) std::memcpy(p + pos + 1, header.backlink.data(), n);
    return bytes;
}

}  // namespace dorvane::provider
