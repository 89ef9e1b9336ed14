// In-place changes to one tag's B-tree: insert and delete entries, splitting, merging, removing
// and collapsing nodes, with pages taken from and returned to the file's free list.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "provider/index/node.h"
#include "provider/index/page_file.h"
#include "provider/index/tag_header.h"

namespace dorvane::provider::index {

// Changes are gathered in memory and reach the file only in commit(), in this order, so that a
// crash leaves the old tree whole for as long as possible (fsync between the steps):
//   0. pages taken from the free list are unlinked in the file header first (a crash leaks them
//      rather than handing them out twice);
//   1. new pages (nothing on disk points to them yet), deepest level first;
//   2. sibling pointers of neighbours changed in place (four bytes each), then changed pages from
//      the leaves up, so each parent is written after the children it names;
//      a page split in two is written after its parent, so moved entries are never lost (until it
//      is written they are reachable twice, which this engine's reader refuses as error 114);
//   3. the tag header's key statistics (the root page never moves);
//   4. released pages, chained into the free list (no written page names them any more);
//   5. the file header's free-list head.
// Pages changed in place in step 2 are not journalled: a crash inside that step can leave a tag
// that misses or repeats entries, or one refused with error 114, until it is rebuilt.
class BTreeEdit {
public:
    BTreeEdit(PageFile& file, TagHeader& fileHeader, TagHeader& tagHeader, std::uint32_t tagHeaderOffset,
              NodeFormat format);

    std::optional<KeyEntry> lowerBound(const KeyEntry& target);
    void insert(const KeyEntry& entry);
    // Returns false when the entry is not in the tree.
    bool remove(const KeyEntry& entry);
    // Tag header bytes 16..23 (key count, distinct keys) to write with the header in commit().
    void setStatistics(std::uint32_t keyCount, std::uint32_t distinctKeys);
    void commit();

private:
    struct Cached {
        Node node;
        int depth = 0;
        bool isNew = false;
        bool splitSource = false;  // gave entries to a new sibling: written after its parent
    };
    struct Step {
        std::uint32_t offset;
        std::size_t childIndex;  // index in this node of the child taken next (interior only)
    };

    Node& node(std::uint32_t offset, int depth);
    void markDirty(std::uint32_t offset) { m_dirty[offset] = true; }
    std::vector<Step> descend(const KeyEntry& target);
    void fixUp(std::vector<Step>& path);
    std::vector<std::uint32_t> splitIfNeeded(std::uint32_t offset, int depth);
    bool underfilled(const Node& n) const;
    bool mergeWithSibling(Node& parent, std::size_t idx, int level);
    void unlink(std::uint32_t offset, int depth);
    void setLink(std::uint32_t offset, bool leaf, std::uint32_t Node::*link, std::uint32_t value);
    std::uint32_t allocate(int depth, bool leaf);
    void release(std::uint32_t offset);

    PageFile& m_file;
    TagHeader& m_fileHeader;
    TagHeader& m_tagHeader;
    std::uint32_t m_tagHeaderOffset;
    NodeFormat m_format;
    const std::uint32_t m_root;  // the root page never moves
    std::uint32_t m_freeHead;
    std::uint64_t m_fileEnd;
    std::map<std::uint32_t, Cached> m_nodes;
    std::map<std::uint32_t, bool> m_dirty;
    struct Links {
        std::optional<std::uint32_t> left, right;
    };
    std::map<std::uint32_t, Links> m_links;  // sibling pointers of pages not in memory
    std::vector<std::uint32_t> m_released;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> m_statistics;
};

}  // namespace dorvane::provider::index
