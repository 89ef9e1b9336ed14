// The binary keys a compact index stores for each expression type, so that comparing key bytes
// as unsigned bytes orders the values. Evaluating a tag's expression is not done here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "provider/value.h"

namespace dorvane::provider::index {

// The type of a tag's key expression; it decides the key encoding and the byte leaf compression drops.
enum class KeyType { Character, Numeric, Integer, Date, DateTime, Currency, Logical };

// Byte that leaf compression strips from key ends: blank for character keys of MACHINE collation,
// 0x00 for the others (keys of other collations are weights, padded with 0x00).
unsigned char padByteFor(KeyType type, std::string_view collation = {});

// Character key: bytes in the table's code page, cut or blank-padded to keyLength (MACHINE collation).
std::string encodeCharacterKey(std::string_view codePageBytes, std::uint16_t keyLength);

// 8-byte keys of N, F, B and other numeric expressions: the IEEE double big-endian, with the sign bit
// set for values >= 0 and every bit inverted for negative ones (-0 encodes as +0).
std::string encodeDoubleKey(double value);
double decodeDoubleKey(std::string_view key);

// 4-byte key of an I field: big-endian with the sign bit flipped.
std::string encodeIntegerKey(std::int32_t value);

// D: the Julian day number as a double key (the empty date is day 0).
std::string encodeDateKey(Date value);
// T: Julian day plus the fraction of the day, as a double key.
std::string encodeDateTimeKey(DateTime value);
// Y: the amount (scaled / 10000) as a double key.
std::string encodeCurrencyKey(Currency value);
// L: "T" or "F".
std::string encodeLogicalKey(bool value);

// Key of a nullable column: a leading 0x00 and zeros for NULL, else 0x80 and the value's key.
std::string encodeNullableKey(const std::optional<std::string>& valueKey, std::uint16_t valueKeyLength);

// Key of one value for a tag of `type` and `keyLength`. Text values must already be code-page bytes.
// Raises ProviderError(DataTypeMismatch) when the value does not suit the type, including NULL.
std::string encodeKey(const Value& value, KeyType type, std::uint16_t keyLength);

// Key type and key length of a tag on a plain field of this FoxPro type letter and width (C, V, I,
// N, F, B, D, T, Y, L); nullopt for types that cannot be keyed directly (M, G, W, Q, P) and for
// character fields wider than the 240-byte key limit.
std::optional<std::pair<KeyType, std::uint16_t>> keyForField(char fieldType, int width);

// True for collations whose keys this engine reproduces: MACHINE (written as "" or "MACHINE") and
// GENERAL (general_collation.h; the callers that build keys check the code page).
bool collationSupported(std::string_view collation);
bool isMachineCollation(std::string_view collation);

}  // namespace dorvane::provider::index
