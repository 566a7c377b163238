#include "sql/lexer.h"

#include <algorithm>
#include <cstdint>

#include "jet/error.h"
#include "jet/value.h"

namespace jet::sql {
namespace {

constexpr char32_t kBadCodePoint = 0xFFFFFFFF;

[[noreturn]] void Fail(std::string_view what, std::string_view sql, size_t offset) {
  std::string message = "Syntax error: ";
  message += what;
  message += " at position " + std::to_string(offset + 1);
  if (offset < sql.size()) {
    size_t end = std::min(sql.size(), offset + 20);
    while (end < sql.size() && (static_cast<uint8_t>(sql[end]) & 0xC0) == 0x80) ++end;
    message += " near '" + std::string(sql.substr(offset, end - offset)) + "'";
  }
  message += ".";
  throw Error(Error::Kind::kInvalidArgument, message);
}

// Decodes the UTF-8 sequence at `pos`, advancing `pos`; kBadCodePoint for malformed input.
char32_t DecodeUtf8(std::string_view s, size_t& pos) {
  const auto lead = static_cast<uint8_t>(s[pos]);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  int extra = 0;
  char32_t cp = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    cp = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    cp = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    cp = lead & 0x07u;
  } else {
    return kBadCodePoint;
  }
  if (pos + static_cast<size_t>(extra) >= s.size()) return kBadCodePoint;
  for (int i = 1; i <= extra; ++i) {
    const auto next = static_cast<uint8_t>(s[pos + static_cast<size_t>(i)]);
    if ((next & 0xC0) != 0x80) return kBadCodePoint;
    cp = (cp << 6) | (next & 0x3Fu);
  }
  static constexpr char32_t kMinForLength[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMinForLength[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return kBadCodePoint;
  }
  pos += static_cast<size_t>(extra) + 1;
  return cp;
}

void AppendUtf16(char32_t cp, std::u16string& out) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

bool IsBlank(char32_t cp) {
  return cp == ' ' || cp == '\t' || cp == '\r' || cp == '\n' || cp == '\f' || cp == '\v' ||
         cp == 0xA0 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200B) || cp == 0x2028 ||
         cp == 0x2029 || cp == 0x202F || cp == 0x205F || cp == 0x3000 || cp == 0xFEFF;
}

bool IsAsciiDigit(char32_t cp) { return cp >= '0' && cp <= '9'; }

bool IsNameStart(char32_t cp) {
  if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z') || cp == '_';
  return !IsBlank(cp);
}

bool IsNamePart(char32_t cp) { return IsNameStart(cp) || IsAsciiDigit(cp); }

class Lexer {
 public:
  explicit Lexer(std::string_view sql) : sql_(sql) {}

  std::vector<Token> Run() {
    std::vector<Token> tokens;
    while (true) {
      SkipBlanks();
      if (pos_ >= sql_.size()) break;
      tokens.push_back(Next());
    }
    Token end;
    end.offset = sql_.size();
    tokens.push_back(end);
    return tokens;
  }

 private:
  char32_t Peek(size_t& after) const {
    after = pos_;
    const char32_t cp = DecodeUtf8(sql_, after);
    if (cp == kBadCodePoint) Fail("the statement is not valid UTF-8", sql_, pos_);
    return cp;
  }

  void SkipBlanks() {
    while (pos_ < sql_.size()) {
      size_t after = 0;
      if (!IsBlank(Peek(after))) return;
      pos_ = after;
    }
  }

  Token Make(TokenKind kind, size_t start) const {
    Token token;
    token.kind = kind;
    token.offset = start;
    token.source = sql_.substr(start, pos_ - start);
    return token;
  }

  Token Next() {
    size_t after = 0;
    const char32_t cp = Peek(after);
    if (cp == '[') return Delimited(TokenKind::kBracketed, ']', "']' to close the name");
    if (cp == '\'' || cp == '"') {
      return Delimited(TokenKind::kText, static_cast<char>(cp), "the closing quote of the text");
    }
    if (cp == '#') return Delimited(TokenKind::kDate, '#', "'#' to close the date");
    if (IsAsciiDigit(cp) || (cp == '.' && pos_ + 1 < sql_.size() &&
                             IsAsciiDigit(static_cast<unsigned char>(sql_[pos_ + 1])))) {
      return Number();
    }
    if (IsNameStart(cp)) return Name();
    return Symbol(cp);
  }

