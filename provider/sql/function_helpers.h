// Argument checks and the text, number and date work behind the built-in functions (functions.cpp).
// Internal to provider/sql. Type errors raise ProviderError(DataTypeMismatch).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <utility>

#include "provider/value.h"

namespace dorvane::provider::sql::detail {

inline constexpr std::int64_t kMaxStringLength = 16777184;  // FoxPro's longest character string

[[noreturn]] void mismatch();
// The argument as text / number / whole number (truncated) / character count (negative gives 0).
const std::string& text(const Value& v);
double number(const Value& v);
std::int64_t whole(const Value& v);
std::size_t count(const Value& v);
// Julian day and milliseconds of a date or datetime argument; day 0 for the empty ones.
std::pair<std::int32_t, std::int32_t> moment(const Value& v);
// "YYYYMMDD" (format "Y") or "MM/DD/YYYY" (format "M").
std::string civil(std::int32_t jd, const char* format);
std::string strOf(double n, std::int64_t len, std::int64_t dec);
// PADL ('L'), PADR ('R'), PADC ('C') to `width` characters with `fill` (a blank when null).
std::string padded(const std::string& s, std::size_t width, const Value* fill, char side);
std::string displayText(const Value& v);
bool isEmptyValue(const Value& v);
double valOf(const std::string& s);
std::tm localNow();
Value makeDateValue(std::int64_t y, std::int64_t m, std::int64_t d);
std::string bintoc(std::int64_t n, std::int64_t size);
Value ttoc(const Value& v, std::int64_t style);

}  // namespace dorvane::provider::sql::detail
