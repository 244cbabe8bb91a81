#pragma once
// The natural order of file names: "img2" before "img10", letter case ignored.
//
// NaturalLessWith(a, b, rules) is true when a comes strictly before b. Both
// strings are walked together. Where both current characters are digits, each
// digit run is read as an unsigned 64-bit value (value * 10 + code - 48,
// wrapping on overflow): the smaller value comes first; on equal values the
// shorter run comes first ("7" before "07"); otherwise both walks go on after
// their runs. Anywhere else the two characters are case-folded and compared as
// unsigned code units, and the walks go on while they are equal. When one
// string is used up, the shorter string comes first.
//
// What counts as a digit and how a character folds are the platform's answer
// (the C runtime's iswdigit; the Unicode simple lower case), passed in
// as `rules`. Characters below 128 are answered here without asking: in every
// locale 0-9 are the only ASCII digits and A-Z fold to a-z, and names are
// mostly ASCII, so sorting a folder seldom calls out.
//
// Pure: standard library only.

struct TextRules {
    bool (*isDigit)(wchar_t c);  // consulted for code units of 128 and above only
    wchar_t (*fold)(wchar_t c);  // likewise
};

bool NaturalLessWith(const wchar_t* a, const wchar_t* b, const TextRules& rules);
