// The entries of one tag held flat (fixed-length keys in one buffer beside their record numbers), and
// their sort into the order the B-tree keeps. Building pages from the sorted entries is tree_layout.h.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace dorvane::provider::index {

// Leaves the elements a resize() adds uninitialised: buffers of millions of keys are filled in place
// right after (each part by the thread working on it), so zeroing them first would be a wasted pass.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <class U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
template <class T>
using UninitialisedBuffer = std::vector<T, UninitialisedAllocator<T>>;

struct FlatKeys {
    std::uint16_t keyLength = 0;
    UninitialisedBuffer<unsigned char> bytes;   // key i at [i * keyLength, (i + 1) * keyLength)
    UninitialisedBuffer<std::uint32_t> recnos;  // record number of key i (directory: tag header offset)

    FlatKeys() = default;
    explicit FlatKeys(std::uint16_t length) : keyLength(length) {}

    std::size_t size() const { return recnos.size(); }
    const unsigned char* key(std::size_t i) const { return bytes.data() + i * keyLength; }
    unsigned char* mutableKey(std::size_t i) { return bytes.data() + i * keyLength; }
    std::string_view keyText(std::size_t i) const {
        return {reinterpret_cast<const char*>(bytes.data()) + i * keyLength, keyLength};
    }
    // Appends an entry; `key` must be keyLength bytes long.
    void add(std::string_view key, std::uint32_t recno) {
        bytes.insert(bytes.end(), key.begin(), key.end());
        recnos.push_back(recno);
    }
    // Makes room for `count` entries, their keys and record numbers left to be filled in place.
    void resize(std::size_t count) {
        bytes.resize(count * keyLength);
        recnos.resize(count);
    }
};

// Indexes of `keys` in B-tree order: key bytes ascending as unsigned bytes, equal keys by record
// number. Keys already in that order (a key that grows with the record) are only checked, not sorted.
std::vector<std::uint32_t> sortedOrder(const FlatKeys& keys);

}  // namespace dorvane::provider::index
