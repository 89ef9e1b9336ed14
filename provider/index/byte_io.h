// Little- and big-endian integer access on byte buffers, for the index page codecs.
#pragma once

#include <cstdint>

namespace dorvane::provider::index {

inline std::uint32_t readLe(const unsigned char* p, int size) {
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

inline void writeLe(unsigned char* p, std::uint32_t v, int size) {
    for (int i = 0; i < size; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline std::uint32_t readBe32(const unsigned char* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

inline void writeBe32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

}  // namespace dorvane::provider::index
