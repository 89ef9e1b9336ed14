// One open .dbf table: header, lazily read records, memo cells, and the write path (append, update,
// delete flag, structure changes). Indexes and containers live elsewhere; they attach through
// TableChangeObserver and setLongFieldNames(). Not thread-safe: one Table per thread.
#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "provider/format/field.h"
#include "provider/format/file_io.h"
#include "provider/format/file_lock.h"
#include "provider/format/header.h"
#include "provider/format/memo.h"
#include "provider/format/page_cache.h"
#include "provider/format/record_codec.h"
#include "provider/format/table_observer.h"
#include "provider/format/table_write_lock.h"
#include "provider/value.h"

namespace dorvane::provider {

class CodePage;

enum class OpenMode {
    ReadOnly,   // no writes; a shared lock keeps exclusive users away
    Shared,     // writes allowed; a shared lock, so an exclusive open elsewhere fails
    Exclusive,  // an exclusive lock: any other open fails with FileInUseByAnother
};

struct CreateOptions {
    std::uint8_t codePageMark = kCodePageMark1252;
    std::uint32_t memoBlockSize = kDefaultMemoBlockSize;
    // Relative path from the table's folder to the owning .dbc; empty for a free table.
    std::string backlink;
    // When set, every header date this Table writes is this day instead of today (reproducible files).
    std::optional<Date> fixedHeaderDate;
};

// Field index (as in fields()) and the value to store there.
using FieldAssignments = std::vector<std::pair<int, Value>>;

// What a field holds in a new record that no value was given for, as Table::append stores it.
Value valueLeftOut(const Field& f);

class Table {
public:
    // Opens a .dbf (or .dbc). Raises FileDoesNotExist, NotATable, TableCorrupted, FileInUseByAnother
    // or FileAccessDenied. A missing or damaged memo file does not stop the open: memo cells then raise
    // MemoFileInvalid and writes are refused.
    static std::unique_ptr<Table> open(const std::filesystem::path& path, OpenMode mode = OpenMode::ReadOnly);
    // Creates an empty VFP table (and its .fpt when it has memo fields), replacing any file of that
    // name, and returns it opened exclusively. Raises the layout errors of layoutFields().
    static std::unique_ptr<Table> create(const std::filesystem::path& path,
                                         const std::vector<FieldSpec>& fields,
                                         const CreateOptions& options = {});
    ~Table();

    const std::filesystem::path& path() const { return m_path; }
    OpenMode mode() const { return m_mode; }
    const TableHeader& header() const { return m_header; }
    std::uint32_t recordCount() const { return m_header.recordCount; }
    // The visible fields (no _NullFlags), in record order.
    const std::vector<Field>& fields() const { return m_fields; }
    int fieldCount() const { return static_cast<int>(m_fields.size()); }
    // Index of the field with this name (long or header name, any case), or -1.
    int fieldIndex(std::string_view name) const;
    bool hasMemoFields() const;
    // The table's code page, or null when its mark names none this system can convert.
    const CodePage* codePage() const { return m_codePage; }
    std::optional<std::filesystem::path> containerPath() const;
    // Gives the visible fields their container names, in field order (extra names are ignored).
    void setLongFieldNames(const std::vector<std::string>& names);
    // Re-reads the header (for records other users appended).
    void refresh();
    // Gives up the lock on the file and the right to write it: what a result set still reads after
    // its connection has closed, so that the table does not stay locked for everyone else.
    void keepForReadingOnly();

    // Reading. recno is the 1-based physical position; RecordOutOfRange outside 1..recordCount().
    bool isDeleted(std::uint32_t recno);
    Value value(std::uint32_t recno, int field);
    // Every visible field of a record into `values` (resized to fieldCount()).
    void readRecord(std::uint32_t recno, std::vector<Value>& values);
    std::vector<Value> record(std::uint32_t recno);
    // Reads into `values` (resized to fieldCount()) only the fields whose entry in `wanted` is nonzero;
    // the others keep what they held. Returns the record's bytes as the file holds them (the deletion
    // flag first), valid until the next read of this table.
    const char* readFields(std::uint32_t recno, const std::vector<char>& wanted, std::vector<Value>& values);

    // Writing. Each call either completes or leaves the .dbf as it was.

