#include "provider/format/table.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <random>

#include "provider/error.h"
#include "provider/format/codepage.h"
#include "provider/format/file_names.h"
#include "provider/format/lock_ranges.h"

namespace dorvane::provider {
namespace {

bool isContainerFile(const std::filesystem::path& path) {
    return equalsIgnoringAsciiCase(path.extension().string(), ".dbc");
}

MemoKind memoKindFor(std::uint8_t version) {
    if (version == kVersionDbase3Memo) return MemoKind::Dbt3;
    if (version == kVersionDbase4Memo || version == 0xCB) return MemoKind::Dbt4;
    return MemoKind::Fpt;
}

}  // namespace

Table::~Table() {
    try {
        writePending();
    } catch (...) {
    }
}

std::unique_ptr<Table> Table::open(const std::filesystem::path& path, OpenMode mode) {
    std::unique_ptr<Table> table(new Table);
    table->m_path = path;
    table->m_mode = mode;
    table->m_file = File::openExisting(path, mode != OpenMode::ReadOnly);
    table->m_lock = FileLock::acquire(
        table->m_file.fd(), mode == OpenMode::Exclusive ? FileLock::Mode::Exclusive : FileLock::Mode::Shared,
        table->nameForErrors());
    if (mode != OpenMode::Exclusive)
        table->m_writeLock = std::make_unique<TableWriteLock>(table->m_file.fd());
    table->load();
    return table;
}

void Table::load() {
    m_header = readTableHeader(m_file, nameForErrors());
    m_fields.clear();
    m_headerIndex.clear();
    for (std::size_t i = 0; i < m_header.fields.size(); ++i) {
        if (m_header.fields[i].isSystem()) continue;
        m_fields.push_back(m_header.fields[i]);
        m_headerIndex.push_back(static_cast<int>(i));
    }
    try {
        m_codePage = &CodePage::forMark(m_header.codePageMark);
    } catch (const ProviderError&) {
        m_codePage = nullptr;
    }
    m_codec = std::make_unique<RecordCodec>(m_header.fields, m_codePage, !isVfpVersion(m_header.version));
    m_cache.attach(&m_file);
    // Read afresh: the next hold takes the range afresh too, and looks at the header under it.
    if (m_writeLock && m_holdDepth == 0) m_writeLock->letGo();
    m_cache.setReadLock(m_writeLock.get());
    m_record.assign(m_header.recordLength, '\0');
    m_headKnown = false;
    m_fileSize.reset();
    ++m_changeGeneration;
    m_memo.reset();
    if (hasMemoFields()) {
        try {
            const auto memoPath = siblingFile(m_path, memoFileName());
            m_memo = MemoFile::open(memoPath, memoKindFor(m_header.version), m_mode != OpenMode::ReadOnly);
        } catch (const ProviderError&) {
            m_memo.reset();  // memo cells raise MemoFileInvalid when read
        }
    }
}

std::string Table::memoFileName() const {
    if (isContainerFile(m_path)) return "dct";
    return memoKindFor(m_header.version) == MemoKind::Fpt ? "fpt" : "dbt";
}

void Table::refresh() {
    std::vector<std::string> longNames;
    for (const Field& f : m_fields) longNames.push_back(f.longName);
    load();
    setLongFieldNames(longNames);
}

Table::WriteHold Table::holdForWriting() {
    if (m_mode != OpenMode::Shared) return WriteHold(nullptr);
    if (m_holdDepth > 0) {
        ++m_holdDepth;
        return WriteHold(this);
    }
    try {
        // A range kept since the last hold: no program that locks has written since, so the header and
        // what was read ahead still hold. Records are still read afresh (startEpoch) for programs that
        // write without locking.
        const bool kept = m_writeLock->take();
        m_holdDepth = 1;
        m_cache.startEpoch();
        if (!kept) lookForOthersChanges();
        if (m_observer) m_observer->onWriteHold(*this, true, false);
    } catch (...) {
        m_holdDepth = 0;
        m_headKnown = false;
        m_writeLock->letGo();
        throw;
    }
    return WriteHold(this);
}

void Table::releaseHold(bool failed) noexcept {
    if (m_holdDepth == 0 || --m_holdDepth > 0) return;
    try {
        writePending();
    } catch (...) {
        failed = true;
    }
    if (m_observer) m_observer->onWriteHold(*this, false, failed);
    m_memoLock.release();
    // After a failure the next hold looks at everything afresh. Otherwise the range is kept; what this
    // hold knew (the header's first bytes, whether a stamp is owed) holds while it is, and a hold after
    // it has gone looks again.
    if (failed) {
        m_headKnown = false;
        m_stampOwed = false;
    }
    m_writeLock->endHold(failed);
}

namespace {

// A stamp no other writer has: random per process, then counted on (never 0).
std::uint64_t freshStamp() {
    static std::atomic<std::uint64_t> next = [] {
        std::random_device device;
        return (std::uint64_t(device()) << 32 ^ device()) ^ std::uint64_t(::getpid()) ^
               std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    }();
    // splitmix64 of a counted value: distinct values give distinct stamps.
    std::uint64_t z = next.fetch_add(0x9E3779B97F4A7C15ull) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return z == 0 ? 1 : z;
}

}  // namespace

bool Table::takeInChangesUnlessOwnStamp(char* head) {
    if (m_file.readAt(0, head, kTableHeaderSize) != kTableHeaderSize)
        throw ProviderError::make(FoxError::TableCorrupted, nameForErrors());
    const std::uint64_t stamp =
        readLe32(head + kOffsetWriterStamp) | std::uint64_t(readLe32(head + kOffsetWriterStamp + 4)) << 32;
    const bool ours = m_stamp != 0 && stamp == m_stamp;
    if (!ours || readLe32(head + kOffsetRecordCount) != m_header.recordCount) takeInChanges(head);
    return ours;
}

void Table::takeInOthersChanges() {
    if (m_mode == OpenMode::Exclusive) return;
    // Without a hold: a writer writes its stamp before anything else, so finding this table's own
    // stamp means nothing was written since (what is written after the look is read as it comes).
    char head[kTableHeaderSize];
    takeInChangesUnlessOwnStamp(head);
}

void Table::lookForOthersChanges() {
    char head[kTableHeaderSize];
    // Others look at the stamp before they trust what they read before: a fresh one is written before
    // anything else this hold writes to the table.
    m_stampOwed = !takeInChangesUnlessOwnStamp(head);
    std::memcpy(m_head, head, sizeof m_head);
    m_headKnown = true;
}

void Table::writeTableBytes(std::uint64_t offset, const void* bytes, std::size_t size) {
    if (m_stampOwed) {
        const std::uint64_t mine = freshStamp();
        char stamp[kWriterStampSize];
        writeLe32(stamp, static_cast<std::uint32_t>(mine));
        writeLe32(stamp + 4, static_cast<std::uint32_t>(mine >> 32));
        m_file.writeAt(kOffsetWriterStamp, stamp, sizeof stamp);
        m_cache.noteWrite(kOffsetWriterStamp, stamp, sizeof stamp);
        m_stamp = mine;
        m_stampOwed = false;
    }
    m_file.writeAt(offset, bytes, size);
}

void Table::holdMemoFor(const std::vector<PendingMemo>& memos) {
    if (m_holdDepth == 0 || !m_memo || m_memoLock.held()) return;
    if (std::none_of(memos.begin(), memos.end(), [](const PendingMemo& m) { return !m.bytes.empty(); }))
        return;
    m_memoLock =
        RangeLock::acquire(m_memo->fd(), RangeLock::Kind::Write, kMemoLockOffset, kMemoLockLength, kLockWait);
    m_memo->takeInChanges();  // its end, as other users (of this engine or not) left it
}

void Table::takeInChanges() {
    takeInChanges(nullptr);
}

void Table::takeInChanges(const char* head) {
    m_cache.clear();
    m_fileSize.reset();
    ++m_changeGeneration;
    if (m_memo) m_memo->takeInChanges();
    // Record count and autoincrement values: the header's first bytes and the field records (those
    // read only when some field counts on its own).
    bool autoIncrement = false;
    for (const Field& f : m_header.fields) autoIncrement = autoIncrement || f.isAutoIncrement();
    std::vector<char> bytes(kTableHeaderSize +
                            (autoIncrement || !head ? m_header.fields.size() : 0) * kFieldRecordSize);
    if (head && !autoIncrement) {
        std::memcpy(bytes.data(), head, kTableHeaderSize);
    } else if (m_file.readAt(0, bytes.data(), bytes.size()) != bytes.size()) {
        throw ProviderError::make(FoxError::TableCorrupted, nameForErrors());
    }
    m_header.recordCount = readLe32(bytes.data() + kOffsetRecordCount);
    for (std::size_t h = 0; h < m_header.fields.size(); ++h) {
        Field& f = m_header.fields[h];
        if (!f.isAutoIncrement()) continue;
        f.autoIncrementNext = static_cast<std::int32_t>(
            readLe32(bytes.data() + kTableHeaderSize + h * kFieldRecordSize + kFieldOffsetAutoIncNext));
    }
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        m_fields[i].autoIncrementNext =
            m_header.fields[static_cast<std::size_t>(m_headerIndex[i])].autoIncrementNext;
}

void Table::keepForReadingOnly() {
    try {
        writePending();
    } catch (...) {
    }
    m_mode = OpenMode::ReadOnly;
    if (m_writeLock) m_writeLock->letGo();
    m_lock.release();
}

bool Table::hasMemoFields() const {
    for (const Field& f : m_header.fields)
        if (f.isMemo()) return true;
    return false;
}

int Table::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (sameFieldName(m_fields[i].name, name) ||
            (!m_fields[i].longName.empty() && sameFieldName(m_fields[i].longName, name)))
            return static_cast<int>(i);
    return -1;
}

