// One index entry (key bytes and record number) and the order the B-tree keeps them in.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace dorvane::provider::index {

struct KeyEntry {
    std::string key;          // exactly the tag's key length
    std::uint32_t recno = 0;  // record number (directory: tag header offset)
    friend bool operator==(const KeyEntry&, const KeyEntry&) = default;
};

// Key bytes compared as unsigned bytes; equal keys ordered by record number.
inline int compareEntries(const KeyEntry& a, const KeyEntry& b) {
    const std::size_t n = std::min(a.key.size(), b.key.size());
    const int c = std::memcmp(a.key.data(), b.key.data(), n);
    if (c != 0) return c < 0 ? -1 : 1;
    if (a.key.size() != b.key.size()) return a.key.size() < b.key.size() ? -1 : 1;
    if (a.recno != b.recno) return a.recno < b.recno ? -1 : 1;
    return 0;
}

inline bool entryLess(const KeyEntry& a, const KeyEntry& b) {
    return compareEntries(a, b) < 0;
}

}  // namespace dorvane::provider::index