  // A token between `open` (at pos_) and `close`; `close` doubled inside a text stands for itself.
  Token Delimited(TokenKind kind, char close, std::string_view missing) {
    const size_t start = pos_;
    std::u16string text;
    ++pos_;
    while (true) {
      if (pos_ >= sql_.size()) Fail(std::string("missing ") + std::string(missing), sql_, start);
      if (sql_[pos_] == close) {
        if (kind == TokenKind::kText && pos_ + 1 < sql_.size() && sql_[pos_ + 1] == close) {
          text += static_cast<char16_t>(close);
          pos_ += 2;
          continue;
        }
        ++pos_;
        break;
      }
      size_t after = 0;
      const char32_t cp = Peek(after);
      if (kind == TokenKind::kBracketed && cp == '[') {
        Fail("'[' inside a bracketed name", sql_, pos_);
      }
      AppendUtf16(cp, text);
      pos_ = after;
    }
    Token token = Make(kind, start);
    if (kind == TokenKind::kBracketed && text.empty()) Fail("empty name '[]'", sql_, start);
    token.text = std::move(text);
    return token;
  }

  Token Number() {
    const size_t start = pos_;
    auto digits = [&] {
      while (pos_ < sql_.size() && IsAsciiDigit(static_cast<unsigned char>(sql_[pos_]))) ++pos_;
    };
    digits();
    if (pos_ < sql_.size() && sql_[pos_] == '.') {
      ++pos_;
      digits();
    }
    if (pos_ < sql_.size() && (sql_[pos_] == 'e' || sql_[pos_] == 'E')) {
      size_t exp = pos_ + 1;
      if (exp < sql_.size() && (sql_[exp] == '+' || sql_[exp] == '-')) ++exp;
      if (exp < sql_.size() && IsAsciiDigit(static_cast<unsigned char>(sql_[exp]))) {
        pos_ = exp;
        digits();
      }
    }
    if (pos_ < sql_.size()) {
      size_t after = 0;
      if (IsNameStart(Peek(after))) Fail("a number runs into a name", sql_, start);
    }
    Token token = Make(TokenKind::kNumber, start);
    for (char c : token.source) token.text += static_cast<char16_t>(c);
    return token;
  }

  Token Name() {
    const size_t start = pos_;
    std::u16string text;
    while (pos_ < sql_.size()) {
      size_t after = 0;
      const char32_t cp = Peek(after);
      if (!IsNamePart(cp)) break;
      AppendUtf16(cp, text);
      pos_ = after;
    }
    Token token = Make(TokenKind::kName, start);
    token.text = std::move(text);
    return token;
  }

  Token Symbol(char32_t cp) {
    const size_t start = pos_;
    static constexpr std::string_view kSingles = "(),;*=<>+-.";
    if (cp >= 0x80 || kSingles.find(static_cast<char>(cp)) == std::string_view::npos) {
      Fail("unexpected character", sql_, start);
    }
    ++pos_;
    if (cp == '<' && pos_ < sql_.size() && (sql_[pos_] == '=' || sql_[pos_] == '>')) ++pos_;
    if (cp == '>' && pos_ < sql_.size() && sql_[pos_] == '=') ++pos_;
    Token token = Make(TokenKind::kSymbol, start);
    for (char c : token.source) token.text += static_cast<char16_t>(c);
    return token;
  }

  std::string_view sql_;
  size_t pos_ = 0;
};

}  // namespace

std::vector<Token> Tokenize(std::string_view sql) { return Lexer(sql).Run(); }

bool IsKeyword(const Token& token, std::string_view keyword) {
  if (token.kind != TokenKind::kName || token.text.size() != keyword.size()) return false;
  for (size_t i = 0; i < keyword.size(); ++i) {
    char16_t c = token.text[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (c != static_cast<char16_t>(keyword[i])) return false;
  }
  return true;
}

bool IsSymbol(const Token& token, std::string_view symbol) {
  return token.kind == TokenKind::kSymbol && token.source == symbol;
}

std::string Utf8(std::u16string_view s) { return ToUtf8(s); }

}  // namespace jet::sql
