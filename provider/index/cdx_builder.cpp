#include "provider/index/cdx_builder.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

#include "provider/error.h"
#include "provider/index/byte_io.h"
#include "provider/index/node.h"
#include "provider/index/tag_header.h"

namespace dorvane::provider::index {
namespace {

// Nodes of one tree laid out on consecutive pages from `first`: leaves, then each level above.
struct BuiltTree {
    std::vector<Node> nodes;
    std::uint32_t root = 0;
};

BuiltTree buildTree(const std::vector<KeyEntry>& entries, const NodeFormat& format, std::uint32_t first,
                    std::uint32_t recnoFloor, bool directory = false) {
    BuiltTree tree;
    std::vector<std::size_t> starts = packLeaves(entries, format, kLeafAreaSize, recnoFloor);
    starts.push_back(entries.size());
    std::vector<std::size_t> level;  // indexes into tree.nodes of the current level
    for (std::size_t g = 0; g + 1 < starts.size(); ++g) {
        Node n;
        n.leaf = true;
        n.keys.assign(entries.begin() + static_cast<std::ptrdiff_t>(starts[g]),
                      entries.begin() + static_cast<std::ptrdiff_t>(starts[g + 1]));
        level.push_back(tree.nodes.size());
        tree.nodes.push_back(std::move(n));
    }
    const std::size_t cap = interiorCapacity(format);
    for (;;) {
        for (std::size_t i = 0; i < level.size(); ++i) {
            Node& n = tree.nodes[level[i]];
            n.offset = first + static_cast<std::uint32_t>(level[i] * kPageSize);
        }
        for (std::size_t i = 0; i < level.size(); ++i) {
            Node& n = tree.nodes[level[i]];
            n.left = i > 0 ? tree.nodes[level[i - 1]].offset : kNoPage;
            n.right = i + 1 < level.size() ? tree.nodes[level[i + 1]].offset : kNoPage;
        }
        if (level.size() == 1) break;
        const std::size_t parts = (level.size() + cap - 1) / cap;
        const std::size_t each = (level.size() + parts - 1) / parts;
        std::vector<std::size_t> upper;
        for (std::size_t s = 0; s < level.size(); s += each) {
            Node p;
            p.leaf = false;
            for (std::size_t i = s; i < std::min(level.size(), s + each); ++i) {
                p.keys.push_back(tree.nodes[level[i]].keys.back());
                p.children.push_back(tree.nodes[level[i]].offset);
            }
            upper.push_back(tree.nodes.size());
            tree.nodes.push_back(std::move(p));
        }
        level = std::move(upper);
    }
    tree.nodes[level[0]].root = true;
    if (!directory && tree.nodes[level[0]].leaf) tree.nodes[level[0]].otherAttributes = kAttrTagRootLeaf;
    tree.root = tree.nodes[level[0]].offset;
    return tree;
}

void putTree(std::string& image, const BuiltTree& tree, const NodeFormat& format) {
    for (const Node& n : tree.nodes) {
        if (image.size() < n.offset + kPageSize) image.resize(n.offset + kPageSize, '\0');
        encodeNode(n, format, reinterpret_cast<unsigned char*>(image.data() + n.offset));
    }
}

std::string upperName(const std::string& name) {
    std::string out = name;
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Sorts, checks key sizes, and applies the unique/candidate rules.
void prepareEntries(TagContent& tag) {
    const TagDefinition& d = tag.definition;
    if (d.keyLength == 0 || d.keyLength > kMaxKeyLength) throw ProviderError::make(FoxError::StringTooLong);
    for (const KeyEntry& e : tag.entries)
        if (e.key.size() != d.keyLength) throw ProviderError::make(FoxError::StringTooLong);
    std::sort(tag.entries.begin(), tag.entries.end(), entryLess);
    if (!d.unique && !d.candidate) return;
    const auto sameKey = [](const KeyEntry& a, const KeyEntry& b) { return a.key == b.key; };
    const auto dup = std::adjacent_find(tag.entries.begin(), tag.entries.end(), sameKey);
    if (dup == tag.entries.end()) return;
    if (d.candidate) throw ProviderError::make(FoxError::UniquenessViolated, upperName(d.name));
    tag.entries.erase(std::unique(tag.entries.begin(), tag.entries.end(), sameKey), tag.entries.end());
}

std::uint32_t distinctKeys(const std::vector<KeyEntry>& entries) {
    std::uint32_t n = 0;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (i == 0 || entries[i].key != entries[i - 1].key) ++n;
    return n;
}

}  // namespace

std::string buildCdxImage(std::vector<TagContent> tags) {
    std::set<std::string> names;
    for (TagContent& t : tags) {
        const std::string name = upperName(t.definition.name);
        if (name.empty() || name.size() > kDirectoryKeyLength || !names.insert(name).second)
            throw ProviderError::make(FoxError::FieldNameInvalid);
        // Keys of other collations are accepted only as carried over from an existing tag.
        if (!collationSupported(t.definition.collation) && !t.previousHeader)
            throw ProviderError::make(FoxError::IndexNotMaintained, name);
        prepareEntries(t);
    }

    // The directory's size depends on the header offsets it holds; lay it out for the widest offsets.
    const NodeFormat dirFormat{kDirectoryKeyLength, ' '};
    std::vector<KeyEntry> dirEntries;
    for (const TagContent& t : tags) dirEntries.push_back({upperName(t.definition.name), kNoPage});
    for (KeyEntry& e : dirEntries) e.key.resize(kDirectoryKeyLength, ' ');
    std::vector<KeyEntry> sortedDir = dirEntries;
    std::sort(sortedDir.begin(), sortedDir.end(), entryLess);
    const std::size_t dirPages = buildTree(sortedDir, dirFormat, kTagHeaderSize, kNoPage, true).nodes.size();

    std::string image(kTagHeaderSize + dirPages * kPageSize, '\0');
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const TagContent& t = tags[i];
        const TagDefinition& d = t.definition;
        const auto headerOffset = static_cast<std::uint32_t>(image.size());
        dirEntries[i].recno = headerOffset;
        const NodeFormat format{d.keyLength, padByteFor(d.keyType)};
        const BuiltTree tree =
            buildTree(t.entries, format, headerOffset + static_cast<std::uint32_t>(kTagHeaderSize), 0);
        TagHeader h;
        if (t.previousHeader) h.raw = *t.previousHeader;
        h.root = tree.root;
        h.freeList = 0;
        h.keyLength = d.keyLength;
        h.options = kOptCompact | kOptCompound | (d.unique ? kOptUnique : 0) |
                    (d.candidate ? kOptCandidate : 0) | (d.forExpression.empty() ? 0 : kOptHasFor);
        h.collation = d.collation == "MACHINE" ? "" : d.collation;
        h.descending = d.descending;
        h.keyExpression = d.keyExpression;
        h.forExpression = d.forExpression;
        // FoxPro keeps key statistics for tags without FOR and zeros for the others.
        const bool counted = d.forExpression.empty();
        writeLe(h.raw.data() + kHdrKeyCount, counted ? static_cast<std::uint32_t>(t.entries.size()) : 0, 4);
        writeLe(h.raw.data() + kHdrDistinctCount, counted ? distinctKeys(t.entries) : 0, 4);
        image.resize(headerOffset + kTagHeaderSize, '\0');
        writeTagHeader(h, reinterpret_cast<unsigned char*>(image.data() + headerOffset));
        putTree(image, tree, format);
    }

    std::sort(dirEntries.begin(), dirEntries.end(), entryLess);
    const BuiltTree dir = buildTree(dirEntries, dirFormat, kTagHeaderSize, kNoPage, true);
    putTree(image, dir, dirFormat);
    TagHeader fileHeader;
    fileHeader.root = dir.root;
    fileHeader.keyLength = kDirectoryKeyLength;
    fileHeader.options = kOptCompact | kOptCompound | kOptDirectory;
    writeTagHeader(fileHeader, reinterpret_cast<unsigned char*>(image.data()));
    return image;
}

}  // namespace dorvane::provider::index
