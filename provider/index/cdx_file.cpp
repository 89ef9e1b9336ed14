#include "provider/index/cdx_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <unordered_set>

#include "provider/byte_order.h"
#include "provider/error.h"
#include "provider/index/btree_edit.h"
#include "provider/index/cdx_builder.h"
#include "provider/index/leaf_change.h"
#include "provider/index/tree_walk.h"

namespace dorvane::provider::index {
namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

NodeFormat formatOf(const TagInfo& tag) {
    return {tag.header.keyLength, padByteFor(tag.keyType, tag.header.collation)};
}

}  // namespace

ProviderError tagNotMaintained(const std::string& indexFile, const std::string& tag,
                               const std::string& reason) {
    std::string message = foxproMessage(FoxError::IndexNotMaintained, indexFile);
    const std::string detail = " (tag \"" + tag + "\": " + reason + ")";
    const std::size_t cut = message.find("; the table is read-only");
    if (cut == std::string::npos)
        message += detail;
    else
        message.insert(cut, detail);
    return ProviderError(FoxError::IndexNotMaintained, message);
}

void CdxFile::refuseBinary(const TagInfo& tag) const {
    if (tag.header.binary())
        throw tagNotMaintained(
            baseName(m_file.path()), tag.name,
            "a binary tag (INDEX ... BINARY), whose bitmap nodes this program does not keep");
}

CdxFile CdxFile::open(const std::string& path, bool writable) {
    CdxFile file(PageFile(path, writable));
    file.readDirectory();
    return file;
}

void CdxFile::readDirectory() {
    const std::string name = baseName(m_file.path());
    if (m_file.size() < kTagHeaderSize + kPageSize) throw ProviderError::make(FoxError::IndexMismatch, name);
    std::array<unsigned char, kTagHeaderSize> bytes{};
    m_file.read(0, bytes.data(), bytes.size());
    m_fileHeader = parseTagHeader(bytes.data(), name);
    if (m_fileHeader.keyLength != kDirectoryKeyLength)
        throw ProviderError::make(FoxError::IndexMismatch, name);
    m_tags.clear();
    std::unordered_set<std::uint32_t> headers;
    walkEntries(m_file, m_fileHeader.root, {kDirectoryKeyLength, ' '}, [&](const KeyEntry& e) {
        if (e.recno % kPageSize != 0 || e.recno < kTagHeaderSize ||
            std::uint64_t{e.recno} + kTagHeaderSize > m_file.size() || !headers.insert(e.recno).second)
            throw ProviderError::make(FoxError::IndexMismatch, name);
        TagInfo tag;
        tag.name = e.key.substr(0, e.key.find_last_not_of(' ') + 1);
        tag.headerOffset = e.recno;
        m_file.read(e.recno, bytes.data(), bytes.size());
        tag.header = parseTagHeader(bytes.data(), name);
        m_tags.push_back(std::move(tag));
        return true;
    });
}

TagInfo& CdxFile::mutableTag(std::string_view name) {
    const std::string wanted = upper(name);
    for (TagInfo& t : m_tags)
        if (t.name == wanted) return t;
    throw ProviderError::make(FoxError::TagNotFound);
}

const TagInfo& CdxFile::tag(std::string_view name) const {
    return const_cast<CdxFile*>(this)->mutableTag(name);
}

void CdxFile::setKeyType(std::string_view tagName, KeyType type) {
    TagInfo& t = mutableTag(tagName);
    t.keyType = type;
    t.keyTypeKnown = true;
}

void CdxFile::forEach(std::string_view tagName, const std::function<bool(const KeyEntry&)>& visit) const {
    const TagInfo& t = tag(tagName);
    refuseBinary(t);
    walkEntries(m_file, t.header.root, formatOf(t), visit);
}

std::vector<KeyEntry> CdxFile::entries(std::string_view tagName) const {
    std::vector<KeyEntry> out;
    forEach(tagName, [&](const KeyEntry& e) {
        out.push_back(e);
        return true;
    });
    return out;
}

