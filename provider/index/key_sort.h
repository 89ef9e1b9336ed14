// The entries of one tag held flat (fixed-length keys in one buffer beside their record numbers), and
// their sort into the order the B-tree keeps. Building pages from the sorted entries is tree_layout.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane::provider::index {

struct FlatKeys {
    std::uint16_t keyLength = 0;
    std::string bytes;                  // key i at [i * keyLength, (i + 1) * keyLength)
    std::vector<std::uint32_t> recnos;  // record number of key i (directory: tag header offset)

    FlatKeys() = default;
    explicit FlatKeys(std::uint16_t length) : keyLength(length) {}

    std::size_t size() const { return recnos.size(); }
    const unsigned char* key(std::size_t i) const {
        return reinterpret_cast<const unsigned char*>(bytes.data()) + i * keyLength;
    }
    std::string_view keyText(std::size_t i) const { return {bytes.data() + i * keyLength, keyLength}; }
    // Appends an entry; `key` must be keyLength bytes long.
    void add(std::string_view key, std::uint32_t recno) {
        bytes.append(key);
        recnos.push_back(recno);
    }
    // Makes room for `count` entries (keys zero, record numbers 0) to be filled in place.
    void resize(std::size_t count) {
        bytes.resize(count * keyLength);
        recnos.resize(count);
    }
    unsigned char* mutableKey(std::size_t i) {
        return reinterpret_cast<unsigned char*>(bytes.data()) + i * keyLength;
    }
};

// Indexes of `keys` in B-tree order: key bytes ascending as unsigned bytes, equal keys by record
// number. Keys already in that order (a key that grows with the record) are only checked, not sorted.
std::vector<std::uint32_t> sortedOrder(const FlatKeys& keys);

}  // namespace dorvane::provider::index
