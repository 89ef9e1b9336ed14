// Structure changes of Table: add, rename and drop a field by streaming every record into a new .dbf
// beside the old one, then renaming it over the old file.
#include <fcntl.h>

#include <algorithm>
#include <cstring>

#include "provider/error.h"
#include "provider/format/file_names.h"
#include "provider/format/table.h"

namespace dorvane::provider {
namespace {

constexpr std::size_t kCopyBufferBytes = 4 * 1024 * 1024;

struct ByteRun {
    std::uint32_t from;
    std::uint32_t to;
    std::uint32_t length;
};

struct BitMove {
    int from;
    int to;
};

}  // namespace

void Table::addField(const FieldSpec& fieldSpec) {
    std::vector<FieldSpec> fieldSpecs;
    std::vector<int> sources;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        fieldSpecs.push_back(specOf(m_fields[i]));
        sources.push_back(m_headerIndex[i]);
    }
    fieldSpecs.push_back(fieldSpec);
    sources.push_back(-1);
    rewrite(fieldSpecs, sources);
}

void Table::renameField(std::string_view name, std::string_view newName) {
    const int index = fieldIndex(name);
    if (index < 0) throw ProviderError::make(FoxError::VariableNotFound, name);
    std::vector<FieldSpec> fieldSpecs;
    std::vector<int> sources;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        FieldSpec fieldSpec = specOf(m_fields[i]);
        if (static_cast<int>(i) == index) {
            fieldSpec.name = std::string(newName);
            fieldSpec.headerName.clear();
        }
        fieldSpecs.push_back(fieldSpec);
        sources.push_back(m_headerIndex[i]);
    }
    rewrite(fieldSpecs, sources);
}

void Table::dropField(std::string_view name) {
    const int index = fieldIndex(name);
    if (index < 0) throw ProviderError::make(FoxError::VariableNotFound, name);
    std::vector<FieldSpec> fieldSpecs;
    std::vector<int> sources;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (static_cast<int>(i) == index) continue;
        fieldSpecs.push_back(specOf(m_fields[i]));
        sources.push_back(m_headerIndex[i]);
    }
    rewrite(fieldSpecs, sources);
}