void Table::setLongFieldNames(const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < m_fields.size() && i < names.size(); ++i) {
        m_fields[i].longName = names[i];
        m_header.fields[static_cast<std::size_t>(m_headerIndex[i])].longName = names[i];
    }
}

std::optional<std::filesystem::path> Table::containerPath() const {
    if (m_header.backlink.empty()) return std::nullopt;
    std::string link = m_header.backlink;
    for (char& c : link)
        if (c == '\\') c = '/';
    const std::filesystem::path full = m_path.parent_path() / link;
    if (auto found = resolveFileCaseInsensitive(full.parent_path(), full.filename().string())) return found;
    return full;
}

std::optional<std::filesystem::path> Table::structuralIndexPath() const {
    if (isContainerFile(m_path) || (m_header.tableFlags & kTableFlagContainer))
        return siblingFile(m_path, "dcx");
    if (m_header.tableFlags & kTableFlagStructuralIndex) return siblingFile(m_path, "cdx");
    return std::nullopt;
}

const char* Table::recordBytes(std::uint32_t recno) {
    if (recno < 1 || recno > m_header.recordCount) throw ProviderError::make(FoxError::RecordOutOfRange);
    const std::uint64_t offset =
        m_header.headerLength + static_cast<std::uint64_t>(recno - 1) * m_header.recordLength;
    if (!m_cache.read(offset, m_record.size(), m_record.data()))
        throw ProviderError::make(FoxError::TableCorrupted, nameForErrors());
    // Updates a write batch gathered are not in the file yet, nor in a page read from it since.
    const std::uint64_t pendingEnd = m_pendingOffset + m_pending.size();
    if (!m_pending.empty() && offset < pendingEnd && offset + m_record.size() > m_pendingOffset) {
        const std::uint64_t from = std::max(offset, m_pendingOffset);
        const std::uint64_t to = std::min<std::uint64_t>(offset + m_record.size(), pendingEnd);
        std::memcpy(m_record.data() + (from - offset), m_pending.data() + (from - m_pendingOffset),
                    to - from);
    }
    return m_record.data();
}

