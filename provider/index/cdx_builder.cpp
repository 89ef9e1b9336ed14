#include "provider/index/cdx_builder.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <exception>
#include <set>
#include <thread>

#include "provider/byte_order.h"
#include "provider/error.h"
#include "provider/index/page_file.h"
#include "provider/index/tag_header.h"
#include "provider/index/tree_layout.h"

namespace dorvane::provider::index {
namespace {

std::string upperName(const std::string& name) {
    std::string out = name;
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// What can be refused before sorting: the name (against the names of the tags before), the collation,
// the key length and the size of the keys.
void checkDefinition(const TagKeys& tag, std::set<std::string>& names) {
    const TagDefinition& d = tag.definition;
    const std::string name = upperName(d.name);
    if (name.empty() || name.size() > kDirectoryKeyLength || !names.insert(name).second)
        throw ProviderError::make(FoxError::FieldNameInvalid);
    // A binary tag's nodes are bitmaps: never written as compact leaves.
    if (tag.previousHeader && (*tag.previousHeader)[kHdrSignature] == kSigBinary)
        throw ProviderError::make(FoxError::IndexNotMaintained, name);
    // Keys of other collations are accepted only as carried over from an existing tag.
    if (!collationSupported(d.collation) && !tag.previousHeader)
        throw ProviderError::make(FoxError::IndexNotMaintained, name);
    if (d.keyLength == 0 || d.keyLength > kMaxKeyLength) throw ProviderError::make(FoxError::StringTooLong);
    if (tag.keys.keyLength != d.keyLength || tag.keys.bytes.size() != tag.keys.size() * d.keyLength)
        throw ProviderError::make(FoxError::StringTooLong);
}

// Sorts the tag's entries and lays out its tree: a unique tag keeps the first (lowest) record of each
// key, a candidate tag refuses a repeated key.
TreePages layTag(const TagKeys& tag) {
    const TagDefinition& d = tag.definition;
    const RepeatedKeys repeated = d.candidate ? RepeatedKeys::Refuse
                                  : d.unique  ? RepeatedKeys::KeepFirst
                                              : RepeatedKeys::Keep;
    TreePages tree = layTree(tag.keys, sortedOrder(tag.keys),
                             NodeFormat{d.keyLength, padByteFor(d.keyType, d.collation)}, 0, false, repeated);
    if (tree.refused) throw ProviderError::make(FoxError::UniquenessViolated, upperName(d.name));
    return tree;
}

// Lays out tags [0, count) on as many threads as there are cores, when they hold enough entries to be
// worth it. A tag's error is kept in `errors` at its place.
void layTags(const std::vector<TagKeys>& tags, std::size_t count, std::vector<TreePages>& laid,
             std::vector<std::exception_ptr>& errors) {
    std::vector<std::size_t> todo(count);
    std::size_t entries = 0;
    for (std::size_t i = 0; i < count; ++i) {
        todo[i] = i;
        entries += tags[i].keys.size();
    }
    // Largest first, so the threads finish at about the same time.
    std::stable_sort(todo.begin(), todo.end(), [&](std::size_t a, std::size_t b) {
        return tags[a].keys.bytes.size() > tags[b].keys.bytes.size();
    });
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t t = next++; t < todo.size(); t = next++) {
            try {
                laid[todo[t]] = layTag(tags[todo[t]]);
            } catch (...) {
                errors[todo[t]] = std::current_exception();
            }
        }
    };
    constexpr std::size_t kEntriesPerThread = 32768;
    const std::size_t threads = std::min<std::size_t>(
        {std::max(1u, std::thread::hardware_concurrency()), todo.size(), 1 + entries / kEntriesPerThread});
    std::vector<std::thread> helpers;
    for (std::size_t h = 1; h < threads; ++h) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: this one does the rest
        }
    }
    work();
    for (std::thread& helper : helpers) helper.join();
}

}  // namespace

