// Changes to one tag that stay inside one leaf, made on the file's pages directly: the path down the
// B-tree is searched on the interior pages as they lie, the leaf is decoded flat, changed and encoded
// back, and the separator entries above it follow its last entry. A record change nearly always
// stays inside its leaf; whatever would split, empty or underfill a node, or would let BTreeEdit merge
// one, is left to BTreeEdit, so both keep the tree in the same shape.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "provider/index/node.h"
#include "provider/index/page_file.h"

namespace dorvane::provider::index {

class LeafChange {
public:
    enum class Outcome {
        Done,
        Absent,        // remove: the entry is not in the tree
        Restructure,   // nothing written: the change needs BTreeEdit
    };

    // `scratch` holds the decoded leaf; kept by the caller so its buffers are reused.
    LeafChange(PageFile& file, std::uint32_t root, const NodeFormat& format, FlatLeaf& scratch)
        : m_file(file), m_root(root), m_format(format), m_leaf(scratch) {}

    // The record number of the first entry holding exactly `key`, if any.
    std::optional<std::uint32_t> firstHolder(std::string_view key);
    // Where (key, recno) belongs: whether it is there, and whether another entry holds `key` as far
    // as its leaf tells (nullopt when the answer lies in a neighbouring leaf). An insert of the same
    // entry right after takes the place found here without searching again.
    struct Place {
        bool present = false;
        std::optional<bool> keyHeldByOther;
    };
    Place place(std::string_view key, std::uint32_t recno);
    // Whether the tag holds no entry at all.
    bool empty();
    // `key` must have the tag's key length; insert expects the entry not to be there yet.
    Outcome insert(std::string_view key, std::uint32_t recno);
    Outcome remove(std::string_view key, std::uint32_t recno);
    // After a remove that found its entry (Done or Restructure): whether another entry still holds
    // the key, as far as the leaf told (nullopt: ask firstHolder).
    std::optional<bool> keyHeldAfterRemove() const { return m_heldAfterRemove; }

private:
    struct Level {
        std::uint32_t offset = 0;
        std::size_t index = 0;  // entry (child) taken in this interior node
        std::size_t count = 0;  // entries in this interior node
    };
    const unsigned char* page(std::uint32_t offset) const;
    // Walks from the root to the leaf holding (key, recno), or the last leaf when `clamp` and the entry
    // lies beyond every key; fills m_path with the interior levels and decodes the leaf. False when the
    // entry lies beyond every key and !clamp.
    bool descend(std::string_view key, std::uint32_t recno, bool clamp);
    bool underfilledInterior(std::size_t count) const;
    // Whether the entries beside position `before`/`after` of the decoded leaf hold `key` (nullopt
    // when such a neighbour lies in another leaf).
    std::optional<bool> heldBeside(std::string_view key, std::size_t before, std::size_t after) const;
    // Writes the changed leaf and the separators above it, when BTreeEdit would do no more than that.
    // `lastChanged`: the leaf's last entry is not what it was.
    Outcome store(bool lastChanged);

    PageFile& m_file;
    std::uint32_t m_root;
    NodeFormat m_format;
    FlatLeaf& m_leaf;
    std::uint32_t m_leafOffset = 0;
    bool m_leafDecoded = false;  // m_leaf holds the page at m_leafOffset as it is in the file
    std::uint32_t m_left = kNoPage, m_right = kNoPage;
    std::vector<Level> m_path;
    // The place found by the last place(), while nothing has moved since.
    bool m_placed = false;
    std::string m_placedKey;
    std::uint32_t m_placedRecno = 0;
    std::size_t m_placedAt = 0;
    std::optional<bool> m_heldAfterRemove;
};

}  // namespace dorvane::provider::index