void Table::rewrite(const std::vector<FieldSpec>& fieldSpecs, const std::vector<int>& sources) {
    ensureWritable();
    writePending();
    if (m_mode != OpenMode::Exclusive) throw ProviderError::make(FoxError::MustBeExclusive);

    TableHeader header = m_header;
    int recordLength = 0;
    header.fields = layoutFields(
        fieldSpecs, m_header.backlink.empty() ? kMaxFreeFieldName : kMaxContainerFieldName, recordLength);
    header.version = vfpVersionFor(header.fields);
    header.recordLength = static_cast<std::uint32_t>(recordLength);
    header.headerLength = vfpHeaderLength(header.fields.size());
    bool memo = false;
    for (const Field& f : header.fields) memo = memo || f.isMemo();
    header.tableFlags =
        static_cast<std::uint8_t>((m_header.tableFlags & ~kTableFlagMemo) | (memo ? kTableFlagMemo : 0));
    int y, m, d;
    civilFromJulianDay(today().julianDay, y, m, d);
    header.year = y;
    header.month = m;
    header.day = d;
    const std::uint64_t newSize =
        header.headerLength + static_cast<std::uint64_t>(header.recordCount) * header.recordLength + 1;
    if (newSize > kMaxFileSize) throw ProviderError::make(FoxError::FileTooLarge, nameForErrors());

    // The copy plan: byte runs of kept fields, _NullFlags bits to carry, and a blank template.
    RecordCodec codec(header.fields, m_codePage, false);
    std::vector<char> blank(header.recordLength);
    codec.blank(blank.data(), blank.size());
    std::vector<ByteRun> runs;
    std::vector<BitMove> bits;
    std::vector<int> keptNullFlagBits;  // bits of the new _NullFlags owned by kept fields
    const Field* autoNumber = nullptr;  // an added autoincrement field numbers the existing rows
    std::int64_t autoNext = 0;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const Field& to = header.fields[i];
        if (sources[i] < 0) {
            if (to.isAutoIncrement()) {
                autoNumber = &to;
                autoNext = to.autoIncrementNext;
            }
            continue;
        }
        const Field& from = m_header.fields[static_cast<std::size_t>(sources[i])];
        if (!runs.empty() && runs.back().from + runs.back().length == from.offset &&
            runs.back().to + runs.back().length == to.offset)
            runs.back().length += static_cast<std::uint32_t>(from.width);
        else
            runs.push_back({from.offset, to.offset, static_cast<std::uint32_t>(from.width)});
        if (to.nullBit >= 0) bits.push_back({from.nullBit, to.nullBit});
        if (to.varLengthBit >= 0) bits.push_back({from.varLengthBit, to.varLengthBit});
    }
    std::uint32_t oldNullOffset = 0, newNullOffset = 0;
    for (const Field& f : m_header.fields)
        if (f.isSystem()) oldNullOffset = f.offset;
    for (const Field& f : header.fields)
        if (f.isSystem()) newNullOffset = f.offset;
    auto readBit = [&](const char* rec, int bit) {
        return bit >= 0 && ((static_cast<unsigned char>(rec[oldNullOffset + bit / 8]) >> (bit % 8)) & 1);
    };

    // A new memo field in a table without one gets its .fpt now.
    std::unique_ptr<MemoFile> newMemo;
    if (memo && !hasMemoFields()) {
        const auto memoPath = siblingFile(m_path, "fpt");
        newMemo = MemoFile::create(memoPath, kDefaultMemoBlockSize);
    }

    const auto temporary = m_path.parent_path() / ("." + m_path.filename().string() + ".rebuild");
    File out;
    try {
        out = File::create(temporary);
        // Room for the whole new file at once: the file system places it in one go instead of block
        // by block (where it cannot, nothing is done and the writes place it as usual).
        (void)fileSystem().allocate(out.fd(), 0,
                          static_cast<off_t>(header.headerLength +
                                             std::uint64_t(m_header.recordCount) * header.recordLength + 1));
        FileLock newLock = FileLock::acquire(out.fd(), FileLock::Mode::Exclusive, nameForErrors());
        const std::string headerBytes = serializeTableHeader(header);
        out.writeAt(0, headerBytes.data(), headerBytes.size());

        const std::size_t oldLength = m_header.recordLength;
        const std::size_t newLength = header.recordLength;
        const std::size_t batch = std::max<std::size_t>(1, kCopyBufferBytes / std::max(oldLength, newLength));
        std::vector<char> in(batch * oldLength);
        std::vector<char> outBuffer(batch * newLength + 1);
        std::uint64_t readOffset = m_header.headerLength;
        std::uint64_t writeOffset = header.headerLength;
        for (std::uint32_t done = 0; done < m_header.recordCount;) {
            const std::size_t n = std::min<std::size_t>(batch, m_header.recordCount - done);
            if (m_file.readAt(readOffset, in.data(), n * oldLength) != n * oldLength)
                throw ProviderError::make(FoxError::TableCorrupted, nameForErrors());
            for (std::size_t r = 0; r < n; ++r) {
                const char* src = in.data() + r * oldLength;
                char* dst = outBuffer.data() + r * newLength;
                std::memcpy(dst, blank.data(), newLength);
                dst[0] = src[0];
                for (const ByteRun& run : runs) std::memcpy(dst + run.to, src + run.from, run.length);
                for (const BitMove& move : bits) {
                    auto& byte = reinterpret_cast<unsigned char&>(dst[newNullOffset + move.to / 8]);
                    const unsigned char mask = static_cast<unsigned char>(1u << (move.to % 8));
                    byte =
                        static_cast<unsigned char>(readBit(src, move.from) ? (byte | mask) : (byte & ~mask));
                }
                if (autoNumber) {
                    codec.encode(dst, *autoNumber, autoNext);
                    autoNext += std::max(1, autoNumber->autoIncrementStep);
                }
            }
            out.writeAt(writeOffset, outBuffer.data(), n * newLength);
            readOffset += n * oldLength;
            writeOffset += n * newLength;
            done += static_cast<std::uint32_t>(n);
        }
        const char eof = static_cast<char>(kEndOfFile);
        out.writeAt(writeOffset, &eof, 1);
        if (autoNumber) {
            char next[4];
            writeLe32(next, static_cast<std::uint32_t>(autoNext));
            const auto index = static_cast<std::size_t>(autoNumber - header.fields.data());
            out.writeAt(kTableHeaderSize + index * kFieldRecordSize + kFieldOffsetAutoIncNext, next, 4);
        }
        out.sync();
        replaceFile(temporary, m_path);
        m_lock = std::move(newLock);
    } catch (...) {
        out.close();
        fileSystem().unlink(temporary.c_str());
        throw;
    }
    // The old descriptor now refers to the replaced file; the lock moved to the new one above.
    m_file = std::move(out);
    std::vector<std::string> longNames;
    for (const Field& f : header.fields)
        if (!f.isSystem()) longNames.push_back(f.longName);
    load();
    setLongFieldNames(longNames);
    if (m_observer) m_observer->onSchemaChange(*this);
}

}  // namespace dorvane::provider
