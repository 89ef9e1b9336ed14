// Little- and big-endian integers in byte buffers, for every on-disk format the provider reads and
// writes (tables, memos, containers, index pages, journals). Each takes a pointer to char or unsigned
// char bytes; the result does not depend on the machine's own byte order.
#pragma once

#include <concepts>
#include <cstdint>
#include <type_traits>

namespace dorvane::provider {

template <class Byte>
concept ByteType = std::same_as < std::remove_cv_t<Byte>,
char > || std::same_as<std::remove_cv_t<Byte>, unsigned char>;

// `size` bytes (1 to 4), least significant first.
template <ByteType Byte>
inline std::uint32_t readLe(const Byte* p, int size) {
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

template <ByteType Byte>
inline void writeLe(Byte* p, std::uint32_t v, int size) {
    for (int i = 0; i < size; ++i) p[i] = static_cast<Byte>((v >> (8 * i)) & 0xFF);
}

template <ByteType Byte>
inline std::uint16_t readLe16(const Byte* p) {
    return static_cast<std::uint16_t>(readLe(p, 2));
}
template <ByteType Byte>
inline std::uint32_t readLe32(const Byte* p) {
    return readLe(p, 4);
}
template <ByteType Byte>
inline void writeLe16(Byte* p, std::uint16_t v) {
    writeLe(p, v, 2);
}
template <ByteType Byte>
inline void writeLe32(Byte* p, std::uint32_t v) {
    writeLe(p, v, 4);
}

// `size` bytes (1 to 4), most significant first.
template <ByteType Byte>
inline std::uint32_t readBe(const Byte* p, int size) {
    std::uint32_t v = 0;
    for (int i = 0; i < size; ++i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

template <ByteType Byte>
inline void writeBe(Byte* p, std::uint32_t v, int size) {
    for (int i = 0; i < size; ++i) p[i] = static_cast<Byte>((v >> (8 * (size - 1 - i))) & 0xFF);
}

template <ByteType Byte>
inline std::uint16_t readBe16(const Byte* p) {
    return static_cast<std::uint16_t>(readBe(p, 2));
}
template <ByteType Byte>
inline std::uint32_t readBe32(const Byte* p) {
    return readBe(p, 4);
}
template <ByteType Byte>
inline void writeBe16(Byte* p, std::uint16_t v) {
    writeBe(p, v, 2);
}
template <ByteType Byte>
inline void writeBe32(Byte* p, std::uint32_t v) {
    writeBe(p, v, 4);
}

// The same for 1 to 8 bytes, as wide values (packed index entries, sort keys).
template <ByteType Byte>
inline std::uint64_t readLe64(const Byte* p, int size) {
    std::uint64_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}
template <ByteType Byte>
inline void writeLe64(Byte* p, std::uint64_t v, int size) {
    for (int i = 0; i < size; ++i) p[i] = static_cast<Byte>((v >> (8 * i)) & 0xFF);
}
template <ByteType Byte>
inline std::uint64_t readBe64(const Byte* p, int size) {
    std::uint64_t v = 0;
    for (int i = 0; i < size; ++i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}
template <ByteType Byte>
inline void writeBe64(Byte* p, std::uint64_t v, int size) {
    for (int i = 0; i < size; ++i) p[i] = static_cast<Byte>((v >> (8 * (size - 1 - i))) & 0xFF);
}

}  // namespace dorvane::provider
