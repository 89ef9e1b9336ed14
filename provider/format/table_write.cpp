// Record changes of Table: append, update in place, deletion flag, and creating a new table.
#include <algorithm>
#include <cstring>

#include "provider/error.h"
#include "provider/format/codepage.h"
#include "provider/format/file_names.h"
#include "provider/format/table.h"

namespace dorvane::provider {
namespace {

std::filesystem::path temporaryBeside(const std::filesystem::path& path) {
    return path.parent_path() / ("." + path.filename().string() + ".rebuild");
}

}  // namespace

void Table::ensureWritable() const {
    if (m_mode == OpenMode::ReadOnly || !isVfpVersion(m_header.version))
        throw ProviderError(FoxError::FileAccessDenied, foxproMessage(FoxError::FileAccessDenied) + " (" +
                                                            nameForErrors() + " is read-only)");
    if (hasMemoFields() && !m_memo)
        throw ProviderError::make(FoxError::MemoFileInvalid,
                                  siblingFile(m_path, memoFileName()).filename().string());
    if (!m_observer) {
        if (auto index = structuralIndexPath())
            throw ProviderError::make(FoxError::IndexNotMaintained, index->filename().string());
    }
    // A field whose width is not its type's own cannot be written safely: the values of such a type
    // have one size. Such a table was not written by FoxPro; it stays readable.
    for (const Field& f : m_header.fields) {
        const int fixed = fixedWidthOf(f.type);
        if (!f.isSystem() && fixed != 0 && f.width != fixed)
            throw ProviderError(FoxError::TableCorrupted,
                                foxproMessage(FoxError::TableCorrupted, nameForErrors()) + " (field " +
                                    f.name + " has width " + std::to_string(f.width) +
                                    "; the table is read-only)");
    }
}

void Table::writeHeaderDateAndCount() {
    int y, m, d;
    civilFromJulianDay(today().julianDay, y, m, d);
    m_header.year = y;
    m_header.month = m;
    m_header.day = d;
    char bytes[kOffsetRecordCount + 4];
    bytes[kOffsetVersion] = static_cast<char>(m_header.version);
    bytes[kOffsetYear] = static_cast<char>(y % 100);
    bytes[kOffsetMonth] = static_cast<char>(m);
    bytes[kOffsetDay] = static_cast<char>(d);
    writeLe32(bytes + kOffsetRecordCount, m_header.recordCount);
    writeTableBytes(0, bytes, sizeof bytes);
    m_cache.noteWrite(0, bytes, sizeof bytes);
    static_assert(sizeof bytes == sizeof m_head);
    std::memcpy(m_head, bytes, sizeof bytes);
    m_headKnown = true;  // released with the hold in shared use
}

Value valueLeftOut(const Field& f) {
    if (f.isNullable()) return Value{};
    if (f.isAutoIncrement()) return std::int64_t{f.autoIncrementNext};
    if (f.isBinary()) return Blob{};
    switch (f.type) {
        case 'C':
        case 'V':
        case 'M':
            return std::string();
        case 'N':
        case 'F':
        case 'B':
            return 0.0;
        case 'I':
            return std::int64_t{0};
        case 'Y':
            return Currency{};
        case 'D':
            return Date{};
        case 'T':
            return DateTime{};
        case 'L':
            return false;
        default:
            return Blob{};
    }
}

std::uint32_t Table::appendValues(const std::vector<Value>& values) {
    if (values.size() != m_fields.size()) throw ProviderError::make(FoxError::DataTypeMismatch);
    FieldAssignments assignments;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (!(m_fields[i].isAutoIncrement() && isNull(values[i])))
            assignments.emplace_back(static_cast<int>(i), values[i]);
    return append(assignments);
}

std::uint32_t Table::append(const FieldAssignments& values) {
    ensureWritable();
    const WriteHold hold = holdForWriting();  // in shared use, the record count as of now
    writePending();

    std::vector<char> record(m_header.recordLength);
    m_codec->blank(record.data(), record.size());
    std::vector<PendingMemo> memos;
    std::vector<bool> assigned(m_fields.size(), false);
    for (const auto& [index, value] : values) {
        if (index < 0 || index >= fieldCount()) throw ProviderError::make(FoxError::VariableNotFound);
        const Field& f =
            m_header.fields[static_cast<std::size_t>(m_headerIndex[static_cast<std::size_t>(index)])];
        if (f.isMemo())
            memos.push_back({&f, m_codec->encodeMemo(record.data(), f, value)});
        else
            m_codec->encode(record.data(), f, value);
        assigned[static_cast<std::size_t>(index)] = true;
    }
    std::vector<std::pair<std::size_t, std::int32_t>> nextValues;  // header field index -> new next value
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const auto h = static_cast<std::size_t>(m_headerIndex[i]);
        const Field& f = m_header.fields[h];
        if (!f.isAutoIncrement() || f.type != 'I' || assigned[i]) continue;
        m_codec->encode(record.data(), f, static_cast<std::int64_t>(f.autoIncrementNext));
        const std::int64_t next =
            static_cast<std::int64_t>(f.autoIncrementNext) + std::max(1, f.autoIncrementStep);
        if (next > INT32_MAX) throw ProviderError::make(FoxError::NumericOverflow);
        nextValues.emplace_back(h, static_cast<std::int32_t>(next));
    }