std::optional<KeyEntry> CdxFile::lowerBound(std::string_view tagName, std::string_view key,
                                            std::uint32_t recno) const {
    const TagInfo& t = tag(tagName);
    refuseBinary(t);
    return findLowerBound(m_file, t.header.root, formatOf(t), {std::string(key), recno});
}

std::optional<KeyEntry> CdxFile::seek(std::string_view tagName, std::string_view key) const {
    const TagInfo& t = tag(tagName);
    if (key.size() > t.keyLength()) key = key.substr(0, t.keyLength());
    auto found = lowerBound(tagName, key, 0);
    if (!found || found->key.compare(0, key.size(), key) != 0) return std::nullopt;
    return found;
}

std::string CdxFile::paddedKey(const TagInfo& tag, std::string_view key) const {
    if (key.size() > tag.keyLength()) throw ProviderError::make(FoxError::StringTooLong);
    std::string k(key);
    k.resize(tag.keyLength(), static_cast<char>(padByteFor(tag.keyType, tag.header.collation)));
    return k;
}

void CdxFile::requireWritable(const TagInfo& tag) const {
    refuseBinary(tag);
    if (!collationSupported(tag.header.collation) || !tag.keyTypeKnown)
        throw ProviderError::make(FoxError::IndexNotMaintained, baseName(m_file.path()));
    if (!m_file.writable()) throw ProviderError::make(FoxError::FileAccessDenied);
}

bool CdxFile::insert(std::string_view tagName, std::string_view key, std::uint32_t recno) {
    return update(tagName, std::nullopt, key, recno);
}

bool CdxFile::remove(std::string_view tagName, std::string_view key, std::uint32_t recno) {
    return update(tagName, key, std::nullopt, recno);
}

bool CdxFile::update(std::string_view tagName, std::optional<std::string_view> oldKey,
                     std::optional<std::string_view> newKey, std::uint32_t recno) {
    KeyChange change;
    if (oldKey) change.oldKey = std::string(*oldKey);
    if (newKey) change.newKey = std::string(*newKey);
    change.recno = recno;
    return updateMany(tagName, {change}) == 1;
}

void CdxFile::writeStatistics(TagInfo& t, std::uint32_t keyCount, std::uint32_t distinct) {
    writeLe(t.header.raw.data() + kHdrKeyCount, keyCount, 4);
    writeLe(t.header.raw.data() + kHdrDistinctCount, distinct, 4);
    m_file.write(t.headerOffset + kHdrKeyCount, t.header.raw.data() + kHdrKeyCount, 8);
}

