// Key encoders: FoxPro's known key bytes, byte order equal to value order across signs and
// magnitudes. (Real stored keys are compared in fixture_read_test.)
#include "provider/index/key_encoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "provider/error.h"
#include "tests/support/raises.h"

namespace dorvane::provider::index {
namespace {

std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

TEST(KeyEncoding, KnownKeyBytes) {
    const struct {
        std::string key;
        const char* expected;
    } cases[] = {
        {encodeIntegerKey(1), "80000001"},
        {encodeIntegerKey(0), "80000000"},
        {encodeIntegerKey(-1), "7fffffff"},
        {encodeIntegerKey(std::numeric_limits<std::int32_t>::min()), "00000000"},
        {encodeIntegerKey(std::numeric_limits<std::int32_t>::max()), "ffffffff"},
        {encodeDoubleKey(1.0), "bff0000000000000"},
        {encodeDoubleKey(0.0), "8000000000000000"},
        {encodeDoubleKey(-0.0), "8000000000000000"},
        {encodeDoubleKey(-1.0), "400fffffffffffff"},
        {encodeDoubleKey(2.5), "c004000000000000"},
        {encodeDateKey(Date{2451545}), "c142b42c80000000"},
        {encodeDateKey(Date{}), "8000000000000000"},
        {encodeDateTimeKey(DateTime{2451545, 43200000}), "c142b42cc0000000"},
        {encodeCurrencyKey(Currency{25000}), "c004000000000000"},
        {encodeLogicalKey(true), "54"},
        {encodeLogicalKey(false), "46"},
        {encodeCharacterKey("ab", 4), "61622020"},
        {encodeCharacterKey("abcdef", 4), "61626364"},
        {encodeNullableKey(std::nullopt, 4), "0000000000"},
        {encodeNullableKey(encodeIntegerKey(1), 4), "8080000001"},
    };
    for (const auto& c : cases) EXPECT_EQ(hex(c.key), c.expected);
}

TEST(KeyEncoding, ByteOrderFollowsValueOrder) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> doubles = {-inf,   -1e300, -12345.678, -1.0,      -0.5,  -1e-300, 0.0,
                                         1e-300, 0.5,    1.0,        12345.678, 1e300, inf};
    for (std::size_t i = 1; i < doubles.size(); ++i) {
        EXPECT_LT(encodeDoubleKey(doubles[i - 1]), encodeDoubleKey(doubles[i])) << doubles[i];
        EXPECT_EQ(decodeDoubleKey(encodeDoubleKey(doubles[i])), doubles[i]);
    }
    const std::vector<std::int32_t> ints = {
        std::numeric_limits<std::int32_t>::min(), -65536, -256, -1, 0, 1, 255, 256,
        std::numeric_limits<std::int32_t>::max()};
    for (std::size_t i = 1; i < ints.size(); ++i)
        EXPECT_LT(encodeIntegerKey(ints[i - 1]), encodeIntegerKey(ints[i]));
    const std::vector<DateTime> times = {{},           {2440588, 0}, {2440588, 1}, {2440588, 86399999},
                                         {2440589, 0}, {2500000, 5}};
    for (std::size_t i = 1; i < times.size(); ++i)
        EXPECT_LT(encodeDateTimeKey(times[i - 1]), encodeDateTimeKey(times[i]));
    const std::vector<Currency> money = {{-100000}, {-1}, {0}, {1}, {922337203685477}};
    for (std::size_t i = 1; i < money.size(); ++i)
        EXPECT_LT(encodeCurrencyKey(money[i - 1]), encodeCurrencyKey(money[i]));
    // NULL sorts before every value of a nullable column.
    EXPECT_LT(encodeNullableKey(std::nullopt, 4),
              encodeNullableKey(encodeIntegerKey(std::numeric_limits<std::int32_t>::min()), 4));
}

}  // namespace
}  // namespace dorvane::provider::index
