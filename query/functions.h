#pragma once

// The executor side of the Access dialect: the ACCESS collation and the functions the translation
// calls (acc_like, acc_concat, acc_sum, the date, string and conversion functions).

#include <sqlite3.h>

#include <string>

namespace query {

// Subtype marking a REAL that is an Access date (days since 1899-12-30).
inline constexpr unsigned kDateSubtype = 'D';

// Registers the collation and every function on `db`. Throws jet::Error when SQLite refuses.
void RegisterAccessFunctions(sqlite3* db);

// Case-insensitive comparison of two UTF-8 texts as the General sort order compares them
// for equality and order of letters.
int CompareAccessText(std::string_view a, std::string_view b);

// `text` folded so that texts equal under CompareAccessText fold to the same bytes.
std::string FoldForKey(std::string_view text);

// Access's Like: * any run, ? one character, # one digit, [abc] [!a-z] a class; letters compare
// case-insensitively.
bool AccessLike(std::u16string_view text, std::u16string_view pattern);

// Rounds half to even, as Access's CLng, CInt, CCur and Round do.
double RoundHalfEven(double v, int decimals = 0);

// Access's general date text: "m/d/yyyy", "h:nn:ss AM" or both.
std::string FormatAccessDate(double days);

}  // namespace query