std::string buildCdxImage(std::vector<TagKeys> tags) {
    std::vector<std::exception_ptr> errors(tags.size());
    std::set<std::string> names;
    std::size_t firstRefused = tags.size();
    for (std::size_t i = 0; i < tags.size() && firstRefused == tags.size(); ++i) {
        try {
            checkDefinition(tags[i], names);
        } catch (...) {
            errors[i] = std::current_exception();
            firstRefused = i;
        }
    }
    std::vector<TreePages> laid(tags.size());
    layTags(tags, firstRefused, laid, errors);
    for (const std::exception_ptr& error : errors)
        if (error) std::rethrow_exception(error);

    // The directory's size depends on the header offsets it holds; lay it out for the widest offsets.
    const NodeFormat dirFormat{kDirectoryKeyLength, ' '};
    FlatKeys dir(kDirectoryKeyLength);
    for (const TagKeys& t : tags) {
        std::string name = upperName(t.definition.name);
        name.resize(kDirectoryKeyLength, ' ');
        dir.add(name, kNoPage);
    }
    const std::vector<std::uint32_t> dirOrder = sortedOrder(dir);
    const std::size_t dirPages = layTree(dir, dirOrder, dirFormat, kNoPage, true).count();

    std::size_t size = kTagHeaderSize + dirPages * kPageSize;
    for (const TreePages& l : laid) size += kTagHeaderSize + l.pages.size();
    // The tags' pages are appended as they are (no pass of zeroes first); nothing moves once reserved.
    std::string image;
    image.reserve(size);
    image.append(kTagHeaderSize + dirPages * kPageSize, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(image.data());
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const TagDefinition& d = tags[i].definition;
        const auto headerOffset = static_cast<std::uint32_t>(image.size());
        const auto first = static_cast<std::uint32_t>(headerOffset + kTagHeaderSize);
        dir.recnos[i] = headerOffset;
        TreePages& tree = laid[i];
        const NodeFormat format{d.keyLength, padByteFor(d.keyType, d.collation)};
        image.append(kTagHeaderSize, '\0');
        image.append(tree.pages);
        moveTree(bytes + first, tree.count(), first, format);

        TagHeader h;
        if (tags[i].previousHeader) h.raw = *tags[i].previousHeader;
        h.root = first + static_cast<std::uint32_t>((tree.count() - 1) * kPageSize);
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
        writeLe(h.raw.data() + kHdrKeyCount, counted ? tree.entries : 0, 4);
        writeLe(h.raw.data() + kHdrDistinctCount, counted ? tree.distinct : 0, 4);
        writeTagHeader(h, bytes + headerOffset);
        tree = TreePages{};  // its bytes are in the image now
    }

    TreePages dirTree = layTree(dir, dirOrder, dirFormat, kNoPage, true);
    std::memcpy(bytes + kTagHeaderSize, dirTree.pages.data(), dirTree.pages.size());
    moveTree(bytes + kTagHeaderSize, dirTree.count(), kTagHeaderSize, dirFormat);
    TagHeader fileHeader;
    fileHeader.root = static_cast<std::uint32_t>(kTagHeaderSize + (dirTree.count() - 1) * kPageSize);
    fileHeader.keyLength = kDirectoryKeyLength;
    fileHeader.options = kOptCompact | kOptCompound | kOptDirectory;
    writeTagHeader(fileHeader, bytes);
    return image;
}

std::string buildCdxImage(std::vector<TagContent> tags) {
    std::vector<TagKeys> flat;
    flat.reserve(tags.size());
    for (TagContent& t : tags) {
        TagKeys& k = flat.emplace_back();
        k.definition = std::move(t.definition);
        k.previousHeader = t.previousHeader;
        k.keys = FlatKeys(k.definition.keyLength);
        k.keys.bytes.reserve(t.entries.size() * k.keys.keyLength);
        k.keys.recnos.reserve(t.entries.size());
        for (const KeyEntry& e : t.entries) {
            if (e.key.size() != k.keys.keyLength) {
                k.keys = FlatKeys(0);  // a key of the wrong size: refused with the definition
                break;
            }
            k.keys.add(e.key, e.recno);
        }
        t.entries = {};
    }
    return buildCdxImage(std::move(flat));
}

void writeCdxFile(const std::string& path, std::vector<TagKeys> tags) {
    replaceFileAtomically(path, buildCdxImage(std::move(tags)));
}

}  // namespace dorvane::provider::index
