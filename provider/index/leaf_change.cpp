#include "provider/index/leaf_change.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "provider/byte_order.h"
#include "provider/error.h"
#include "provider/index/tree_walk.h"

namespace dorvane::provider::index {

const unsigned char* LeafChange::page(std::uint32_t offset) const {
    if (offset == 0 || offset == kNoPage || offset % kPageSize != 0)
        throw ProviderError::make(FoxError::IndexMismatch, baseName(m_file.path()));
    return m_file.bytes(offset, kPageSize);
}

bool LeafChange::descend(std::string_view key, std::uint32_t recno, bool clamp) {
    m_placed = false;
    m_path.clear();
    std::uint32_t offset = m_root;
    for (int depth = 0;; ++depth) {
        const unsigned char* p = page(offset);
        const std::uint32_t attributes = readLe(p + kNodeAttributes, 2);
        if (depth >= kMaxTreeDepth || attributes > 0xFF)
            throw ProviderError::make(FoxError::IndexMismatch, baseName(m_file.path()));
        if ((attributes & kAttrLeaf) != 0) {
            // A change looks at its leaf several times (holder, presence, the change itself).
            if (m_leafDecoded && m_leafOffset == offset) return true;
            m_leafDecoded = false;
            m_left = readLe(p + kNodeLeft, 4);
            m_right = readLe(p + kNodeRight, 4);
            decodeLeaf(p, m_format, baseName(m_file.path()), m_leaf);
            m_leafOffset = offset;
            m_leafDecoded = true;
            return true;
        }
        const std::size_t count = readLe(p + kNodeKeyCount, 2);
        if (count == 0 || count * (m_format.keyLength + 8u) > kInteriorArea)
            throw ProviderError::make(FoxError::IndexMismatch, baseName(m_file.path()));
        // The first separator not less than the entry: its child's keys reach up to the separator.
        std::size_t low = interiorLowerBound(p, count, m_format, key, recno);
        if (low == count) {
            if (!clamp) return false;
            low = count - 1;
        }
        m_path.push_back({offset, low, count});
        const std::uint32_t child = interiorChild(p, low, m_format);
        if (child == offset) throw ProviderError::make(FoxError::IndexMismatch, baseName(m_file.path()));
        offset = child;
    }
}

std::optional<std::uint32_t> LeafChange::firstHolder(std::string_view key) {
    if (!descend(key, 0, false)) return std::nullopt;
    const std::size_t at = m_leaf.lowerBound(key, 0);
    if (at < m_leaf.size() && m_leaf.key(at) == key) return m_leaf.recnos[at];
    return std::nullopt;
}

std::optional<bool> LeafChange::heldBeside(std::string_view key, std::size_t before,
                                           std::size_t after) const {
    // Before the leaf's first entry lies the left neighbour's last, after its last the right's first.
    const std::optional<bool> left = before > 0
                                         ? std::optional<bool>(m_leaf.key(before - 1) == key)
                                         : (m_left == kNoPage ? std::optional<bool>(false) : std::nullopt);
    const std::optional<bool> right = after < m_leaf.size()
                                          ? std::optional<bool>(m_leaf.key(after) == key)
                                          : (m_right == kNoPage ? std::optional<bool>(false) : std::nullopt);
    if (left == true || right == true) return true;
    if (left && right) return false;
    return std::nullopt;
}

LeafChange::Place LeafChange::place(std::string_view key, std::uint32_t recno) {
    descend(key, recno, true);
    const std::size_t at = m_leaf.lowerBound(key, recno);
    Place found;
    found.present = at < m_leaf.size() && m_leaf.key(at) == key && m_leaf.recnos[at] == recno;
    found.keyHeldByOther = heldBeside(key, at, found.present ? at + 1 : at);
    m_placed = true;
    m_placedKey.assign(key);
    m_placedRecno = recno;
    m_placedAt = at;
    return found;
}

bool LeafChange::empty() {
    return readLe(page(m_root) + kNodeKeyCount, 2) == 0;
}

LeafChange::Outcome LeafChange::insert(std::string_view key, std::uint32_t recno) {
    if (!(m_placed && m_leafDecoded && m_placedRecno == recno && m_placedKey == key)) {
        descend(key, recno, true);
        m_placedAt = m_leaf.lowerBound(key, recno);
    }
    m_placed = false;
    const std::size_t at = m_placedAt;
    m_leaf.insert(at, key, recno);
    m_leafDecoded = false;  // changed in memory: stored now, or left to BTreeEdit
    return store(at + 1 == m_leaf.size());
}

LeafChange::Outcome LeafChange::remove(std::string_view key, std::uint32_t recno) {
    m_heldAfterRemove.reset();
    if (!descend(key, recno, false)) return Outcome::Absent;
    const std::size_t at = m_leaf.lowerBound(key, recno);
    if (at == m_leaf.size() || m_leaf.key(at) != key || m_leaf.recnos[at] != recno) return Outcome::Absent;
    const bool wasLast = at + 1 == m_leaf.size();
    m_leaf.erase(at);
    m_heldAfterRemove = heldBeside(key, at, at);
    m_leafDecoded = false;
    return store(wasLast);
}

bool LeafChange::underfilledInterior(std::size_t count) const {
    const std::size_t capacity = kInteriorArea / (m_format.keyLength + 8u);
    return count < std::max<std::size_t>(2, capacity / 4);
}

LeafChange::Outcome LeafChange::store(bool lastChanged) {
    const bool rootLeaf = m_path.empty();
    if (!rootLeaf && m_leaf.size() == 0) return Outcome::Restructure;
    // BTreeEdit folds a root with a single child into it.
    if (!rootLeaf && m_path.front().count == 1) return Outcome::Restructure;
    std::array<unsigned char, kPageSize> leafPage{};
    const auto used = encodeLeaf(m_leaf, m_format, rootLeaf, m_left, m_right, leafPage.data());
    if (!used || (!rootLeaf && *used * 4 < kLeafAreaSize)) return Outcome::Restructure;

    // Separators from the leaf's parent up, while the last entry below them changes. BTreeEdit would
    // try to merge each node it changes below the root that is under a quarter full: those go to it.
    const std::size_t entrySize = m_format.keyLength + 8u;
    // (A root leaf has none; any other leaf keeps at least one entry.)
    std::array<unsigned char, kMaxKeyLength + 4> separator{};
    if (!rootLeaf) {
        std::memcpy(separator.data(), m_leaf.key(m_leaf.size() - 1).data(), m_format.keyLength);
        writeBe32(separator.data() + m_format.keyLength, m_leaf.recnos.back());
    }
    std::size_t raised = 0;  // levels, from the bottom, whose separator is rewritten
    for (std::size_t i = m_path.size(); lastChanged && i-- > 0;) {
        const Level& level = m_path[i];
        const unsigned char* entry = page(level.offset) + kInteriorEntries + level.index * entrySize;
        if (std::memcmp(entry, separator.data(), m_format.keyLength + 4u) == 0) break;
        ++raised;
        if (i > 0 && underfilledInterior(level.count)) return Outcome::Restructure;
        if (level.index + 1 != level.count) break;
    }

    // Children before the parents that name them.
    m_file.write(m_leafOffset, leafPage.data(), leafPage.size());
    m_leafDecoded = true;  // the page now holds m_leaf as it is
    for (std::size_t n = 0; n < raised; ++n) {
        const Level& level = m_path[m_path.size() - 1 - n];
        m_file.write(level.offset + kInteriorEntries + level.index * entrySize, separator.data(),
                     m_format.keyLength + 4u);
    }
    return Outcome::Done;
}

}  // namespace dorvane::provider::index