    const std::uint32_t recno = m_header.recordCount + 1;
    const std::uint64_t offset =
        m_header.headerLength + static_cast<std::uint64_t>(m_header.recordCount) * m_header.recordLength;
    if (offset + m_header.recordLength + 1 > kMaxFileSize || recno == 0)
        throw ProviderError::make(FoxError::FileTooLarge, nameForErrors());

    // The memo's lock before the index learns of the change: not getting it leaves everything as it was.
    holdMemoFor(memos);
    if (m_observer) {
        std::vector<Value> newValues;
        newValues.resize(m_fields.size());
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            const Field& f = m_header.fields[static_cast<std::size_t>(m_headerIndex[i])];
            if (!f.isMemo()) newValues[i] = m_codec->decode(record.data(), f);
        }
        for (const PendingMemo& memo : memos)
            for (std::size_t i = 0; i < m_fields.size(); ++i)
                if (&m_header.fields[static_cast<std::size_t>(m_headerIndex[i])] == memo.field)
                    newValues[i] = memo.field->isBinary() ? Value(Blob{memo.bytes})
                                                          : Value(m_codec->codePage()->decode(memo.bytes));
        m_observer->onAppend(*this, recno, newValues, record.data());
    }

    for (PendingMemo& memo : memos)
        m_codec->setMemoBlock(record.data(), *memo.field, m_memo->write(memo.bytes));
    if (!memos.empty() && m_flushEachChange) m_memo->sync();

    // Known while nobody else appended (a shared hold finding its own stamp and count).
    const std::uint64_t oldSize = m_fileSize ? *m_fileSize : m_file.size();
    m_fileSize.reset();
    const TableHeader before = m_header;
    char oldHead[sizeof m_head];
    // The header's first bytes, to put back on failure: known while the table is held.
    const bool haveHead = m_headKnown || m_file.readAt(0, oldHead, sizeof oldHead) == sizeof oldHead;
    if (m_headKnown) std::memcpy(oldHead, m_head, sizeof oldHead);
    try {
        record.push_back(static_cast<char>(kEndOfFile));
        writeTableBytes(offset, record.data(), record.size());
        m_cache.noteWrite(offset, record.data(), record.size());
        for (const auto& [h, next] : nextValues) {
            m_header.fields[h].autoIncrementNext = next;
            char bytes[4];
            writeLe32(bytes, static_cast<std::uint32_t>(next));
            const std::uint64_t at = kTableHeaderSize + h * kFieldRecordSize + kFieldOffsetAutoIncNext;
            writeTableBytes(at, bytes, sizeof bytes);
            m_cache.noteWrite(at, bytes, sizeof bytes);
        }
        ++m_header.recordCount;
        writeHeaderDateAndCount();
        m_fileSize = std::max(oldSize, offset + record.size());
    } catch (...) {
        // Put the file back as it was: header bytes, autoincrement values, length and end marker.
        m_header = before;
        m_headKnown = false;
        try {
            if (haveHead) writeTableBytes(0, oldHead, sizeof oldHead);
            for (const auto& [h, next] : nextValues) {
                char bytes[4];
                writeLe32(bytes, static_cast<std::uint32_t>(before.fields[h].autoIncrementNext));
                writeTableBytes(kTableHeaderSize + h * kFieldRecordSize + kFieldOffsetAutoIncNext, bytes,
                                sizeof bytes);
            }
            m_file.truncate(offset);
            if (oldSize > offset) {
                const char eof = static_cast<char>(kEndOfFile);
                writeTableBytes(offset, &eof, 1);
            }
        } catch (...) {
        }
        m_cache.clear();
        throw;
    }
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        m_fields[i].autoIncrementNext =
            m_header.fields[static_cast<std::size_t>(m_headerIndex[i])].autoIncrementNext;
    return recno;
}

