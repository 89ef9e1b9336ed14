// The .dbf header: the 32-byte table header, the 32-byte field subrecords, the terminator and the
// 263-byte backlink of VFP tables. Parsing checks every length against the file; no record access here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "provider/byte_order.h"
#include "provider/format/field.h"
#include "provider/format/file_io.h"

namespace dorvane::provider {

// Table header (32 bytes at offset 0).
inline constexpr std::size_t kTableHeaderSize = 32;
inline constexpr std::size_t kOffsetVersion = 0;        // 1 byte: file type
inline constexpr std::size_t kOffsetYear = 1;           // 1 byte: last update year % 100
inline constexpr std::size_t kOffsetMonth = 2;          // 1 byte
inline constexpr std::size_t kOffsetDay = 3;            // 1 byte
inline constexpr std::size_t kOffsetRecordCount = 4;    // 4 bytes LE, deleted records included
inline constexpr std::size_t kOffsetHeaderLength = 8;   // 2 bytes LE: file offset of record 1
inline constexpr std::size_t kOffsetRecordLength = 10;  // 2 bytes LE, deletion flag included
inline constexpr std::size_t kOffsetTableFlags = 28;    // 1 byte
inline constexpr std::size_t kOffsetCodePage = 29;      // 1 byte: code page mark

// Field subrecord (32 bytes each, from offset 32).
inline constexpr std::size_t kFieldRecordSize = 32;
inline constexpr std::size_t kFieldOffsetName = 0;  // 11 bytes, NUL padded
inline constexpr std::size_t kFieldNameSize = 11;
inline constexpr std::size_t kFieldOffsetType = 11;          // 1 byte
inline constexpr std::size_t kFieldOffsetDisplacement = 12;  // 4 bytes LE
inline constexpr std::size_t kFieldOffsetWidth = 16;         // 1 byte
inline constexpr std::size_t kFieldOffsetDecimals = 17;      // 1 byte
inline constexpr std::size_t kFieldOffsetFlags = 18;         // 1 byte
inline constexpr std::size_t kFieldOffsetAutoIncNext = 19;   // 4 bytes LE
inline constexpr std::size_t kFieldOffsetAutoIncStep = 23;   // 1 byte

inline constexpr std::uint8_t kFieldTerminator = 0x0D;
inline constexpr std::size_t kBacklinkSize = 263;  // VFP only, right after the terminator
inline constexpr std::uint8_t kEndOfFile = 0x1A;
inline constexpr char kRecordLive = ' ';
inline constexpr char kRecordDeleted = '*';

// Table flags (byte 28).
inline constexpr std::uint8_t kTableFlagStructuralIndex = 0x01;
inline constexpr std::uint8_t kTableFlagMemo = 0x02;
inline constexpr std::uint8_t kTableFlagContainer = 0x04;

// File types (byte 0).
inline constexpr std::uint8_t kVersionDbase3 = 0x03;
inline constexpr std::uint8_t kVersionVfp = 0x30;
inline constexpr std::uint8_t kVersionVfpAutoInc = 0x31;
inline constexpr std::uint8_t kVersionVfpVarchar = 0x32;
inline constexpr std::uint8_t kVersionDbase3Memo = 0x83;
inline constexpr std::uint8_t kVersionDbase4Memo = 0x8B;
inline constexpr std::uint8_t kVersionFoxPro2Memo = 0xF5;

inline constexpr std::uint8_t kCodePageMark1252 = 0x03;

bool isVfpVersion(std::uint8_t version);

struct TableHeader {
    std::uint8_t version = kVersionVfp;
    int year = 0;  // full year
    int month = 1;
    int day = 1;
    std::uint32_t recordCount = 0;
    std::uint32_t headerLength = 0;
    std::uint32_t recordLength = 0;
    std::uint8_t tableFlags = 0;
    std::uint8_t codePageMark = 0;
    std::vector<Field> fields;  // in header order, _NullFlags included
    std::string backlink;       // VFP: relative path of the owning .dbc, empty for free tables
};

// Reads and checks the header of an open .dbf. Raises NotATable for a file that is no table and
// TableCorrupted for one whose header contradicts itself or the file size.
TableHeader readTableHeader(const File& file, const std::string& nameForErrors);

// The header bytes (headerLength of them) for `header`; VFP layout with backlink.
std::string serializeTableHeader(const TableHeader& header);

// The type byte VFP writes for these fields: 0x32 with V/Q/W, else 0x31 with autoincrement, else 0x30.
std::uint8_t vfpVersionFor(const std::vector<Field>& fields);
// 296 + 32 per field, the length of a VFP header.
std::uint32_t vfpHeaderLength(std::size_t fieldCount);

}  // namespace dorvane::provider
