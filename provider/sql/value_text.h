// Values typed into the grid as text, and values shown in the grid as text.
// convertForField() decides what a cell edit or an INSERT/UPDATE value stores into a field of a given
// type; formatForGrid() is its inverse: convertForField(formatForGrid(v, t, d), t, w, d) == v.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "provider/value.h"

namespace dorvane::provider::sql {

// The value a field of FoxPro type `type` (C V M N F B I Y D T L G W Q) receives for `v`.
// - Null stays null (whether the field takes null is the table's decision).
// - A value of the field's kind passes; numbers pass between N F B I Y (I rounds to the nearest whole
//   number, N/F round to `decimals`); a date goes into T as midnight.
// - Text for N F B I Y D T L (and hex text for G W Q) is converted when the whole text, blanks around it
//   removed, is one well-formed value as formatForGrid writes it or as listed here:
//     numbers 12, -3.5, 1e3, .5;  dates 2024-01-31, 01/31/2024, 20240131;
//     datetimes a date, optionally followed by 14:05 / 14:05:00 / 14:05:00.250 and AM/PM;
//     logicals True/False, .T./.F., T/F, Y/N, Yes/No (any case);  blobs hex digits, optionally 0x...
//   Empty (or all-blank) text gives the type's empty value: 0, empty date/datetime, .F., empty blob.
// - Anything else raises ProviderError(DataTypeMismatch); numbers, dates and logicals for C/V/M too.
// - A number whose integer part does not fit `width` (N, F) or the type's range (I, Y) raises
//   ProviderError(NumericOverflow).
Value convertForField(const Value& v, char type, int width, int decimals);

// The grid's text for a value: numbers in their shortest exact form (12, -3.5, 0.1, 1e+20 for huge
// ones), currency with its needed decimals (12.5), dates 2024-01-31, datetimes 2024-01-31 14:05:00
// (milliseconds appended only when not whole seconds), logicals True/False, blobs as upper-case hex,
// null and empty dates as empty text. `type` and `decimals` are the field's (unused for most values).
std::string formatForGrid(const Value& v, char type, int decimals);
// Appends formatForGrid(v, type, decimals) to `out` without a string of its own.
void appendForGrid(std::string& out, const Value& v, char type, int decimals);

// What a grid cell shows for blobs other than varbinary (General and Blob fields, binary memos).
inline constexpr char kBinaryPlaceholder[] = "(binary)";
// Appends the text a grid cell shows for `v` in a field of type `type` with `decimals`: formatForGrid's,
// except that C fields lose their trailing blanks, finite numbers below 1e15 of a field with decimals
// show exactly that many (roundDecimal's rounding, then halves away from zero, no sign on zero), and
// blobs other than varbinary show kBinaryPlaceholder.
void appendCellText(std::string& out, const Value& v, char type, int decimals);

// Parsers shared with the expression language; nullopt when the whole text is not one such value.
std::optional<double> parseNumberText(std::string_view text);
std::optional<Date> parseDateText(std::string_view text);
std::optional<DateTime> parseDateTimeText(std::string_view text);
std::optional<bool> parseLogicalText(std::string_view text);

// `v` rounded to `places` decimals (negative: to tens, hundreds...), halves away from zero, as FoxPro's
// ROUND and STR do: 1.005 gives 1.01 although its nearest double lies just below 1.005.
double roundDecimal(double v, int places);

// Shortest text that reads back as the same double (fixed notation for ordinary magnitudes).
std::string formatNumber(double v);

}  // namespace dorvane::provider::sql