    // A writer's hold on a table opened shared: while one lasts, no other process writes the table,
    // its memo or its index (lock_ranges.h). Taking the first hold waits up to kLockWait for the
    // locks (then raises FileInUseByAnother, having written nothing) and looks at the writer's stamp
    // and record count: when another writer held the table since this one last did, it takes in what
    // they changed (record count, autoincrement values, what was read ahead and, through the observer,
    // the index) and advances changeGeneration(). The memo's lock and end are taken when memo text is
    // first stored under the hold. Holds nest; every write takes one, so a statement holds one across
    // all its reads and writes. When a hold ends the range is kept a moment (table_write_lock.h); a hold
    // that takes it back skips the look, as nobody can have written since. Outside shared use a hold
    // does nothing.
    class WriteHold {
    public:
        WriteHold(WriteHold&& other) noexcept : m_table(std::exchange(other.m_table, nullptr)) {}
        WriteHold(const WriteHold&) = delete;
        WriteHold& operator=(const WriteHold&) = delete;
        WriteHold& operator=(WriteHold&&) = delete;
        ~WriteHold() {
            if (m_table) m_table->releaseHold(std::uncaught_exceptions() > m_exceptions);
        }

    private:
        friend class Table;
        explicit WriteHold(Table* table) : m_table(table), m_exceptions(std::uncaught_exceptions()) {}
        Table* m_table;
        int m_exceptions = 0;
    };
    WriteHold holdForWriting();
    bool holdsWriteLock() const { return m_holdDepth > 0; }
    // Takes in what other users of a shared table changed since (record count, autoincrement values,
    // memo end) and forgets what was read ahead. The structure cannot change while the table is open.
    void takeInChanges();
    // The same, unless the writer's stamp and the record count show that nobody wrote since this table
    // last wrote the table (lock_ranges.h): what was read and derived before then still holds.
    void takeInOthersChanges();
    // Advances each time the table may have taken in changes of other users: what a caller derived
    // from the records (lists, maps) at another generation is stale. Never advances in exclusive use.
    std::uint64_t changeGeneration() const { return m_changeGeneration; }

    void setChangeObserver(TableChangeObserver* observer) { m_observer = observer; }
    TableChangeObserver* changeObserver() const { return m_observer; }
    // Raises unless this table may be changed: FileAccessDenied when opened read-only or not a VFP
    // table, MemoFileInvalid when its memo file is unusable, IndexNotMaintained (naming the index
    // file) when a structural index or container index exists and no observer keeps it up to date.
    void ensureWritable() const;
    // Appends a record: unassigned fields are empty (null when nullable), autoincrement fields take
    // their next value. Returns the new recno.
    std::uint32_t append(const FieldAssignments& values = {});
    // Appends a record from a value for every visible field (null = unassigned for autoincrement fields).
    std::uint32_t appendValues(const std::vector<Value>& values);
    void update(std::uint32_t recno, const FieldAssignments& values);
    // Raises what update() would raise for these values (too long, overflow, wrong type, null where
    // none is allowed, text the code page cannot hold) without writing anything.
    void checkValues(const FieldAssignments& values) const;
    void setDeleted(std::uint32_t recno, bool deleted);
    // New memo text is always written before the record that points to it, so a process that dies
    // between the two leaves the record as it was. On, the memo text also reaches the disk first (a
    // flush per change, some milliseconds each); off (the default, as FoxPro does), flush() or the
    // system does it later. Structure changes flush whatever the setting.
    void setFlushEachChange(bool on) { m_flushEachChange = on; }
    // Flushes the memo file and the table to disk.
    void flush();
    // While a write batch is open, updates of records that follow one another are gathered and
    // written to the file together (one system call per run rather than per record); every other
    // write, and endWriteBatch(), writes them first. Only for a table held exclusively; otherwise it
    // does nothing. Reads see the gathered updates.
    void beginWriteBatch();
    void endWriteBatch();
    // Writes the updates gathered so far. An index observer calls it before it changes the index for
    // a record, so that every earlier record is in the file before the index moves on.
    void writeBatchSoFar();
    // Rewrites the backlink (the owning .dbc relative to this table's folder; empty frees the table).
    void setBacklink(const std::string& backlink);

