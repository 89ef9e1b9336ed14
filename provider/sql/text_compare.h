// Text comparison with FoxPro's rules: SET EXACT, the = / == difference, trailing blanks, collation.
//
// Modes: Prefix (= with SET EXACT OFF): the left text is cut to the length of the right one, then
// compared as Padded; Shorter (SET ANSI OFF): the longer text is cut to the shorter one's length;
// Padded (= with SET EXACT ON, and <, > ...): the shorter text counts as padded
// with blanks; Identical (==): texts compare as they are, so trailing blanks matter.
//
// General collation, as implemented here: letters compare case-insensitively and the accented Latin
// letters of code page 1252 compare equal to their base letter (a with any accent = a, c cedilla = c,
// n tilde = n, y diaeresis = y); ß compares as "ss", æ as "ae", œ as "oe". Other characters compare by
// code point. FoxPro's own tables also order accented letters after the base letter when the base
// letters tie; that tie-break is not applied, so "é" = "e" holds.
#pragma once

#include <string_view>

#include "provider/sql/row_context.h"

namespace dorvane::provider::sql {

enum class TextCompareMode { Prefix, Shorter, Padded, Identical };

// The mode of =, <>, <, ... (not ==) under `options`.
TextCompareMode comparisonMode(const EvalOptions& options);

// <0, 0, >0. Allocates nothing for Machine collation without a comparator hook.
int compareText(std::string_view left, std::string_view right, TextCompareMode mode,
                const EvalOptions& options);

}  // namespace dorvane::provider::sql
