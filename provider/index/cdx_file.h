// A structural compound index (.cdx, .dcx) opened for reading and for keeping its tags true as
// records change. Keys arrive as bytes already built (see key_encoding.h); expressions are not evaluated.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "provider/error.h"
#include "provider/index/key_encoding.h"
#include "provider/index/key_entry.h"
#include "provider/index/node.h"
#include "provider/index/page_file.h"
#include "provider/index/tag_definition.h"
#include "provider/index/tag_header.h"

namespace dorvane::provider::index {

// One record's key change for updateMany (nullopt: no entry before / after).
struct KeyChange {
    std::optional<std::string> oldKey;
    std::optional<std::string> newKey;
    std::uint32_t recno = 0;
};

// One tag as listed in the directory.
struct TagInfo {
    std::string name;  // upper case, without padding
    std::uint32_t headerOffset = 0;
    TagHeader header;
    KeyType keyType = KeyType::Character;  // decides the pad byte of leaf compression
    bool keyTypeKnown = false;             // set by setKeyType; changes need it

    std::uint16_t keyLength() const { return header.keyLength; }
    bool unique() const { return header.unique(); }
    bool candidate() const { return header.candidate(); }
    bool descending() const { return header.descending; }
    bool hasFor() const { return !header.forExpression.empty(); }
    std::string collation() const { return header.collation.empty() ? "MACHINE" : header.collation; }
};

// The ProviderError(IndexNotMaintained) for a tag: the index file and tag named, with the reason.
ProviderError tagNotMaintained(const std::string& indexFile, const std::string& tag,
                               const std::string& reason);

class CdxFile {
public:
    // Opens an index file and reads its tag directory. Raises ProviderError: FileDoesNotExist,
    // FileAccessDenied, or IndexMismatch when the file is not a sound compound index.
    // The file does not record a tag's key type, which decides the pad byte leaf compression drops
    // (blank for character keys, 0x00 otherwise). Reading assumes Character until setKeyType says
    // otherwise; changing a tag needs its type set, and rebuilding needs every tag's type set,
    // because re-encoding keys with the wrong pad would corrupt them for FoxPro.
    static CdxFile open(const std::string& path, bool writable = false);

    // Writes a new index file with these tags (entries in any order) beside `path` and renames it
    // over `path`. Raises UniquenessViolated for duplicate keys in a candidate tag, IndexNotMaintained
    // for a collation other than MACHINE, FieldNameInvalid for a bad or repeated tag name.
    static void create(const std::string& path, const std::vector<TagContent>& tags);

    const std::string& path() const { return m_file.path(); }
    const std::vector<TagInfo>& tags() const { return m_tags; }
    // Raises ProviderError(TagNotFound) when there is no such tag (name compared case-insensitively).
    const TagInfo& tag(std::string_view name) const;
    void setKeyType(std::string_view tagName, KeyType type);

    // Reading or changing the entries of a VFP 9 binary tag (TagHeader::binary) raises its
    // tagNotMaintained error: its nodes are bitmaps, so neither are its entries read nor is it ever
    // written, and a file holding one is never rewritten.
    // Every entry of a tag in stored order: ascending key bytes, equal keys by record number.
    std::vector<KeyEntry> entries(std::string_view tagName) const;
    // The entries in the tag's own order: stored order, reversed for a DESCENDING tag (its keys are
    // stored ascending and read back to front).
    std::vector<KeyEntry> indexOrder(std::string_view tagName) const;
    // Calls `visit` per entry in stored order until it returns false.
    void forEach(std::string_view tagName, const std::function<bool(const KeyEntry&)>& visit) const;
    // First entry whose key starts with `key` (FoxPro SEEK with SET EXACT OFF), if any.
    std::optional<KeyEntry> seek(std::string_view tagName, std::string_view key) const;
    // First entry not less than (key, recno), if any.
    std::optional<KeyEntry> lowerBound(std::string_view tagName, std::string_view key,
                                       std::uint32_t recno = 0) const;

    // Adds an entry. A key shorter than the key length is padded with the tag's pad byte.
    // Candidate tag: a key another record holds raises UniquenessViolated and changes nothing.
    // Unique tag: a key already present is not added (returns false), as FoxPro keeps the first.
    // Returns true when the entry was added. Raises IndexNotMaintained for other collations.
    bool insert(std::string_view tagName, std::string_view key, std::uint32_t recno);
    // Removes an entry; returns false when it was not there.
    bool remove(std::string_view tagName, std::string_view key, std::uint32_t recno);
    // A record's key changed (nullopt: the record is not admitted by the tag's FOR clause).
    // Checks a candidate tag before writing anything. Returns true if the tag changed.
    bool update(std::string_view tagName, std::optional<std::string_view> oldKey,
                std::optional<std::string_view> newKey, std::uint32_t recno);

    // Several changes of one tag written in one go (one flush to disk), applied in order, each seeing
    // the ones before it. A candidate violation anywhere raises UniquenessViolated and writes nothing.
    // Returns how many changes altered the tag.
    std::size_t updateMany(std::string_view tagName, const std::vector<KeyChange>& changes);

    // Raises UniquenessViolated when `tagName` is a candidate tag and another record holds `key`;
    // lets a caller check every tag of a table before changing any of them.
    void checkCandidate(std::string_view tagName, std::string_view key, std::uint32_t recno) const;

    // Replaces a tag's entries: the whole file is rewritten beside the original and renamed over it.
    // The tag's current entries are not read, so a damaged tag can be rebuilt (the others must read).
    // Raises IndexNotMaintained when a tag's key type was not set or its collation is not MACHINE.
    void rebuildTag(std::string_view tagName, std::vector<KeyEntry> entries);
    // Adds a tag (or replaces the one of that name) and rewrites the file the same way.
    void addTag(TagContent tag);
    // Removes a tag (TagNotFound if absent) and rewrites the file the same way.
    void dropTag(std::string_view tagName);
    // Stamps the file's modification time (see PageFile::touch).
    void touch() { m_file.touch(); }
    // The directory's update counter as the file holds it now, other users' changes included (they
    // are stored through the same shared pages), and setting it.
    std::uint32_t updateCounter() const;
    void setUpdateCounter(std::uint32_t value);
    int fd() const { return m_file.fd(); }
    // Flushes the file to the disk itself.
    void sync() { m_file.sync(); }

    // The definitions and current entries of every tag, as create() takes them.
    std::vector<TagContent> contents() const;

private:
    explicit CdxFile(PageFile file) : m_file(std::move(file)) {}
    void readDirectory();
    TagInfo& mutableTag(std::string_view name);
    std::string paddedKey(const TagInfo& tag, std::string_view key) const;
    // One record's change, made in place in its leaf where it stays there (LeafChange), else by
    // BTreeEdit. Returns whether the tag changed.
    bool applyChange(TagInfo& tag, const KeyChange& change);
    void writeStatistics(TagInfo& tag, std::uint32_t keyCount, std::uint32_t distinct);
    void requireWritable(const TagInfo& tag) const;
    void refuseBinary(const TagInfo& tag) const;
    void rewrite(std::vector<TagContent> tags);
    std::vector<TagContent> contentsExcept(std::string_view skippedTag) const;

    PageFile m_file;
    FlatLeaf m_leaf;  // LeafChange's decoded leaf, kept for its buffers
    TagHeader m_fileHeader;
    std::vector<TagInfo> m_tags;
};

}  // namespace dorvane::provider::index
