// Text typed into the grid against the value each field type stores, and the grid's text back.
#include "provider/sql/value_text.h"

#include <gtest/gtest.h>

#include <cmath>

#include "memory_table.h"
#include "provider/error.h"
#include "provider/sql/expr.h"

namespace dorvane::provider::sql {
namespace {

using test::dateOf;
using test::dateTimeOf;

struct Field {
    char type;
    int width;
    int decimals;
};

constexpr Field kN{'N', 10, 2}, kN0{'N', 5, 0}, kF{'F', 12, 4}, kB{'B', 8, 2}, kI{'I', 4, 0}, kY{'Y', 8, 4},
    kD{'D', 8, 0}, kT{'T', 8, 0}, kL{'L', 1, 0}, kC{'C', 10, 0}, kV{'V', 10, 0}, kM{'M', 4, 0}, kW{'W', 4, 0},
    kQ{'Q', 10, 0}, kG{'G', 4, 0};

struct ConvertCase {
    Value input;
    Field field;
    Value expected;  // ignored when error is set
    std::optional<FoxError> error = std::nullopt;
};

std::string show(const Value& v) {
    return describeValue(v);
}

class ConvertsTo : public testing::TestWithParam<ConvertCase> {};

TEST_P(ConvertsTo, StoredValueOrError) {
    const ConvertCase& c = GetParam();
    const std::string what = show(c.input) + " into " + c.field.type;
    if (c.error) {
        try {
            const Value v = convertForField(c.input, c.field.type, c.field.width, c.field.decimals);
            FAIL() << what << " gave " << show(v);
        } catch (const ProviderError& e) {
            EXPECT_EQ(e.code(), *c.error) << what << ": " << e.message();
        }
        return;
    }
    const Value got = convertForField(c.input, c.field.type, c.field.width, c.field.decimals);
    EXPECT_EQ(got, c.expected) << what << " gave " << show(got);
}

Value text(const char* s) {
    return std::string(s);
}
const Value kNull{};

INSTANTIATE_TEST_SUITE_P(
    Numbers, ConvertsTo,
    testing::Values(ConvertCase{text("12"), kN, 12.0}, ConvertCase{text(" -3.5 "), kN, -3.5},
                    ConvertCase{text("1e3"), kN, 1000.0}, ConvertCase{text(".5"), kN, 0.5},
                    ConvertCase{text("-.5"), kN, -0.5}, ConvertCase{text("+7"), kN, 7.0},
                    ConvertCase{text("1.005"), kN, 1.01}, ConvertCase{text("12.5"), kN0, 13.0},
                    ConvertCase{text(""), kN, 0.0}, ConvertCase{text("   "), kF, 0.0},
                    ConvertCase{text("0.12345"), kF, 0.1235}, ConvertCase{text("0.125"), kB, 0.125},
                    ConvertCase{text("99999"), kN0, 99999.0}, ConvertCase{text("-9999"), kN0, -9999.0},
                    ConvertCase{text("100000"), kN0, {}, FoxError::NumericOverflow},
                    ConvertCase{text("-10000"), kN0, {}, FoxError::NumericOverflow},
                    ConvertCase{text("12abc"), kN, {}, FoxError::DataTypeMismatch},
                    ConvertCase{text("1,5"), kN, {}, FoxError::DataTypeMismatch},
                    ConvertCase{text("--1"), kN, {}, FoxError::DataTypeMismatch},
                    ConvertCase{text("."), kN, {}, FoxError::DataTypeMismatch},
                    ConvertCase{text("1e"), kN, {}, FoxError::DataTypeMismatch},
                    ConvertCase{text("inf"), kB, {}, FoxError::DataTypeMismatch},
                    ConvertCase{text("nan"), kB, {}, FoxError::DataTypeMismatch},
                    ConvertCase{text("1e999"), kB, {}, FoxError::NumericOverflow},
                    ConvertCase{true, kN, {}, FoxError::DataTypeMismatch},
                    ConvertCase{dateOf(2024, 1, 1), kN, {}, FoxError::DataTypeMismatch},
                    ConvertCase{std::int64_t{5}, kN, 5.0}, ConvertCase{Currency{25000}, kB, 2.5},
                    // integers: whole numbers within +-2,147,483,647, halves rounded away from zero
                    ConvertCase{text("12"), kI, std::int64_t{12}},
                    ConvertCase{text("-2147483647"), kI, std::int64_t{-2147483647}},
                    ConvertCase{text("2147483648"), kI, {}, FoxError::NumericOverflow},
                    ConvertCase{text("2.5"), kI, std::int64_t{3}}, ConvertCase{text(""), kI, std::int64_t{0}},
                    ConvertCase{9.0, kI, std::int64_t{9}},
                    ConvertCase{std::int64_t{1} << 40, kI, {}, FoxError::NumericOverflow},
                    // currency: exact decimal digits, four places
                    ConvertCase{text("12.5"), kY, Currency{125000}},
                    ConvertCase{text("-0.0001"), kY, Currency{-1}},
                    ConvertCase{text("0.00005"), kY, Currency{1}},
                    ConvertCase{text("922337203685477"), kY, Currency{9223372036854770000}},
                    ConvertCase{text("1e20"), kY, {}, FoxError::NumericOverflow},
                    ConvertCase{text(""), kY, Currency{}}, ConvertCase{3.25, kY, Currency{32500}},
                    ConvertCase{kNull, kN, kNull}, ConvertCase{kNull, kI, kNull}));

INSTANTIATE_TEST_SUITE_P(
    DatesAndLogicals, ConvertsTo,
    testing::Values(
        ConvertCase{text("2024-01-31"), kD, dateOf(2024, 1, 31)},
        ConvertCase{text("01/31/2024"), kD, dateOf(2024, 1, 31)},
        ConvertCase{text("1/5/2024"), kD, dateOf(2024, 1, 5)},
        ConvertCase{text("20240131"), kD, dateOf(2024, 1, 31)},
        ConvertCase{text(" 2024-02-29 "), kD, dateOf(2024, 2, 29)}, ConvertCase{text(""), kD, Date{}},
        ConvertCase{text("2023-02-29"), kD, {}, FoxError::DataTypeMismatch},
        ConvertCase{text("2024-13-01"), kD, {}, FoxError::DataTypeMismatch},
        ConvertCase{text("31/01/2024"), kD, {}, FoxError::DataTypeMismatch},
        ConvertCase{text("2024-01-31 10:00"), kD, {}, FoxError::DataTypeMismatch},
        ConvertCase{text("01/31/24"), kD, {}, FoxError::DataTypeMismatch},
        ConvertCase{text("tomorrow"), kD, {}, FoxError::DataTypeMismatch},
        ConvertCase{std::int64_t{20240131}, kD, {}, FoxError::DataTypeMismatch},
        ConvertCase{text("2024-01-31 14:05:00"), kT, dateTimeOf(2024, 1, 31, 14, 5, 0)},
        ConvertCase{text("2024-01-31T14:05:09"), kT, dateTimeOf(2024, 1, 31, 14, 5, 9)},
        ConvertCase{text("01/31/2024 14:05:00"), kT, dateTimeOf(2024, 1, 31, 14, 5, 0)},
        ConvertCase{text("01/31/2024 02:05:00 PM"), kT, dateTimeOf(2024, 1, 31, 14, 5, 0)},
        ConvertCase{text("01/31/2024 12:00:00 AM"), kT, dateTimeOf(2024, 1, 31, 0, 0, 0)},
        ConvertCase{text("2024-01-31 14:05"), kT, dateTimeOf(2024, 1, 31, 14, 5, 0)},
        ConvertCase{text("2024-01-31"), kT, dateTimeOf(2024, 1, 31, 0, 0, 0)},
        ConvertCase{text("2024-01-31 14:05:00.250"), kT, DateTime{julianDayFromCivil(2024, 1, 31), 50700250}},
        ConvertCase{text(""), kT, DateTime{}},
        ConvertCase{dateOf(2024, 1, 31), kT, dateTimeOf(2024, 1, 31, 0, 0, 0)},
        ConvertCase{text("2024-01-31 24:00:00"), kT, {}, FoxError::DataTypeMismatch},
        ConvertCase{text("2024-01-31 13:00 PM"), kT, {}, FoxError::DataTypeMismatch},
        ConvertCase{text("2024-01-31 14:5"), kT, {}, FoxError::DataTypeMismatch},
        ConvertCase{text("2024-01-31 14:05:00 xyz"), kT, {}, FoxError::DataTypeMismatch},
        ConvertCase{text("True"), kL, true}, ConvertCase{text("false"), kL, false},
        ConvertCase{text(".T."), kL, true}, ConvertCase{text(".f."), kL, false},
        ConvertCase{text("Y"), kL, true}, ConvertCase{text("n"), kL, false}, ConvertCase{text("t"), kL, true},
        ConvertCase{text(""), kL, false}, ConvertCase{text("maybe"), kL, {}, FoxError::DataTypeMismatch},
        ConvertCase{text("1"), kL, {}, FoxError::DataTypeMismatch},
        ConvertCase{std::int64_t{1}, kL, {}, FoxError::DataTypeMismatch}));

INSTANTIATE_TEST_SUITE_P(
    TextsAndBytes, ConvertsTo,
    testing::Values(ConvertCase{text(" a "), kC, text(" a ")}, ConvertCase{text("x"), kV, text("x")},
                    ConvertCase{text("memo"), kM, text("memo")}, ConvertCase{Blob{"\x01"}, kM, Blob{"\x01"}},
                    ConvertCase{std::int64_t{12}, kC, {}, FoxError::DataTypeMismatch},
                    ConvertCase{12.5, kM, {}, FoxError::DataTypeMismatch},
                    ConvertCase{dateOf(2024, 1, 1), kC, {}, FoxError::DataTypeMismatch},
                    ConvertCase{true, kV, {}, FoxError::DataTypeMismatch},
                    ConvertCase{text("00FFa0"), kW, Blob{std::string("\x00\xff\xa0", 3)}},
                    ConvertCase{text("0x0102"), kQ, Blob{"\x01\x02"}}, ConvertCase{text(""), kG, Blob{}},
                    ConvertCase{text("ABC"), kW, {}, FoxError::DataTypeMismatch},
                    ConvertCase{text("zz"), kQ, {}, FoxError::DataTypeMismatch}));

TEST(GridText, Formats) {
    const struct {
        Value v;
        Field field;
        const char* text;
    } cases[] = {
        {12.0, kN, "12"},
        {-3.5, kN, "-3.5"},
        {0.1, kB, "0.1"},
        {-0.0, kN, "0"},
        {1e20, kB, "1e+20"},
        {123456789012345.0, kN, "123456789012345"},
        {1e-7, kB, "1e-07"},
        {std::int64_t{-42}, kI, "-42"},
        {Currency{125000}, kY, "12.5"},
        {Currency{-1}, kY, "-0.0001"},
        {Currency{30000}, kY, "3"},
        {Currency{std::numeric_limits<std::int64_t>::min()}, kY, "-922337203685477.5808"},
        {dateOf(2024, 1, 31), kD, "2024-01-31"},
        {dateOf(999, 12, 31), kD, "0999-12-31"},
        {Date{}, kD, ""},
        {dateTimeOf(2024, 1, 31, 14, 5, 0), kT, "2024-01-31 14:05:00"},
        {DateTime{julianDayFromCivil(2024, 1, 31), 999}, kT, "2024-01-31 00:00:00.999"},
        {DateTime{}, kT, ""},
        {true, kL, "True"},
        {false, kL, "False"},
        {Value{}, kN, ""},
        {std::string("O'Brien"), kC, "O'Brien"},
        {Blob{std::string("\x00\xab", 2)}, kW, "00AB"},
        {Blob{}, kW, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatForGrid(c.v, c.field.type, c.field.decimals), c.text) << show(c.v);
}

// formatForGrid's text converts back to the same value, for every field type.
TEST(GridText, RoundTripsThroughConvert) {
    const struct {
        Value v;
        Field field;
    } cases[] = {
        {12.0, kN},
        {-3.5, kN},
        {0.0, kN},
        {0.1, kB},
        {1.0 / 3.0, kB},
        {-1e-300, kB},
        {1.7976931348623157e308, kB},
        {5e-324, kB},
        {123456.1234, kF},
        {std::int64_t{2147483647}, kI},
        {std::int64_t{-2147483647}, kI},
        {std::int64_t{0}, kI},
        {Currency{125000}, kY},
        {Currency{-1}, kY},
        {Currency{9223372036854775807}, kY},
        {dateOf(2024, 1, 31), kD},
        {dateOf(1, 1, 1), kD},
        {Date{}, kD},
        {dateTimeOf(2024, 1, 31, 14, 5, 0), kT},
        {dateTimeOf(2024, 12, 31, 23, 59, 59), kT},
        {DateTime{julianDayFromCivil(2006, 4, 20), 45296999}, kT},
        {DateTime{}, kT},
        {true, kL},
        {false, kL},
        {std::string("text"), kC},
        {std::string(""), kM},
        {Blob{std::string("\x00\x01\xfe", 3)}, kW},
        {Blob{}, kQ},
    };
    for (const auto& c : cases) {
        const std::string shown = formatForGrid(c.v, c.field.type, c.field.decimals);
        const Value back =
            convertForField(shown, c.field.type, c.field.width == 10 ? 20 : c.field.width, c.field.decimals);
        EXPECT_EQ(back, c.v) << show(c.v) << " shown as '" << shown << "' came back as " << show(back);
    }
}

TEST(GridText, RoundingHalvesAwayFromZero) {
    const struct {
        double v;
        int places;
        double expected;
    } cases[] = {
        {1.005, 2, 1.01},     {-1.005, 2, -1.01}, {2.675, 2, 2.68},  {0.5, 0, 1.0},       {-0.5, 0, -1.0},
        {1234.5, -2, 1200.0}, {1250, -2, 1300.0}, {1e300, 2, 1e300}, {0.1 + 0.2, 1, 0.3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(roundDecimal(c.v, c.places), c.expected) << c.v << " to " << c.places;
}

}  // namespace
}  // namespace dorvane::provider::sql
