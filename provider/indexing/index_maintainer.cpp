#include "provider/indexing/index_maintainer.h"

#include <sys/stat.h>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "provider/error.h"
#include "provider/format/lock_ranges.h"

namespace dorvane::provider::indexing {

using index::CdxFile;
using index::KeyEntry;
using index::TagContent;
using OptionalKey = std::optional<std::string>;

std::unique_ptr<IndexMaintainer> IndexMaintainer::attach(Table& table) {
    const auto path = table.structuralIndexPath();
    if (!path) return nullptr;
    if (!std::filesystem::exists(*path)) throw ProviderError::make(FoxError::StructuralCdxNotFound);
    auto cdx = std::make_unique<CdxFile>(CdxFile::open(path->string(), true));
    std::unique_ptr<IndexMaintainer> maintainer(new IndexMaintainer(table, std::move(cdx)));
    maintainer->m_fileName = path->filename().string();
    maintainer->prepareTags();
    maintainer->captureSignatures();
    if (table.mode() == OpenMode::Exclusive) {
        // The one writer keeps a journal of its own. A writer that shared the table before and stopped
        // part-way left the changing mark.
        maintainer->m_journal = std::make_unique<ChangeJournal>(*path);
        maintainer->recover();
        if (maintainer->m_cdx->updateCounter() & kChangingMark) maintainer->rebuild();
    }
    // In shared use each hold looks for changes, marks and leftovers (see onWriteHold).
    maintainer->noteIndexState();
    table.setChangeObserver(maintainer.get());
    return maintainer;
}

IndexMaintainer::~IndexMaintainer() {
    // The journal is only needed while the last change may not have reached the table.
    try {
        const auto last = m_journal ? m_journal->last() : std::nullopt;
        // Nothing left to repair: the file goes, so no journal stays behind in the user's folder. (A
        // second writer sharing the table keeps writing to its open journal; only its repair after a
        // crash in the same moment would be lost.)
        if (m_journal && (!last || changeReachedTable(*last))) m_journal->remove();
    } catch (...) {
    }
    detach();
}

bool IndexMaintainer::changeReachedTable(const JournalEntry& entry) {
    if (entry.keys.size() != m_tags.size() || entry.recno == 0 || entry.recno > m_table.recordCount())
        return false;
    try {
        return keysOf(m_table.record(entry.recno), entry.recno, m_table.isDeleted(entry.recno)) == entry.keys;
    } catch (const ProviderError&) {
        return false;
    }
}

IndexMaintainer::FileState IndexMaintainer::indexState() const {
    struct stat info {};
    if (fileSystem().stat(m_cdx->path().c_str(), &info) != 0) return {};
    return {static_cast<std::uint64_t>(info.st_size), static_cast<std::uint64_t>(info.st_ino),
            m_cdx->updateCounter()};
}

void IndexMaintainer::noteIndexState() {
    // A table held exclusively has no other writers to notice.
    if (m_table.mode() == OpenMode::Exclusive) return;
    m_seen = indexState();
}

void IndexMaintainer::reloadIfChangedElsewhere() {
    // A table held exclusively has no other writers of its index; a hold looked when it began.
    if (m_table.mode() == OpenMode::Exclusive || m_inHold) return;
    reloadNow();
}

void IndexMaintainer::reloadNow() {
    if (indexState() == m_seen) return;
    // Another user wrote the index since this maintainer did: its cached directory and tag headers
    // (root pages, free list, file length) may be stale, so the file is read again.
    reopenIndex();
    prepareTags();
    noteIndexState();
}

void IndexMaintainer::reopenIndex() {
    const std::string path = m_cdx->path();
    m_indexLock.release();  // while its descriptor is still open
    m_cdx = std::make_unique<CdxFile>(CdxFile::open(path, true));
    if (m_inHold)
        m_indexLock = RangeLock::acquire(m_cdx->fd(), RangeLock::Kind::Write, kIndexLockOffset,
                                         kIndexLockLength, kLockWait);
}

void IndexMaintainer::onWriteHold(Table&, bool held, bool failed) {
    if (held) {
        m_indexLock = RangeLock::acquire(m_cdx->fd(), RangeLock::Kind::Write, kIndexLockOffset,
                                         kIndexLockLength, kLockWait);
        m_inHold = true;
        m_changedInHold = false;
        try {
            reloadNow();
            if (!m_leftoverChecked) {
                // A journal an exclusive user left behind when it stopped part-way.
                const auto leftover = ChangeJournal::pathFor(m_cdx->path());
                if (std::filesystem::exists(leftover)) {
                    ChangeJournal journal(m_cdx->path());
                    const auto last = journal.last();
                    if (last && !changeReachedTable(*last)) rebuild();
                    journal.remove();
                }
                m_leftoverChecked = true;
            }
            // A writer sharing the table stopped in the middle of a change.
            if (m_cdx->updateCounter() & kChangingMark) rebuild();
        } catch (...) {
            m_inHold = false;
            m_indexLock.release();
            throw;
        }
        return;
    }
    if (m_changedInHold) {
        try {
            if (failed)
                rebuild();  // the table may lack a change the index took: the index follows the table
            else
                m_cdx->setUpdateCounter((m_cdx->updateCounter() + 1) & ~kChangingMark);
            noteIndexState();
        } catch (...) {
            // The mark stays: the next writer rebuilds the index.
        }
    }
    m_changedInHold = false;
    m_inHold = false;
    m_indexLock.release();
}

void IndexMaintainer::recover() {
    const auto last = m_journal->last();
    if (!last) return;
    // The tags were changed for this record, and the process ended (or the table write failed) before
    // the table took the change: the index may hold keys the table does not, or a half-written tree.
    if (!changeReachedTable(*last)) rebuild();
    m_journal->clear();
}

void IndexMaintainer::detach() {
    if (m_table.changeObserver() == this) m_table.setChangeObserver(nullptr);
}

void IndexMaintainer::prepareTags() {
    std::vector<TagKey> tags;
    for (const index::TagInfo& info : m_cdx->tags())
        tags.push_back(TagKey::prepare(m_table, info, m_fileName));
    for (const TagKey& tag : tags) m_cdx->setKeyType(tag.name(), tag.keyType());
    m_tags = std::move(tags);
    m_direct.clear();
    for (const TagKey& tag : m_tags) m_direct.push_back(DirectKey::forTag(m_table, tag));
}

std::vector<OptionalKey> IndexMaintainer::keysOf(const std::vector<Value>& values, std::uint32_t recno,
                                                 bool deleted, const char* record) {
    RecordRow row(m_table.fields());
    row.set(&values, recno, deleted);
    std::vector<OptionalKey> keys;
    keys.reserve(m_tags.size());
    std::string bytes;
    for (std::size_t i = 0; i < m_tags.size(); ++i) {
        if (record != nullptr && m_direct[i]) {
            bytes.resize(m_tags[i].keyLength());
            if (m_direct[i]->keyOf(record, reinterpret_cast<unsigned char*>(bytes.data()))) {
                keys.emplace_back(bytes);
                continue;
            }
        }
        keys.push_back(m_tags[i].keyOf(row));
    }
    return keys;
}

std::optional<std::uint32_t> IndexMaintainer::lowestOtherRecordWithKey(std::size_t tag,
                                                                       const std::string& key,
                                                                       std::uint32_t exceptRecno) {
    std::vector<Value> values;
    RecordRow row(m_table.fields());
    for (std::uint32_t recno = 1; recno <= m_table.recordCount(); ++recno) {
        if (recno == exceptRecno) continue;
        m_table.readRecord(recno, values);
        row.set(&values, recno, m_table.isDeleted(recno));
        if (m_tags[tag].keyOf(row) == key) return recno;
    }
    return std::nullopt;
}

void IndexMaintainer::changeTag(std::size_t tag, std::uint32_t recno, const OptionalKey& oldKey,
                                const OptionalKey& newKey) {
    const std::string& name = m_tags[tag].name();
    if (!m_tags[tag].unique()) {
        m_cdx->update(name, oldKey ? std::optional<std::string_view>(*oldKey) : std::nullopt,
                      newKey ? std::optional<std::string_view>(*newKey) : std::nullopt, recno);
        return;
    }
    // A unique tag holds only the lowest record of each key: when that record leaves the key, the
    // next record carrying it takes its place; a lower record arriving displaces the holder.
    if (oldKey && m_cdx->remove(name, *oldKey, recno)) {
        if (auto next = lowestOtherRecordWithKey(tag, *oldKey, recno)) m_cdx->insert(name, *oldKey, *next);
    }
    if (newKey) {
        const auto holder = m_cdx->lowerBound(name, *newKey, 0);
        if (holder && holder->key == *newKey) {
            if (holder->recno < recno) return;
            m_cdx->remove(name, holder->key, holder->recno);
        }
        m_cdx->insert(name, *newKey, recno);
    }
}

void IndexMaintainer::applyChanges(std::uint32_t recno, const std::vector<OptionalKey>& before,
                                   const std::vector<OptionalKey>& after) {
    // Every candidate tag is checked before any tag is written, so a duplicate changes nothing.
    for (std::size_t i = 0; i < m_tags.size(); ++i)
        if (m_tags[i].candidate() && after[i] && after[i] != before[i])
            m_cdx->checkCandidate(m_tags[i].name(), *after[i], recno);
    if (before == after) return;
    // The journal names only the newest change: records the table still gathers in a write batch
    // reach the file before the index moves on.
    m_table.writeBatchSoFar();
    if (m_journal) {
        m_journal->record(JournalEntry{recno, after});
    } else if (!m_changedInHold) {
        m_cdx->setUpdateCounter(m_cdx->updateCounter() | kChangingMark);
        m_changedInHold = true;
    }
    try {
        for (std::size_t i = 0; i < m_tags.size(); ++i)
            if (before[i] != after[i]) changeTag(i, recno, before[i], after[i]);
    } catch (...) {
        // A write failed part-way (disk full, I/O error), perhaps in the middle of one tag's pages. The
        // table has not taken the change, so the index is made again from its records; if even that
        // cannot be written, the maintainer lets go (the table refuses changes) and the journal makes
        // the next attach rebuild the index.
        try {
            rebuild();
        } catch (...) {
            detach();
        }
        throw;
    }
}

void IndexMaintainer::onAppend(Table&, std::uint32_t recno, const std::vector<Value>& values,
                               const char* record) {
    reloadIfChangedElsewhere();
    const std::vector<OptionalKey> none(m_tags.size());
    applyChanges(recno, none, keysOf(values, recno, false, record));
}

void IndexMaintainer::checkCandidateKeys(
    const std::vector<std::uint32_t>& recnos,
    const std::function<std::vector<Value>(std::uint32_t)>& newValuesOf) {
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < m_tags.size(); ++i)
        if (m_tags[i].candidate()) candidates.push_back(i);
    if (candidates.empty() || recnos.size() < 2) return;
    reloadIfChangedElsewhere();
    const std::unordered_set<std::uint32_t> changing(recnos.begin(), recnos.end());
    RecordRow row(m_table.fields());
    for (std::size_t tagIndex : candidates) {
        const TagKey& tag = m_tags[tagIndex];
        // The keys the statement's records hold as it goes: their old keys until they are changed.
        std::unordered_map<std::string, std::uint32_t> held;
        std::vector<OptionalKey> oldKeys;
        oldKeys.reserve(recnos.size());
        for (std::uint32_t recno : recnos) {
            const std::vector<Value> values = m_table.record(recno);
            row.set(&values, recno, m_table.isDeleted(recno));
            oldKeys.push_back(tag.keyOf(row));
            if (oldKeys.back()) held.emplace(*oldKeys.back(), recno);
        }
        for (std::size_t i = 0; i < recnos.size(); ++i) {
            const std::uint32_t recno = recnos[i];
            if (oldKeys[i]) {
                auto it = held.find(*oldKeys[i]);
                if (it != held.end() && it->second == recno) held.erase(it);
            }
            const std::vector<Value> values = newValuesOf(recno);
            row.set(&values, recno, m_table.isDeleted(recno));
            const OptionalKey key = tag.keyOf(row);
            if (!key) continue;
            bool clash = held.count(*key) != 0;
            for (auto entry = m_cdx->lowerBound(tag.name(), *key, 0); !clash && entry && entry->key == *key;
                 entry = m_cdx->lowerBound(tag.name(), *key, entry->recno + 1)) {
                clash = changing.count(entry->recno) == 0;
            }
            if (clash) throw ProviderError::make(FoxError::UniquenessViolated, tag.name());
            held.emplace(*key, recno);
        }
    }
}