bool CdxFile::applyChange(TagInfo& t, const KeyChange& c) {
    std::optional<std::string> oldK, newK;
    if (c.oldKey) oldK = paddedKey(t, *c.oldKey);
    if (c.newKey) newK = paddedKey(t, *c.newKey);
    if (oldK == newK) return false;
    LeafChange leaf(m_file, t.header.root, formatOf(t), m_leaf);
    const auto restructured = [&](auto&& change) {
        BTreeEdit edit(m_file, m_fileHeader, t.header, t.headerOffset, formatOf(t));
        const bool result = change(edit);
        edit.commit();
        return result;
    };
    std::uint32_t keyCount = readLe(t.header.raw.data() + kHdrKeyCount, 4);
    std::uint32_t distinct = readLe(t.header.raw.data() + kHdrDistinctCount, 4);
    const bool counted = !t.hasFor() && (keyCount != 0 || leaf.empty());

    // Candidate and unique tags: the key's first holder decides (a violation, or no entry), before
    // anything is written.
    bool addNew = newK.has_value();
    if (newK && (t.candidate() || t.unique())) {
        const auto holder = leaf.firstHolder(*newK);
        if (holder && *holder != c.recno) {
            if (t.candidate()) throw ProviderError::make(FoxError::UniquenessViolated, t.name);
            addNew = false;
        }
    }
    bool did = false;
    if (oldK) {
        bool removed = false;
        switch (leaf.remove(*oldK, c.recno)) {
            case LeafChange::Outcome::Done:
                removed = true;
                break;
            case LeafChange::Outcome::Absent:
                break;
            case LeafChange::Outcome::Restructure:
                removed = restructured([&](BTreeEdit& edit) { return edit.remove({*oldK, c.recno}); });
                break;
        }
        if (removed) {
            did = true;
            keyCount = keyCount > 0 ? keyCount - 1 : 0;
            const auto held = leaf.keyHeldAfterRemove();
            if (!(held ? *held : leaf.firstHolder(*oldK).has_value()) && distinct > 0) --distinct;
        }
    }
    const auto place = addNew ? leaf.place(*newK, c.recno) : LeafChange::Place{true, true};
    if (!place.present) {
        const bool held = place.keyHeldByOther ? *place.keyHeldByOther : leaf.firstHolder(*newK).has_value();
        if (!held) ++distinct;
        if (leaf.insert(*newK, c.recno) == LeafChange::Outcome::Restructure) {
            restructured([&](BTreeEdit& edit) {
                edit.insert({*newK, c.recno});
                return true;
            });
        }
        ++keyCount;
        did = true;
    }
    if (did && counted) writeStatistics(t, keyCount, distinct);
    return did;
}

std::size_t CdxFile::updateMany(std::string_view tagName, const std::vector<KeyChange>& changes) {
    TagInfo& t = mutableTag(tagName);
    requireWritable(t);
    if (changes.size() == 1) return applyChange(t, changes.front()) ? 1 : 0;
    BTreeEdit edit(m_file, m_fileHeader, t.header, t.headerOffset, formatOf(t));
    const auto firstHolder = [&](const std::string& key) -> std::optional<std::uint32_t> {
        const auto first = edit.lowerBound({key, 0});
        if (first && first->key == key) return first->recno;
        return std::nullopt;
    };
    // Header statistics are kept when the tag has them (see kHdrKeyCount) or starts out empty.
    std::uint32_t keyCount = readLe(t.header.raw.data() + kHdrKeyCount, 4);
    std::uint32_t distinct = readLe(t.header.raw.data() + kHdrDistinctCount, 4);
    const bool counted = !t.hasFor() && (keyCount != 0 || !edit.lowerBound({std::string(), 0}));

    // Every change works on the pages in memory; a violation throws before anything is written.
    std::size_t changed = 0;
    for (const KeyChange& c : changes) {
        std::optional<std::string> oldK, newK;
        if (c.oldKey) oldK = paddedKey(t, *c.oldKey);
        if (c.newKey) newK = paddedKey(t, *c.newKey);
        if (oldK == newK) continue;
        // Candidate and unique tags: the key's first holder decides (a violation, or no entry).
        bool addNew = newK.has_value();
        if (newK && (t.candidate() || t.unique())) {
            const auto holder = firstHolder(*newK);
            if (holder && *holder != c.recno) {
                if (t.candidate()) throw ProviderError::make(FoxError::UniquenessViolated, t.name);
                addNew = false;
            }
        }
        bool did = false;
        if (oldK && edit.remove({*oldK, c.recno})) {
            did = true;
            keyCount = keyCount > 0 ? keyCount - 1 : 0;
            if (!firstHolder(*oldK) && distinct > 0) --distinct;
        }
        if (addNew) {
            const auto there = edit.lowerBound({*newK, c.recno});
            if (!there || !(*there == KeyEntry{*newK, c.recno})) {
                if (!firstHolder(*newK)) ++distinct;
                edit.insert({*newK, c.recno});
                ++keyCount;
                did = true;
            }
        }
        if (did) ++changed;
    }
    if (changed == 0) return 0;
    if (counted) edit.setStatistics(keyCount, distinct);
    edit.commit();
    return changed;
}

