// Reading a tag's B-tree from disk with every pointer checked: offsets inside the file, no node
// reached twice, bounded depth. Damaged trees raise ProviderError(IndexMismatch).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "provider/index/node.h"
#include "provider/index/page_file.h"

namespace dorvane::provider::index {

inline constexpr int kMaxTreeDepth = 32;

// Reads and decodes the node at `offset` after checking the offset lies on a page inside the file.
Node loadNode(const PageFile& file, std::uint32_t offset, const NodeFormat& format);

// Visits every leaf entry under `root` in key order until `visit` returns false.
void walkEntries(const PageFile& file, std::uint32_t root, const NodeFormat& format,
                 const std::function<bool(const KeyEntry&)>& visit);

// The first entry not less than `target`, found by descending from `root`.
std::optional<KeyEntry> findLowerBound(const PageFile& file, std::uint32_t root, const NodeFormat& format,
                                       const KeyEntry& target);

}  // namespace dorvane::provider::index
