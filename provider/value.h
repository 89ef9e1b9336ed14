// Values as the engine passes them between the table files, expressions and the ADO-like objects.
// Texts are UTF-8 here; the table layer converts to and from each table's code page.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace dorvane::provider {

// A calendar day as a Julian day number (FoxPro's own day count); 0 is the empty date.
struct Date {
    std::int32_t julianDay = 0;
    bool empty() const { return julianDay == 0; }
    friend bool operator==(Date, Date) = default;
    friend auto operator<=>(Date, Date) = default;
};

// A point in time: Julian day and milliseconds since midnight; day 0 is the empty datetime.
struct DateTime {
    std::int32_t julianDay = 0;
    std::int32_t milliseconds = 0;
    bool empty() const { return julianDay == 0; }
    friend bool operator==(DateTime, DateTime) = default;
    friend auto operator<=>(DateTime, DateTime) = default;
};

// Currency: the amount times 10,000, as FoxPro stores Y fields.
struct Currency {
    std::int64_t scaled = 0;
    friend bool operator==(Currency, Currency) = default;
    friend auto operator<=>(Currency, Currency) = default;
};

// Bytes kept as they are (general fields, varbinary, blob, and memos flagged binary).
struct Blob {
    std::string bytes;
    friend bool operator==(const Blob&, const Blob&) = default;
};

// Null is std::monostate. Numbers of N/F/B fields are doubles, I fields int64.
using Value = std::variant<std::monostate, std::string, double, std::int64_t, Currency, Date, DateTime, bool, Blob>;

inline bool isNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }

// Julian day number of a proleptic Gregorian date, and back.
std::int32_t julianDayFromCivil(int year, int month, int day);
void civilFromJulianDay(std::int32_t jd, int& year, int& month, int& day);

}  // namespace dorvane::provider