void CdxFile::checkCandidate(std::string_view tagName, std::string_view key, std::uint32_t recno) const {
    const TagInfo& t = tag(tagName);
    if (!t.candidate()) return;
    const std::string k = paddedKey(t, key);
    const auto first = lowerBound(tagName, k, 0);
    if (first && first->key == k && first->recno != recno)
        throw ProviderError::make(FoxError::UniquenessViolated, t.name);
}

std::vector<KeyEntry> CdxFile::indexOrder(std::string_view tagName) const {
    std::vector<KeyEntry> out = entries(tagName);
    if (tag(tagName).descending()) std::reverse(out.begin(), out.end());
    return out;
}

std::vector<TagContent> CdxFile::contents() const {
    return contentsExcept({});
}

std::vector<TagContent> CdxFile::contentsExcept(std::string_view skippedTag) const {
    std::vector<TagContent> out;
    for (const TagInfo& t : m_tags) {
        TagContent c;
        c.definition.name = t.name;
        c.definition.keyExpression = t.header.keyExpression;
        c.definition.forExpression = t.header.forExpression;
        c.definition.keyLength = t.keyLength();
        c.definition.keyType = t.keyType;
        c.definition.unique = t.unique();
        c.definition.candidate = t.candidate();
        c.definition.descending = t.descending();
        c.definition.collation = t.collation();
        if (t.name != skippedTag) c.entries = entries(t.name);
        c.previousHeader = t.header.raw;
        out.push_back(std::move(c));
    }
    return out;
}

void CdxFile::create(const std::string& path, const std::vector<TagContent>& tags) {
    replaceFileAtomically(path, buildCdxImage(tags));
}

void CdxFile::rebuildTag(std::string_view tagName, std::vector<KeyEntry> newEntries) {
    const TagInfo& t = tag(tagName);
    requireWritable(t);
    for (KeyEntry& e : newEntries) e.key = paddedKey(t, e.key);
    // The tag's old entries are not read: a damaged tag can be rebuilt.
    std::vector<TagContent> all = contentsExcept(t.name);
    for (TagContent& c : all)
        if (c.definition.name == t.name) c.entries = std::move(newEntries);
    rewrite(std::move(all));
}

void CdxFile::addTag(TagContent newTag) {
    std::vector<TagContent> all = contents();
    const std::string name = upper(newTag.definition.name);
    std::erase_if(all, [&](const TagContent& c) { return c.definition.name == name; });
    all.push_back(std::move(newTag));
    rewrite(std::move(all));
}

void CdxFile::dropTag(std::string_view tagName) {
    const std::string name = tag(tagName).name;
    std::vector<TagContent> all = contents();
    std::erase_if(all, [&](const TagContent& c) { return c.definition.name == name; });
    rewrite(std::move(all));
}

// Writes the whole file anew and reopens it; every tag's key type must be known, since the
// entries of every tag are re-encoded.
void CdxFile::rewrite(std::vector<TagContent> tags) {
    if (!m_file.writable()) throw ProviderError::make(FoxError::FileAccessDenied);
    for (const TagInfo& t : m_tags) refuseBinary(t);
    for (const TagInfo& t : m_tags)
        if (!t.keyTypeKnown) throw ProviderError::make(FoxError::IndexNotMaintained, baseName(m_file.path()));
    create(m_file.path(), tags);
    m_file = PageFile(m_file.path(), true);
    readDirectory();
    for (const TagContent& c : tags) setKeyType(c.definition.name, c.definition.keyType);
}

std::uint32_t CdxFile::updateCounter() const {
    return readLe(m_file.bytes(kHdrCounter, 4), 4);
}

void CdxFile::setUpdateCounter(std::uint32_t value) {
    unsigned char bytes[4];
    writeLe(bytes, value, 4);
    m_file.write(kHdrCounter, bytes, sizeof bytes);
}

}  // namespace dorvane::provider::index