bool Table::isDeleted(std::uint32_t recno) {
    return recordBytes(recno)[0] == kRecordDeleted;
}

Value Table::memoValue(const char* record, const Field& field) const {
    if (m_codec->isNull(record, field)) return std::monostate{};
    const std::uint32_t block = m_codec->memoBlock(record, field);
    if (block == 0) return field.isBinary() ? Value(Blob{}) : Value(std::string());
    if (!m_memo)
        throw ProviderError::make(FoxError::MemoFileInvalid,
                                  siblingFile(m_path, memoFileName()).filename().string());
    return m_codec->decodeMemo(field, m_memo->read(block));
}

Value Table::value(std::uint32_t recno, int field) {
    if (field < 0 || field >= fieldCount()) throw ProviderError::make(FoxError::VariableNotFound);
    const char* record = recordBytes(recno);
    const Field& f =
        m_header.fields[static_cast<std::size_t>(m_headerIndex[static_cast<std::size_t>(field)])];
    return f.isMemo() ? memoValue(record, f) : m_codec->decode(record, f);
}

void Table::decodeAll(const char* record, std::vector<Value>& values, const std::vector<char>* wanted) const {
    values.resize(m_fields.size());
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (wanted && !(*wanted)[i]) continue;
        const Field& f = m_header.fields[static_cast<std::size_t>(m_headerIndex[i])];
        // Text of a plain character field goes into the string the caller's vector already holds, so
        // reading record after record allocates nothing for it (same rule as RecordCodec::decode).
        if (f.type == 'C' && m_codePage && !f.isNullable() && !f.isBinary()) {
            if (auto* text = std::get_if<std::string>(&values[i])) {
                const char* p = record + f.offset;
                std::size_t end = static_cast<std::size_t>(f.width);
                while (end > 0 && (p[end - 1] == ' ' || p[end - 1] == '\0')) --end;
                text->clear();
                m_codePage->decodeAppend(std::string_view(p, end), *text);
                continue;
            }
        }
        if (f.isMemo() && m_codePage && m_memo && !f.isBinary() && !m_codec->isNull(record, f)) {
            if (auto* text = std::get_if<std::string>(&values[i])) {
                text->clear();
                if (const std::uint32_t block = m_codec->memoBlock(record, f)) {
                    m_memo->read(block, m_memoBytes);
                    m_codePage->decodeAppend(m_memoBytes, *text);
                }
                continue;
            }
        }
        values[i] = f.isMemo() ? memoValue(record, f) : m_codec->decode(record, f);
    }
}

void Table::readRecord(std::uint32_t recno, std::vector<Value>& values) {
    decodeAll(recordBytes(recno), values);
}

const char* Table::readFields(std::uint32_t recno, const std::vector<char>& wanted,
                              std::vector<Value>& values) {
    const char* record = recordBytes(recno);
    decodeAll(record, values, &wanted);
    return record;
}

std::vector<Value> Table::record(std::uint32_t recno) {
    std::vector<Value> values;
    readRecord(recno, values);
    return values;
}

Date Table::today() const {
    if (m_fixedDate) return *m_fixedDate;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return Date{julianDayFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday)};
}

}  // namespace dorvane::provider
