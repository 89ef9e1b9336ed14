// Keeps a table's structural index (.cdx, or a container's .dcx) true as the table changes: it
// observes every append, update, delete flag and structure change and writes the matching keys.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "provider/format/table.h"
#include "provider/format/table_observer.h"
#include "provider/index/cdx_builder.h"
#include "provider/index/cdx_file.h"
#include "provider/indexing/change_journal.h"
#include "provider/indexing/direct_key.h"
#include "provider/indexing/key_scan.h"
#include "provider/indexing/tag_key.h"

namespace dorvane::provider::indexing {

class IndexMaintainer final : public TableChangeObserver {
public:
    // Opens `table`'s structural index for writing, prepares every tag (TagKey::prepare), sets each
    // tag's key type and registers itself as the table's change observer. Before each change it
    // writes the new keys to a ChangeJournal; when attaching finds that the last change recorded
    // there never reached the table (a crash between index and table), it rebuilds the index. Raises
    // ProviderError(IndexNotMaintained) naming the first tag it cannot keep true (nothing attached:
    // the table stays readable and refuses writes), or what opening the index raises.
    static std::unique_ptr<IndexMaintainer> attach(Table& table);
    // Unregisters from the table, if still registered, and deletes the journal when the last change
    // reached the table (exclusive use only). The Table must outlive its maintainer: destroy
    // maintainers first.
    ~IndexMaintainer() override;
    IndexMaintainer(const IndexMaintainer&) = delete;
    IndexMaintainer& operator=(const IndexMaintainer&) = delete;

    // Stops observing: the table refuses writes again.
    void detach();
    Table& table() const { return m_table; }
    const index::CdxFile& indexFile() const { return *m_cdx; }
    index::CdxFile& indexFile() { return *m_cdx; }  // for fault injection in tests
    const std::vector<TagKey>& tags() const { return m_tags; }

    // Before a structure change: raises when a tag's key or FOR expression reads `field` and the change
    // removes or renames it. FoxPro would no longer find the field when it evaluates the tag, so the
    // error is its "Variable "name" is not found." (12), completed with the tag's name.
    void checkFieldChange(std::string_view field, bool removedOrRenamed) const;
    // Adding a field leaves every key as it was: the maintainer only recompiles its expressions in
    // onSchemaChange and writes nothing. Always true; here so callers need not assume it.
    static constexpr bool addedFieldsNeedNothing() { return true; }

    // Rebuilds every tag from the records (REINDEX): the new file is written beside the old one and
    // renamed over it, so a crash leaves one of the two whole.
    void rebuild();
    // The two halves of rebuild(): every tag's entries worked out from the records (keysFromRecords:
    // in record order, unique tags still holding repeated keys), and the index file written anew with
    // them (tag definitions kept; writing sorts them and keeps a unique tag's first record per key).
    std::vector<index::FlatKeys> entriesFromRecords();
    void writeTags(std::vector<index::FlatKeys> entries);

    // Before a statement changes several records one after another: raises UniquenessViolated, naming
    // the tag, when some record's change would clash with a key of a candidate tag held at that moment
    // (by a record outside the statement, or by one changed before or still to be changed), so the
    // statement is refused before its first record is written. `newValuesOf(recno)` gives a changed
    // record's values after the change.
    void checkCandidateKeys(const std::vector<std::uint32_t>& recnos,
                            const std::function<std::vector<Value>(std::uint32_t)>& newValuesOf);

    void onAppend(Table& table, std::uint32_t recno, const std::vector<Value>& values,
                  const char* record) override;
    void onUpdate(Table& table, std::uint32_t recno, const std::vector<Value>& oldValues,
                  const std::vector<Value>& newValues, const char* oldRecord, const char* newRecord) override;
    void onDelete(Table& table, std::uint32_t recno, bool deleted) override;
    // Recompiles the tags against the new fields; rebuilds the index when a field a tag reads changed
    // its type, width or nullability. A tag that no longer compiles detaches the maintainer (the table
    // becomes read-only) and raises its IndexNotMaintained error.
    void onSchemaChange(Table& table) override;
    // In shared use: takes the index's lock and reads the index again when another user changed it;
    // rebuilds it when a writer stopped part-way through a change (the changing mark below). Letting
    // go advances the update counter, or rebuilds the index when a change under the hold failed.
    void onWriteHold(Table& table, bool held, bool failed) override;

    // Set in the index's update counter by a writer sharing the table from its first change under a
    // hold until it lets go; found set by the next writer, it means the index may disagree with the
    // table. (Exclusive use keeps a ChangeJournal instead.)
    static constexpr std::uint32_t kChangingMark = 0x80000000u;

private:
    IndexMaintainer(Table& table, std::unique_ptr<index::CdxFile> cdx)
        : m_table(table), m_cdx(std::move(cdx)) {}
    void prepareTags();
    // Size, inode and update counter of the index file, to notice writes by other users.
    struct FileState {
        std::uint64_t size = 0;
        std::uint64_t inode = 0;
        std::uint32_t counter = 0;
        friend bool operator==(const FileState&, const FileState&) = default;
    };
    FileState indexState() const;
    void noteIndexState();
    // Reads the index again when someone else changed it since this maintainer last wrote it (not
    // needed under a hold, which looked when it began).
    void reloadIfChangedElsewhere();
    void reloadNow();
    // Opens the index file again (after another user or a rebuild replaced it), keeping the lock.
    void reopenIndex();
    // Rebuilds the index when the journal's last change did not reach the table.
    void recover();
    bool changeReachedTable(const JournalEntry& entry);
    // Per tag: the key the record has (nullopt: not admitted by FOR). With the record's bytes, the
    // tags a DirectKey covers read their keys from them.
    std::vector<std::optional<std::string>> keysOf(const std::vector<Value>& values, std::uint32_t recno,
                                                   bool deleted, const char* record = nullptr);
    // Applies per-tag changes for one record: candidate checks for all tags first, then the journal
    // entry, then the writes. A write failing part-way rebuilds the index from the table (which has
    // not taken the change); when even that fails the maintainer detaches (the table turns read-only
    // until the next attach rebuilds the index).
    void applyChanges(std::uint32_t recno, const std::vector<std::optional<std::string>>& before,
                      const std::vector<std::optional<std::string>>& after);
    // Writes one tag's change; unique tags keep the lowest record of each key.
    void changeTag(std::size_t tag, std::uint32_t recno, const std::optional<std::string>& oldKey,
                   const std::optional<std::string>& newKey);
    std::optional<std::uint32_t> lowestOtherRecordWithKey(std::size_t tag, const std::string& key,
                                                          std::uint32_t exceptRecno);
    // Names, types and widths of the fields a tag reads, to tell after a structure change whether
    // its keys may have changed.
    std::string fieldSignature(const TagKey& tag) const;
    void captureSignatures();

    Table& m_table;
    std::unique_ptr<index::CdxFile> m_cdx;
    std::vector<TagKey> m_tags;
    std::vector<std::optional<DirectKey>> m_direct;  // per tag, where its keys can be read from bytes
    std::unique_ptr<ChangeJournal> m_journal;
    FileState m_seen;
    std::vector<std::string> m_signatures;  // fieldSignature() per tag, as of the last preparation
    std::string m_fileName;
    RangeLock m_indexLock;
    bool m_inHold = false;
    bool m_changedInHold = false;
    bool m_leftoverChecked = false;  // shared use: a journal an exclusive user left was looked at
};

}  // namespace dorvane::provider::indexing