void IndexMaintainer::onUpdate(Table&, std::uint32_t recno, const std::vector<Value>& oldValues,
                               const std::vector<Value>& newValues, const char* oldRecord,
                               const char* newRecord) {
    // A change to fields no tag reads leaves every key as it was (numbering a work column, say).
    const bool keysMayChange = std::any_of(m_tags.begin(), m_tags.end(), [&](const TagKey& tag) {
        return std::any_of(tag.fieldsUsed().begin(), tag.fieldsUsed().end(), [&](int field) {
            const auto i = static_cast<std::size_t>(field);
            return i >= oldValues.size() || i >= newValues.size() || !(oldValues[i] == newValues[i]);
        });
    });
    if (!keysMayChange) return;
    reloadIfChangedElsewhere();
    const bool deleted = m_table.isDeleted(recno);
    applyChanges(recno, keysOf(oldValues, recno, deleted, oldRecord),
                 keysOf(newValues, recno, deleted, newRecord));
}

void IndexMaintainer::onDelete(Table&, std::uint32_t recno, bool deleted) {
    reloadIfChangedElsewhere();
    // FoxPro keeps deleted records in its tags: only a tag that reads DELETED() can change.
    if (std::none_of(m_tags.begin(), m_tags.end(), [](const TagKey& t) { return t.usesDeleted(); })) return;
    const std::vector<Value> values = m_table.record(recno);
    std::vector<OptionalKey> before = keysOf(values, recno, !deleted);
    std::vector<OptionalKey> after = keysOf(values, recno, deleted);
    for (std::size_t i = 0; i < m_tags.size(); ++i)
        if (!m_tags[i].usesDeleted()) after[i] = before[i];
    applyChanges(recno, before, after);
}