void Table::update(std::uint32_t recno, const FieldAssignments& values) {
    ensureWritable();
    const WriteHold hold = holdForWriting();
    std::vector<char> record(m_header.recordLength);
    readRecordForWriting(recno, record);
    std::vector<char> before;
    if (m_observer) before = record;  // the record as it was, for the observer
    std::vector<PendingMemo> memos;
    for (const auto& [index, value] : values) {
        if (index < 0 || index >= fieldCount()) throw ProviderError::make(FoxError::VariableNotFound);
        const Field& f =
            m_header.fields[static_cast<std::size_t>(m_headerIndex[static_cast<std::size_t>(index)])];
        if (f.isMemo())
            memos.push_back({&f, m_codec->encodeMemo(record.data(), f, value)});
        else
            m_codec->encode(record.data(), f, value);
    }
    holdMemoFor(memos);
    if (m_observer) {
        std::vector<Value> oldValues;
        decodeAll(before.data(), oldValues);
        std::vector<Value> newValues = oldValues;
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            const Field& f = m_header.fields[static_cast<std::size_t>(m_headerIndex[i])];
            if (!f.isMemo()) newValues[i] = m_codec->decode(record.data(), f);
        }
        for (const auto& [index, value] : values)
            if (m_fields[static_cast<std::size_t>(index)].isMemo())
                newValues[static_cast<std::size_t>(index)] = value;
        m_observer->onUpdate(*this, recno, oldValues, newValues, before.data(), record.data());
    }
    for (PendingMemo& memo : memos)
        m_codec->setMemoBlock(record.data(), *memo.field, m_memo->write(memo.bytes));
    if (!memos.empty() && m_flushEachChange) m_memo->sync();

    const std::uint64_t offset =
        m_header.headerLength + static_cast<std::uint64_t>(recno - 1) * m_header.recordLength;
    if (m_batching) {
        constexpr std::size_t kMaxPending = 1 << 20;
        if (m_pending.empty() || offset != m_pendingOffset + m_pending.size() ||
            m_pending.size() >= kMaxPending) {
            writePending();
            m_pendingOffset = offset;
        }
        m_pending.insert(m_pending.end(), record.begin(), record.end());
    } else {
        writePending();
        writeTableBytes(offset, record.data(), record.size());
    }
    m_cache.noteWrite(offset, record.data(), record.size());
    touchHeaderDate();
}

void Table::readRecordForWriting(std::uint32_t recno, std::vector<char>& record) {
    if (m_mode == OpenMode::Exclusive) {
        // Nobody else writes this file: the cached bytes are the file's (and the range is checked).
        std::memcpy(record.data(), recordBytes(recno), record.size());
        return;
    }
    if (recno < 1 || recno > m_header.recordCount) throw ProviderError::make(FoxError::RecordOutOfRange);
    const std::uint64_t at =
        m_header.headerLength + static_cast<std::uint64_t>(recno - 1) * m_header.recordLength;
    if (!m_pending.empty() && at >= m_pendingOffset &&
        at + record.size() <= m_pendingOffset + m_pending.size()) {
        // Changed earlier in this batch and not written yet.
        std::memcpy(record.data(), m_pending.data() + (at - m_pendingOffset), record.size());
        return;
    }
    // In shared use a program that leaves no writer's stamp may have changed it: read it from the file,
    // a page at a time for a statement changing many records (nobody else writes while the hold lasts).
    if (m_batching ? !m_cache.read(at, record.size(), record.data(), true)
                   : m_file.readAt(at, record.data(), record.size()) != record.size())
        throw ProviderError::make(FoxError::TableCorrupted, nameForErrors());
}

void Table::checkValues(const FieldAssignments& values) const {
    std::vector<char> scratch(m_header.recordLength, ' ');
    for (const auto& [index, value] : values) {
        if (index < 0 || index >= fieldCount()) throw ProviderError::make(FoxError::VariableNotFound);
        const Field& f =
            m_header.fields[static_cast<std::size_t>(m_headerIndex[static_cast<std::size_t>(index)])];
        if (f.isMemo())
            m_codec->encodeMemo(scratch.data(), f, value);
        else
            m_codec->encode(scratch.data(), f, value);
    }
}

void Table::flush() {
    writePending();
    if (m_memo) m_memo->sync();
    m_file.sync();
}

void Table::beginWriteBatch() {
    // Shared, only under a hold: what is gathered is written before the hold lets go.
    if (m_mode == OpenMode::Exclusive || m_holdDepth > 0) m_batching = true;
}

void Table::writeBatchSoFar() {
    writePending();
}

void Table::endWriteBatch() {
    m_batching = false;
    writePending();
}

void Table::writePending() {
    if (m_pending.empty()) return;
    writeTableBytes(m_pendingOffset, m_pending.data(), m_pending.size());
    m_pending.clear();
}

