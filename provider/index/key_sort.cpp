#include "provider/index/key_sort.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <numeric>
#include <utility>

namespace dorvane::provider::index {
namespace {

using Order = std::vector<std::uint32_t>;

std::uint64_t load64(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// memcmp() of two keys, eight bytes at a time.
int compareKeys(const unsigned char* a, const unsigned char* b, std::size_t length) {
    std::size_t n = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; n + 8 <= length; n += 8) {
            const std::uint64_t x = load64(a + n), y = load64(b + n);
            if (x != y) return __builtin_bswap64(x) < __builtin_bswap64(y) ? -1 : 1;
        }
    }
    return n == length ? 0 : std::memcmp(a + n, b + n, length - n);
}

int compareAt(const FlatKeys& keys, std::size_t a, std::size_t b) {
    const int c = compareKeys(keys.key(a), keys.key(b), keys.keyLength);
    if (c != 0) return c;
    return keys.recnos[a] < keys.recnos[b] ? -1 : keys.recnos[a] > keys.recnos[b] ? 1 : 0;
}

bool inOrder(const FlatKeys& keys) {
    for (std::size_t i = 1; i < keys.size(); ++i)
        if (compareAt(keys, i - 1, i) > 0) return false;
    return true;
}

// A byte position where the keys differ: each byte found there gets its rank among the bytes found
// there (which orders them as the bytes do), in as few bits as the number of different bytes needs.
struct Column {
    std::size_t position = 0;
    int bits = 0;
    std::array<std::uint8_t, 256> rank{};
};

// The positions whose bytes are not the same in every key, in key order. Positions holding one byte
// throughout cannot change the order, so the sort looks only at these.
std::vector<Column> varyingColumns(const FlatKeys& keys) {
    const std::size_t length = keys.keyLength, words = length / 8;
    // First the positions where some key differs from the first, eight at a time.
    const unsigned char* first = keys.key(0);
    std::vector<std::uint64_t> differs(words);
    std::vector<unsigned char> tailDiffers(length - words * 8);
    for (std::size_t i = 1; i < keys.size(); ++i) {
        const unsigned char* k = keys.key(i);
        for (std::size_t w = 0; w < words; ++w) differs[w] |= load64(k + 8 * w) ^ load64(first + 8 * w);
        for (std::size_t j = words * 8; j < length; ++j) tailDiffers[j - words * 8] |= k[j] ^ first[j];
    }
    std::vector<std::size_t> varying;
    for (std::size_t j = 0; j < length; ++j) {
        std::uint8_t diff = 0;
        if (j < words * 8) {
            unsigned char bytes[8];
            std::memcpy(bytes, &differs[j / 8], 8);
            diff = bytes[j % 8];
        } else {
            diff = tailDiffers[j - words * 8];
        }
        if (diff != 0) varying.push_back(j);
    }
    // Then the bytes each of those holds.
    std::vector<std::array<bool, 256>> seen(varying.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const unsigned char* k = keys.key(i);
        for (std::size_t v = 0; v < varying.size(); ++v) seen[v][k[varying[v]]] = true;
    }
    std::vector<Column> columns;
    for (std::size_t v = 0; v < varying.size(); ++v) {
        const std::size_t j = varying[v];
        Column c;
        c.position = j;
        unsigned different = 0;
        for (int b = 0; b < 256; ++b)
            if (seen[v][b]) c.rank[b] = static_cast<std::uint8_t>(different++);
        if (different < 2) continue;
        c.bits = static_cast<int>(std::bit_width(different - 1));
        columns.push_back(c);
    }
    return columns;
}

// Stable least-significant-digit radix sort of `items` on bits [shift, shift + bits).
void radixSort(UninitialisedBuffer<std::uint64_t>& items, int shift, int bits) {
    if (bits == 0) return;
    constexpr int kMaxDigitBits = 11;
    const int passes = (bits + kMaxDigitBits - 1) / kMaxDigitBits;
    const int digitBits = (bits + passes - 1) / passes;
    const std::size_t buckets = std::size_t{1} << digitBits;
    const std::uint64_t digitMask = buckets - 1;
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(passes) * buckets);
    for (std::uint64_t item : items)
        for (int p = 0; p < passes; ++p)
            ++counts[p * buckets + ((item >> (shift + p * digitBits)) & digitMask)];
    UninitialisedBuffer<std::uint64_t> other(items.size());
    for (int p = 0; p < passes; ++p) {
        std::uint32_t* count = counts.data() + p * buckets;
        const int from = shift + p * digitBits;
        // A digit every item shares moves nothing.
        if (std::any_of(count, count + buckets, [&](std::uint32_t c) { return c == items.size(); })) continue;
        std::uint32_t sum = 0;
        for (std::size_t b = 0; b < buckets; ++b) sum += std::exchange(count[b], sum);
        for (std::uint64_t item : items) other[count[(item >> from) & digitMask]++] = item;
        items.swap(other);
    }
}

constexpr std::size_t kSmall = 64;  // runs shorter than this are sorted by comparing keys

// Sorts [begin, end) of an order that is already sorted on the columns before `column` (those are
// equal throughout), keeping entries with equal keys in the order they are in. Each key becomes one
// integer: the next columns' ranks, above the entry's position in the run; the radix sort orders
// those, and runs that still tie go on with the columns after.
void sortRun(const FlatKeys& keys, const std::vector<Column>& columns, std::size_t column,
             std::uint32_t* begin, std::uint32_t* end) {
    const std::size_t n = static_cast<std::size_t>(end - begin);
    if (n < 2 || column == columns.size()) return;
    if (n < kSmall) {
        std::sort(begin, end, [&](std::uint32_t a, std::uint32_t b) { return compareAt(keys, a, b) < 0; });
        return;
    }
    const int positionBits = static_cast<int>(std::bit_width(n - 1));
    int keyBits = 0;
    std::size_t next = column;
    while (next < columns.size() && keyBits + columns[next].bits <= 64 - positionBits)
        keyBits += columns[next++].bits;
    UninitialisedBuffer<std::uint64_t> items(n);
    for (std::size_t p = 0; p < n; ++p) {
        const unsigned char* k = keys.key(begin[p]);
        std::uint64_t v = 0;
        for (std::size_t c = column; c < next; ++c)
            v = (v << columns[c].bits) | columns[c].rank[k[columns[c].position]];
        items[p] = (v << positionBits) | p;
    }
    radixSort(items, positionBits, keyBits);
    const std::uint64_t positionMask = (std::uint64_t{1} << positionBits) - 1;
    UninitialisedBuffer<std::uint32_t> sorted(n);
    for (std::size_t i = 0; i < n; ++i) sorted[i] = begin[items[i] & positionMask];
    std::copy(sorted.begin(), sorted.end(), begin);
    if (next == columns.size()) return;
    for (std::size_t start = 0; start < n;) {
        std::size_t stop = start + 1;
        while (stop < n && (items[stop] >> positionBits) == (items[start] >> positionBits)) ++stop;
        sortRun(keys, columns, next, begin + start, begin + stop);
        start = stop;
    }
}

}  // namespace

std::vector<std::uint32_t> sortedOrder(const FlatKeys& keys) {
    Order order(keys.size());
    std::iota(order.begin(), order.end(), 0u);
    if (inOrder(keys)) return order;
    // Equal keys keep record order through the sort, so it starts from record order.
    if (!std::is_sorted(keys.recnos.begin(), keys.recnos.end()))
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return keys.recnos[a] < keys.recnos[b]; });
    sortRun(keys, varyingColumns(keys), 0, order.data(), order.data() + order.size());
    return order;
}

}  // namespace dorvane::provider::index