std::string IndexMaintainer::fieldSignature(const TagKey& tag) const {
    std::string signature;
    for (int i : tag.fieldsUsed()) {
        const Field& f = m_table.fields()[static_cast<std::size_t>(i)];
        signature += f.name + '/' + f.longName + '/' + f.type + std::to_string(f.width) + '.' +
                     std::to_string(f.decimals) + (f.isNullable() ? "n" : "") + ';';
    }
    return signature;
}

void IndexMaintainer::captureSignatures() {
    m_signatures.clear();
    for (const TagKey& tag : m_tags) m_signatures.push_back(fieldSignature(tag));
}

void IndexMaintainer::onSchemaChange(Table&) {
    try {
        prepareTags();
    } catch (...) {
        detach();
        throw;
    }
    // Compiling succeeded: every field a tag reads still exists under its name. The records kept their
    // values through the rewrite, so keys only differ when such a field changed type, width or
    // nullability; only then is the index rebuilt.
    bool same = m_signatures.size() == m_tags.size();
    for (std::size_t i = 0; i < m_tags.size() && same; ++i)
        same = fieldSignature(m_tags[i]) == m_signatures[i];
    if (!same) rebuild();
    captureSignatures();
}

std::vector<index::FlatKeys> IndexMaintainer::entriesFromRecords() {
    return keysFromRecords(m_table, m_tags);
}

