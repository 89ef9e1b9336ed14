// Laying out one tag's B-tree from its sorted entries in a single pass: leaves filled and encoded
// left to right, then each interior level above them. Placing the tree in a file is cdx_builder's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "provider/index/key_sort.h"
#include "provider/index/node.h"

namespace dorvane::provider::index {

// The pages of one tree, leaves first and each level above after them, as if the first page lay at
// file offset 0 (moveTree() places them). The root is the last page.
struct TreePages {
    std::string pages;           // 512 bytes per page
    std::uint32_t entries = 0;   // entries the leaves hold
    std::uint32_t distinct = 0;  // different keys among them
    bool refused = false;        // a repeated key stopped the layout (RepeatedKeys::Refuse)
    std::size_t count() const { return pages.size() / kPageSize; }
};

// What becomes of an entry whose key equals the one before: kept (a regular tag), left out (a unique
// tag keeps the first, lowest record), or the end of the layout (a candidate tag allows none).
enum class RepeatedKeys { Keep, KeepFirst, Refuse };

// Encodes the entries `order` lists (indexes into `keys`, already in B-tree order) as a tree. Leaves
// are filled as packLeaves() fills them (up to kBuiltLeafFill bytes of the key area, the directory's
// up to all 488, entry widths as wide as `recnoFloor` needs) and encoded as encodeNode() encodes them;
// interior levels split their children evenly, each entry carrying its child's last entry. An empty
// tag is one empty leaf. A tag's root leaf carries the tag root-leaf attribute; the directory's
// (`directory`) does not.
TreePages layTree(const FlatKeys& keys, const std::vector<std::uint32_t>& order, const NodeFormat& format,
                  std::uint32_t recnoFloor, bool directory, RepeatedKeys repeated = RepeatedKeys::Keep);

// Moves a tree laid out from offset 0 to start at `first`: sibling and child pointers shift with it.
void moveTree(unsigned char* pages, std::size_t count, std::uint32_t first, const NodeFormat& format);

}  // namespace dorvane::provider::index
