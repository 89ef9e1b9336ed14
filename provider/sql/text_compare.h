// Text comparison with FoxPro's rules: SET EXACT, the = / == difference, trailing blanks, collation.
//
// Modes: Prefix (= with SET EXACT OFF): the left text is cut to the length of the right one, then
// compared as Padded; Shorter (SET ANSI OFF): the longer text is cut to the shorter one's length;
// Padded (= with SET EXACT ON, and <, > ...): the shorter text counts as padded
// with blanks; Identical (==): texts compare as they are, so trailing blanks matter.
//
// General collation: texts compare as FoxPro's GENERAL index keys of code page 1252 order them
// (general_collation.h): by primary weights first, so letter case does not count and accented letters
// sort beside their base letter, then by their accents; ß weighs as "ss", æ as "ae", œ as "oe".
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