void IndexMaintainer::rebuild() {
    writeTags(entriesFromRecords());
}

void IndexMaintainer::writeTags(std::vector<index::FlatKeys> entries) {
    if (entries.size() != m_tags.size()) throw ProviderError::make(FoxError::IndexMismatch);
    std::vector<index::TagKeys> contents;
    for (std::size_t i = 0; i < m_tags.size(); ++i) {
        const index::TagInfo& info = m_cdx->tag(m_tags[i].name());
        index::TagKeys content;
        content.definition.name = info.name;
        content.definition.keyExpression = info.header.keyExpression;
        content.definition.forExpression = info.header.forExpression;
        content.definition.keyLength = info.keyLength();
        content.definition.keyType = m_tags[i].keyType();
        content.definition.unique = info.unique();
        content.definition.candidate = info.candidate();
        content.definition.descending = info.descending();
        content.definition.collation = info.collation();
        content.keys = std::move(entries[i]);
        content.previousHeader = info.header.raw;  // keeps the header bytes this engine does not set
        contents.push_back(std::move(content));
    }
    index::writeCdxFile(m_cdx->path(), std::move(contents));
    reopenIndex();
    for (const TagKey& tag : m_tags) m_cdx->setKeyType(tag.name(), tag.keyType());
    if (m_journal) m_journal->clear();
    noteIndexState();
}

void IndexMaintainer::checkFieldChange(std::string_view field, bool removedOrRenamed) const {
    if (!removedOrRenamed) return;
    const int index = m_table.fieldIndex(field);
    if (index < 0) return;
    for (const TagKey& tag : m_tags) {
        const auto& used = tag.fieldsUsed();
        if (std::binary_search(used.begin(), used.end(), index))
            throw ProviderError(FoxError::VariableNotFound,
                                foxproMessage(FoxError::VariableNotFound, field) + " Index tag \"" +
                                    tag.name() +
                                    "\" reads this field: drop the tag before removing or renaming it.");
    }
}

}  // namespace dorvane::provider::indexing
