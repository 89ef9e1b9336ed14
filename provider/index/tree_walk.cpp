#include "provider/index/tree_walk.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "provider/error.h"

namespace dorvane::provider::index {
namespace {

[[noreturn]] void damaged(const PageFile& file) {
    throw ProviderError::make(FoxError::IndexMismatch, baseName(file.path()));
}

}  // namespace

Node loadNode(const PageFile& file, std::uint32_t offset, const NodeFormat& format) {
    if (offset == 0 || offset == kNoPage || offset % kPageSize != 0) damaged(file);
    return decodeNode(file.bytes(offset, kPageSize), offset, format, baseName(file.path()));
}

void walkEntries(const PageFile& file, std::uint32_t root, const NodeFormat& format,
                 const std::function<bool(const KeyEntry&)>& visit) {
    // Depth-first with an explicit stack of (node, next child); every page may be seen once only.
    struct Frame {
        Node node;
        std::size_t next = 0;
    };
    std::unordered_set<std::uint32_t> seen{root};
    std::vector<Frame> stack;
    stack.push_back({loadNode(file, root, format)});
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.node.leaf) {
            for (const KeyEntry& e : top.node.keys)
                if (!visit(e)) return;
            stack.pop_back();
            continue;
        }
        if (top.node.keys.empty()) damaged(file);
        if (top.next == top.node.children.size()) {
            stack.pop_back();
            continue;
        }
        const std::uint32_t child = top.node.children[top.next++];
        if (!seen.insert(child).second || stack.size() >= kMaxTreeDepth) damaged(file);
        stack.push_back({loadNode(file, child, format)});
    }
}

std::optional<KeyEntry> findLowerBound(const PageFile& file, std::uint32_t root, const NodeFormat& format,
                                       const KeyEntry& target) {
    Node node = loadNode(file, root, format);
    for (int depth = 0; !node.leaf; ++depth) {
        if (node.keys.empty() || depth >= kMaxTreeDepth) damaged(file);
        const auto it = std::lower_bound(node.keys.begin(), node.keys.end(), target, entryLess);
        if (it == node.keys.end()) return std::nullopt;
        const std::uint32_t child = node.children[static_cast<std::size_t>(it - node.keys.begin())];
        if (child == node.offset) damaged(file);
        node = loadNode(file, child, format);
    }
    const auto it = std::lower_bound(node.keys.begin(), node.keys.end(), target, entryLess);
    if (it == node.keys.end()) return std::nullopt;
    return *it;
}

}  // namespace dorvane::provider::index
