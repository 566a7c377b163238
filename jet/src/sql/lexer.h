// Lexer of the engine's SQL dialect.
//
// The statement arrives as UTF-8. It is cut into tokens:
//   - names: letters, digits and '_' (ASCII), plus every non-ASCII character that is not a blank,
//     so Chinese names need no brackets; a name does not start with a digit;
//   - bracketed names: '[' any characters except ']' ']' (blanks and reserved words allowed);
//   - text: '...' or "...", the delimiter doubled inside stands for itself;
//   - numbers: digits with an optional '.' fraction and an optional exponent; the sign is a
//     separate symbol that the parser folds into the literal;
//   - dates: #...# (the text between the marks is parsed by the parser);
//   - symbols: ( ) , ; * = < > <= >= <> + - .
// Blanks, TAB, CR and LF separate tokens. Keywords are names; the parser recognises them
// case-insensitively, and a bracketed name is never a keyword.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace jet::sql {

enum class TokenKind {
  kName,       // unbracketed name or keyword
  kBracketed,  // [name]
  kText,       // 'text' or "text"
  kNumber,     // 12, 1.5, 1e3, .5
  kDate,       // #2001-02-03#
  kSymbol,     // punctuation and operators
  kEnd,        // end of the statement
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string_view source;  // the token as written, delimiters included
  std::u16string text;      // name without brackets, text without quotes, date without marks
  size_t offset = 0;        // byte offset in the statement
};

// Splits `sql` into tokens; the last one is always kEnd. Throws Error kInvalidArgument naming the
// position for invalid UTF-8, an unterminated text, bracket or date, and stray characters.
std::vector<Token> Tokenize(std::string_view sql);

// True when `token` is the unbracketed keyword `keyword` (given in upper case), ignoring case.
bool IsKeyword(const Token& token, std::string_view keyword);

// True when `token` is the symbol `symbol`.
bool IsSymbol(const Token& token, std::string_view symbol);

// The UTF-8 form of `s`, for messages.
std::string Utf8(std::u16string_view s);

}  // namespace jet::sql