void Table::setDeleted(std::uint32_t recno, bool deleted) {
    ensureWritable();
    const WriteHold hold = holdForWriting();
    writePending();
    const char current = recordBytes(recno)[0];
    if ((current == kRecordDeleted) == deleted) return;
    if (m_observer) m_observer->onDelete(*this, recno, deleted);
    const char flag = deleted ? kRecordDeleted : kRecordLive;
    const std::uint64_t offset =
        m_header.headerLength + static_cast<std::uint64_t>(recno - 1) * m_header.recordLength;
    writeTableBytes(offset, &flag, 1);
    m_cache.noteWrite(offset, &flag, 1);
    touchHeaderDate();
}

void Table::touchHeaderDate() {
    int y, m, d;
    civilFromJulianDay(today().julianDay, y, m, d);
    if (y == m_header.year && m == m_header.month && d == m_header.day) return;
    char bytes[3] = {static_cast<char>(y % 100), static_cast<char>(m), static_cast<char>(d)};
    try {
        writeTableBytes(kOffsetYear, bytes, sizeof bytes);  // the change itself is written already
    } catch (const ProviderError&) {
        return;
    }
    m_cache.noteWrite(kOffsetYear, bytes, sizeof bytes);
    std::memcpy(m_head + kOffsetYear, bytes, sizeof bytes);
    m_header.year = y;
    m_header.month = m;
    m_header.day = d;
}

void Table::setBacklink(const std::string& backlink) {
    ensureWritable();
    const WriteHold hold = holdForWriting();
    if (backlink.size() >= kBacklinkSize) throw ProviderError::make(FoxError::FileAccessDenied, backlink);
    const std::uint64_t at = kTableHeaderSize + m_header.fields.size() * kFieldRecordSize + 1;
    if (at + kBacklinkSize > m_header.headerLength)
        throw ProviderError::make(FoxError::TableCorrupted, nameForErrors());
    std::string bytes(kBacklinkSize, '\0');
    bytes.replace(0, backlink.size(), backlink);
    writeTableBytes(at, bytes.data(), bytes.size());
    m_cache.noteWrite(at, bytes.data(), bytes.size());
    m_header.backlink = backlink;
}

std::unique_ptr<Table> Table::create(const std::filesystem::path& path,
                                     const std::vector<FieldSpec>& fieldSpecs, const CreateOptions& options) {
    CodePage::forMark(options.codePageMark);  // raises for a mark no page carries
    TableHeader header;
    int recordLength = 0;
    header.fields = layoutFields(
        fieldSpecs, options.backlink.empty() ? kMaxFreeFieldName : kMaxContainerFieldName, recordLength);
    header.version = vfpVersionFor(header.fields);
    header.recordLength = static_cast<std::uint32_t>(recordLength);
    header.headerLength = vfpHeaderLength(header.fields.size());
    header.codePageMark = options.codePageMark;
    header.backlink = options.backlink;
    bool memo = false;
    for (const Field& f : header.fields) memo = memo || f.isMemo();
    if (memo) header.tableFlags |= kTableFlagMemo;
    if (header.headerLength > 0xFFFF) throw ProviderError::make(FoxError::TooManyFields);

    Table dated;
    dated.m_fixedDate = options.fixedHeaderDate;
    int y, m, d;
    civilFromJulianDay(dated.today().julianDay, y, m, d);
    header.year = y;
    header.month = m;
    header.day = d;

    std::string bytes = serializeTableHeader(header);
    bytes.push_back(static_cast<char>(kEndOfFile));
    // A table of that name in use elsewhere is not replaced under its user: hold it exclusively.
    File existing;
    FileLock existingLock;
    if (std::filesystem::exists(path)) {
        existing = File::openExisting(path, false);
        existingLock = FileLock::acquire(existing.fd(), FileLock::Mode::Exclusive, path.filename().string());
    }
    const auto temporary = temporaryBeside(path);
    try {
        if (memo) MemoFile::create(siblingFile(path, "fpt"), options.memoBlockSize);
        File file = File::create(temporary);
        file.writeAt(0, bytes.data(), bytes.size());
        file.sync();
        file.close();
        replaceFile(temporary, path);
    } catch (...) {
        fileSystem().unlink(temporary.c_str());
        throw;
    }
    existingLock.release();
    existing.close();
    auto table = open(path, OpenMode::Exclusive);
    table->m_fixedDate = options.fixedHeaderDate;
    std::vector<std::string> longNames;
    for (const Field& f : header.fields)
        if (!f.isSystem()) longNames.push_back(f.longName);
    table->setLongFieldNames(longNames);
    return table;
}

}  // namespace dorvane::provider