    // Structure changes; they need OpenMode::Exclusive (MustBeExclusive otherwise) and rebuild the
    // .dbf beside the old one, then rename it over: a crash leaves the old or the new table whole.
    // Records keep their order, deletion flags and memo pointers; the memo file is not rewritten.
    void addField(const FieldSpec& fieldSpec);
    void renameField(std::string_view name, std::string_view newName);
    void dropField(std::string_view name);

    // The index file that makes this table read-only (.cdx, or .dcx for a container), if any.
    std::optional<std::filesystem::path> structuralIndexPath() const;

private:
    Table() = default;
    void releaseHold(bool failed) noexcept;
    // Under a shared hold: reads the header's first bytes and takes in others' changes when the
    // writer's stamp or the record count says someone else wrote (lock_ranges.h).
    void lookForOthersChanges();
    // Writes to the .dbf under a hold that found another writer's stamp write a fresh stamp of this
    // table's own first, so a statement that ends up writing nothing leaves the file as it was.
    void writeTableBytes(std::uint64_t offset, const void* bytes, std::size_t size);
    void takeInChanges(const char* head);
    // A memo value waiting to be stored once every field of the record has passed its checks.
    struct PendingMemo {
        const Field* field;
        std::string bytes;
    };
    // Under a shared hold, before memo text is stored: the memo's lock and its current end.
    void holdMemoFor(const std::vector<PendingMemo>& memos);
    // Reads the header's first bytes into `head` and takes in others' changes unless the writer's stamp
    // is this table's own and the record count as known; returns whether the stamp is its own.
    bool takeInChangesUnlessOwnStamp(char* head);
    // The record's bytes as the file holds them now (or as this table's pending batch has them).
    void readRecordForWriting(std::uint32_t recno, std::vector<char>& record);
    void load();
    const char* recordBytes(std::uint32_t recno);
    Value memoValue(const char* record, const Field& field) const;
    void decodeAll(const char* record, std::vector<Value>& values,
                   const std::vector<char>* wanted = nullptr) const;
    std::string memoFileName() const;
    Date today() const;
    void writeHeaderDateAndCount();
    // Sets the header's last-update date to today after a change (one small write a day).
    void touchHeaderDate();
    void rewrite(const std::vector<FieldSpec>& fieldSpecs, const std::vector<int>& sources);
    std::string nameForErrors() const { return m_path.filename().string(); }

    std::filesystem::path m_path;
    OpenMode m_mode = OpenMode::ReadOnly;
    File m_file;
    FileLock m_lock;  // declared after m_file: released before the descriptor closes
    TableHeader m_header;
    std::vector<Field> m_fields;     // visible fields
    std::vector<int> m_headerIndex;  // visible field -> index in m_header.fields
    const CodePage* m_codePage = nullptr;
    std::unique_ptr<RecordCodec> m_codec;
    PageCache m_cache;
    std::unique_ptr<MemoFile> m_memo;
    std::vector<char> m_record;
    mutable std::string m_memoBytes;  // memo bytes read on the way to decoding, reused
    void writePending();
    bool m_batching = false;
    std::uint64_t m_pendingOffset = 0;
    std::vector<char> m_pending;  // updated records not yet written, one run starting at m_pendingOffset
    TableChangeObserver* m_observer = nullptr;
    std::optional<Date> m_fixedDate;
    bool m_flushEachChange = false;
    int m_holdDepth = 0;
    // The .dbf's write range and the read locks of pages, outside exclusive use (declared after m_lock:
    // it lets its range go first).
    std::unique_ptr<TableWriteLock> m_writeLock;
    RangeLock m_memoLock;
    std::uint64_t m_stamp = 0;  // the writer's stamp this table last wrote; 0 for none
    bool m_stampOwed = false;   // a fresh stamp is to be written before the hold's first write
    std::uint64_t m_changeGeneration = 0;
    // The file's first 8 bytes (type, date, record count) while known for sure: held exclusively, or
    // read under the current hold or one whose range it took back (table_write_lock.h).
    char m_head[8] = {};
    bool m_headKnown = false;
    // The .dbf's length after this table's last append, while nobody else has appended since.
    std::optional<std::uint64_t> m_fileSize;
};

}  // namespace dorvane::provider
