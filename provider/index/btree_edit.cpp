#include "provider/index/btree_edit.h"

#include <algorithm>
#include <array>
#include <set>

#include "provider/byte_order.h"
#include "provider/error.h"
#include "provider/index/tree_walk.h"

namespace dorvane::provider::index {

BTreeEdit::BTreeEdit(PageFile& file, TagHeader& fileHeader, TagHeader& tagHeader,
                     std::uint32_t tagHeaderOffset, NodeFormat format)
    : m_file(file),
      m_fileHeader(fileHeader),
      m_tagHeader(tagHeader),
      m_tagHeaderOffset(tagHeaderOffset),
      m_format(format),
      m_root(tagHeader.root),
      m_freeHead(fileHeader.freeList == kNoPage ? 0 : fileHeader.freeList),
      m_fileEnd((file.size() + kPageSize - 1) / kPageSize * kPageSize) {}

Node& BTreeEdit::node(std::uint32_t offset, int depth) {
    auto it = m_nodes.find(offset);
    if (it == m_nodes.end()) {
        it = m_nodes.emplace(offset, Cached{loadNode(m_file, offset, m_format), depth, false}).first;
        // Sibling pointers already changed for this page now live in its node.
        if (const auto links = m_links.find(offset); links != m_links.end()) {
            if (links->second.left) it->second.node.left = *links->second.left;
            if (links->second.right) it->second.node.right = *links->second.right;
            m_links.erase(links);
            markDirty(offset);
        }
    }
    return it->second.node;
}

std::vector<BTreeEdit::Step> BTreeEdit::descend(const KeyEntry& target) {
    std::vector<Step> path;
    std::uint32_t offset = m_root;
    for (int depth = 0;; ++depth) {
        if (depth >= kMaxTreeDepth)
            throw ProviderError::make(FoxError::IndexMismatch, baseName(m_file.path()));
        // An interior page not yet in memory is searched as it lies: only the nodes a change reaches
        // are decoded.
        if (!m_nodes.contains(offset)) {
            if (offset == 0 || offset == kNoPage || offset % kPageSize != 0)
                throw ProviderError::make(FoxError::IndexMismatch, baseName(m_file.path()));
            const unsigned char* page = m_file.bytes(offset, kPageSize);
            const std::uint32_t attributes = readLe(page + kNodeAttributes, 2);
            const std::size_t count = readLe(page + kNodeKeyCount, 2);
            if ((attributes & kAttrLeaf) == 0 && attributes <= 0xFF && count > 0 &&
                count <= interiorCapacity(m_format)) {
                const std::size_t idx =
                    std::min(interiorLowerBound(page, count, m_format, target.key, target.recno), count - 1);
                path.push_back({offset, idx});
                offset = interiorChild(page, idx, m_format);
                continue;
            }
        }
        Node& n = node(offset, depth);
        if (n.leaf) {
            path.push_back({offset, 0});
            return path;
        }
        if (n.keys.empty()) throw ProviderError::make(FoxError::IndexMismatch, baseName(m_file.path()));
        auto idx = static_cast<std::size_t>(
            std::lower_bound(n.keys.begin(), n.keys.end(), target, entryLess) - n.keys.begin());
        idx = std::min(idx, n.keys.size() - 1);
        path.push_back({offset, idx});
        offset = n.children[idx];
    }
}

std::optional<KeyEntry> BTreeEdit::lowerBound(const KeyEntry& target) {
    const std::vector<Step> path = descend(target);
    const Node& leaf = node(path.back().offset, static_cast<int>(path.size()) - 1);
    const auto it = std::lower_bound(leaf.keys.begin(), leaf.keys.end(), target, entryLess);
    if (it == leaf.keys.end()) return std::nullopt;
    return *it;
}

void BTreeEdit::insert(const KeyEntry& entry) {
    std::vector<Step> path = descend(entry);
    Node& leaf = node(path.back().offset, static_cast<int>(path.size()) - 1);
    leaf.keys.insert(std::lower_bound(leaf.keys.begin(), leaf.keys.end(), entry, entryLess), entry);
    markDirty(leaf.offset);
    fixUp(path);
}

bool BTreeEdit::remove(const KeyEntry& entry) {
    std::vector<Step> path = descend(entry);
    Node& leaf = node(path.back().offset, static_cast<int>(path.size()) - 1);
    const auto it = std::lower_bound(leaf.keys.begin(), leaf.keys.end(), entry, entryLess);
    if (it == leaf.keys.end() || !(*it == entry)) return false;
    leaf.keys.erase(it);
    markDirty(leaf.offset);
    fixUp(path);
    return true;
}

// Walks from the changed leaf to the root: splits nodes that overflow, drops nodes that emptied,
// and keeps each parent entry equal to the last entry of its child.
void BTreeEdit::fixUp(std::vector<Step>& path) {
    for (int level = static_cast<int>(path.size()) - 1; level >= 1; --level) {
        const std::uint32_t offset = path[level].offset;
        const std::vector<std::uint32_t> pieces = splitIfNeeded(offset, level);
        Node& parent = node(path[level - 1].offset, level - 1);
        const std::size_t idx = path[level - 1].childIndex;
        bool changed = true;
        if (pieces.empty()) {
            unlink(offset, level);
            release(offset);
            parent.keys.erase(parent.keys.begin() + static_cast<std::ptrdiff_t>(idx));
            parent.children.erase(parent.children.begin() + static_cast<std::ptrdiff_t>(idx));
        } else {
            const KeyEntry& last = node(pieces[0], level).keys.back();
            changed = pieces.size() > 1 || !(parent.keys[idx] == last);
            parent.keys[idx] = last;
            for (std::size_t j = 1; j < pieces.size(); ++j) {
                const auto at = static_cast<std::ptrdiff_t>(idx + j);
                parent.keys.insert(parent.keys.begin() + at, node(pieces[j], level).keys.back());
                parent.children.insert(parent.children.begin() + at, pieces[j]);
            }
            if (pieces.size() == 1 && mergeWithSibling(parent, idx, level)) changed = true;
        }
        if (!changed) return;  // nothing above changes
        markDirty(parent.offset);
    }

    // The root page never moves, so the tag header never changes. A root that overflows hands its
    // content to a new page, which splits like any node, and becomes their parent, as often as
    // needed (an interior node of 240-byte keys holds two entries only).
    while (!nodeFits(node(m_root, 0), m_format)) {
        Node& root = node(m_root, 0);
        const std::uint32_t down = allocate(1, root.leaf);
        Node& d = node(down, 1);
        d.keys = std::move(root.keys);
        d.children = std::move(root.children);
        d.leaf = root.leaf;
        root.leaf = false;
        root.keys.clear();
        root.children.clear();
        for (const std::uint32_t p : splitIfNeeded(down, 1)) {
            root.keys.push_back(node(p, 1).keys.back());
            root.children.push_back(p);
        }
        markDirty(m_root);
    }
    Node& root = node(m_root, 0);
    if (!root.leaf && root.keys.empty()) {
        root.leaf = true;
        root.children.clear();
        markDirty(m_root);
    }
    // A root with one child takes over the child's content; the child's page is released.
    while (!node(m_root, 0).leaf && node(m_root, 0).keys.size() == 1) {
        const std::uint32_t child = node(m_root, 0).children[0];
        const Node c = node(child, 1);
        Node& r = node(m_root, 0);
        r.leaf = c.leaf;
        r.keys = c.keys;
        r.children = c.children;
        markDirty(m_root);
        release(child);
    }
}

std::vector<std::uint32_t> BTreeEdit::splitIfNeeded(std::uint32_t offset, int depth) {
    Node& n = node(offset, depth);
    if (n.keys.empty() && offset != m_root) return {};
    std::vector<std::size_t> starts;
    if (n.leaf) {
        const std::size_t total = leafBytes(n.keys.data(), n.keys.data() + n.keys.size(), m_format);
        if (total <= kLeafAreaSize) return {offset};
        starts = packLeaves(n.keys, m_format, (total + 1) / 2);
    } else {
        if (nodeFits(n, m_format)) return {offset};
        const std::size_t cap = interiorCapacity(m_format);
        const std::size_t parts = (n.keys.size() + cap - 1) / cap;
        const std::size_t each = (n.keys.size() + parts - 1) / parts;
        for (std::size_t s = 0; s < n.keys.size(); s += each) starts.push_back(s);
    }
    starts.push_back(n.keys.size());

    std::vector<std::uint32_t> pieces{offset};
    const std::uint32_t oldRight = n.right;
    for (std::size_t g = 1; g + 1 < starts.size(); ++g) pieces.push_back(allocate(depth, n.leaf));
    Node& first = node(offset, depth);  // references stay valid: the cache is a std::map
    for (std::size_t g = starts.size() - 1; g-- > 1;) {
        Node& piece = node(pieces[g], depth);
        const auto b = static_cast<std::ptrdiff_t>(starts[g]);
        const auto e = static_cast<std::ptrdiff_t>(starts[g + 1]);
        piece.keys.assign(first.keys.begin() + b, first.keys.begin() + e);
        if (!first.leaf) piece.children.assign(first.children.begin() + b, first.children.begin() + e);
        piece.left = pieces[g - 1];
        piece.right = g + 1 < pieces.size() ? pieces[g + 1] : oldRight;
    }
    m_nodes.at(offset).splitSource = !m_nodes.at(offset).isNew;
    first.keys.resize(starts[1]);
    if (!first.leaf) first.children.resize(starts[1]);
    first.right = pieces[1];
    if (oldRight != kNoPage) setLink(oldRight, first.leaf, &Node::left, pieces.back());
    markDirty(offset);
    return pieces;
}

bool BTreeEdit::underfilled(const Node& n) const {
    if (n.leaf) return leafBytes(n.keys.data(), n.keys.data() + n.keys.size(), m_format) * 4 < kLeafAreaSize;
    return n.keys.size() < std::max<std::size_t>(2, interiorCapacity(m_format) / 4);
}

// Joins a child that fell below a quarter full with its right (else left) neighbour under the same
// parent when both fit one page; the right one of the pair is released.
bool BTreeEdit::mergeWithSibling(Node& parent, std::size_t idx, int level) {
    if (!underfilled(node(parent.children[idx], level))) return false;
    for (const std::size_t left : {idx, idx - 1}) {
        if (left >= parent.children.size() || left + 1 >= parent.children.size()) continue;
        Node& a = node(parent.children[left], level);
        Node& b = node(parent.children[left + 1], level);
        if (a.right != b.offset) continue;  // not linked as neighbours: leave them be
        Node merged = a;
        merged.keys.insert(merged.keys.end(), b.keys.begin(), b.keys.end());
        merged.children.insert(merged.children.end(), b.children.begin(), b.children.end());
        if (!nodeFits(merged, m_format)) continue;
        const std::uint32_t gone = b.offset;
        unlink(gone, level);
        a.keys = std::move(merged.keys);
        a.children = std::move(merged.children);
        markDirty(a.offset);
        release(gone);
        parent.keys.erase(parent.keys.begin() + static_cast<std::ptrdiff_t>(left + 1));
        parent.children.erase(parent.children.begin() + static_cast<std::ptrdiff_t>(left + 1));
        parent.keys[left] = a.keys.back();
        return true;
    }
    return false;
}

void BTreeEdit::unlink(std::uint32_t offset, int depth) {
    const Node& n = node(offset, depth);
    const std::uint32_t left = n.left, right = n.right;
    const bool leaf = n.leaf;
    if (left != kNoPage) setLink(left, leaf, &Node::right, right);
    if (right != kNoPage) setLink(right, leaf, &Node::left, left);
}

// A neighbour's sibling pointer changes: in its node when that is in memory, else as a four-byte
// patch, so that the page need not be decoded and encoded again for it.
void BTreeEdit::setLink(std::uint32_t offset, bool leaf, std::uint32_t Node::*link, std::uint32_t value) {
    const auto it = m_nodes.find(offset);
    if (it != m_nodes.end()) {
        it->second.node.*link = value;
        markDirty(offset);
        return;
    }
    // The pointer came from a page of the file: it must name a node of the same kind inside it.
    const bool named = offset != 0 && offset % kPageSize == 0 && offset >= kTagHeaderSize &&
                       std::uint64_t{offset} + kPageSize <= m_fileEnd;
    if (!named || ((readLe(m_file.bytes(offset, kPageSize) + kNodeAttributes, 2) & kAttrLeaf) != 0) != leaf)
        throw ProviderError::make(FoxError::IndexMismatch, baseName(m_file.path()));
    Links& links = m_links[offset];
    (link == &Node::left ? links.left : links.right) = value;
}

std::uint32_t BTreeEdit::allocate(int depth, bool leaf) {
    std::uint32_t offset = 0;
    std::array<unsigned char, kPageSize> page{};
    const bool candidate = m_freeHead != 0 && m_freeHead % kPageSize == 0 &&
                           m_freeHead + kPageSize <= m_fileEnd && m_freeHead >= kTagHeaderSize &&
                           !m_nodes.contains(m_freeHead);
    if (candidate) m_file.read(m_freeHead, page.data(), page.size());
    // A free page is trusted only as this engine leaves one: a link and zeros. Anything else may be
    // a live node named by a damaged list, so the list is dropped and the file grows instead.
    if (candidate && std::all_of(page.begin() + 4, page.end(), [](unsigned char b) { return b == 0; })) {
        offset = m_freeHead;
        m_freeHead = readLe(page.data(), 4);
        if (m_freeHead == kNoPage) m_freeHead = 0;
    } else {
        m_freeHead = 0;
        offset = static_cast<std::uint32_t>(m_fileEnd);
        m_fileEnd += kPageSize;
    }
    Cached c;
    c.node.offset = offset;
    c.node.leaf = leaf;
    c.depth = depth;
    c.isNew = true;
    m_nodes[offset] = std::move(c);
    markDirty(offset);
    return offset;
}

void BTreeEdit::release(std::uint32_t offset) {
    m_nodes.erase(offset);
    m_links.erase(offset);
    m_dirty.erase(offset);
    m_released.push_back(offset);
}

void BTreeEdit::setStatistics(std::uint32_t keyCount, std::uint32_t distinctKeys) {
    m_statistics = {keyCount, distinctKeys};
}

void BTreeEdit::commit() {
    std::array<unsigned char, kPageSize> page{};
    const std::uint32_t oldFreeHead = m_fileHeader.freeList == kNoPage ? 0 : m_fileHeader.freeList;
    // 0. Pages taken from the free list leave it first: a crash then leaks them instead of handing
    //    them out twice.
    if (m_freeHead != oldFreeHead) {
        writeLe(page.data(), m_freeHead, 4);
        m_file.write(kHdrFreeList, page.data(), 4);
        m_file.orderPoint();
    }
    // 1-2. New pages; then changed ones, deeper levels before the levels that point to them, except
    //      pages that gave entries away to a new sibling: they follow their parent (shallowest first),
    //      so until they are written the moved entries show twice rather than not at all.
    std::vector<std::uint32_t> order;
    for (const auto& [offset, flag] : m_dirty) order.push_back(offset);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const Cached& ca = m_nodes.at(a);
        const Cached& cb = m_nodes.at(b);
        if (ca.isNew != cb.isNew) return ca.isNew;
        if (ca.splitSource != cb.splitSource) return cb.splitSource;
        return ca.splitSource ? ca.depth < cb.depth : ca.depth > cb.depth;
    });
    for (const auto& [offset, links] : m_links) {
        if (links.left) {
            writeLe(page.data(), *links.left, 4);
            m_file.write(offset + kNodeLeft, page.data(), 4);
        }
        if (links.right) {
            writeLe(page.data(), *links.right, 4);
            m_file.write(offset + kNodeRight, page.data(), 4);
        }
    }
    for (std::uint32_t offset : order) {
        Cached& c = m_nodes.at(offset);
        c.node.root = offset == m_root;
        if (c.node.root) c.node.left = c.node.right = kNoPage;
        c.node.otherAttributes = (c.node.root && c.node.leaf) ? kAttrTagRootLeaf : 0;
        encodeNode(c.node, m_format, page.data());
        m_file.write(offset, page.data(), page.size());
    }
    m_file.orderPoint();
    // 3. The tag header's key statistics.
    if (m_statistics) {
        writeLe(m_tagHeader.raw.data() + kHdrKeyCount, m_statistics->first, 4);
        writeLe(m_tagHeader.raw.data() + kHdrDistinctCount, m_statistics->second, 4);
        m_file.write(m_tagHeaderOffset + kHdrKeyCount, m_tagHeader.raw.data() + kHdrKeyCount, 8);
    }
    // 4. Released pages join the free list, each naming the next; 5. the file header names the first.
    std::uint32_t freeHead = m_freeHead;
    for (std::uint32_t offset : m_released) {
        page.fill(0);
        writeLe(page.data(), freeHead, 4);
        m_file.write(offset, page.data(), page.size());
        freeHead = offset;
    }
    if (freeHead != m_freeHead) {
        writeLe(page.data(), freeHead, 4);
        m_file.write(kHdrFreeList, page.data(), 4);
    }
    m_fileHeader.freeList = freeHead;
    writeLe(m_fileHeader.raw.data() + kHdrFreeList, freeHead, 4);
    m_file.orderPoint();
    m_nodes.clear();
    m_dirty.clear();
    m_links.clear();
    m_released.clear();
}

}  // namespace dorvane::provider::index
