#include "tableops/text_rules.h"

namespace tableops {
namespace {

bool IsImportSeparator(QChar c) { return c == u'\t' || c == u' ' || c == u',' || c == u';'; }

int HexValue(QChar c) {
  const char16_t u = c.unicode();
  if (u >= u'0' && u <= u'9') return u - u'0';
  if (u >= u'a' && u <= u'f') return u - u'a' + 10;
  if (u >= u'A' && u <= u'F') return u - u'A' + 10;
  return -1;
}

bool IsDigit(QChar c) { return c.unicode() >= u'0' && c.unicode() <= u'9'; }

}  // namespace

QString Trim(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text.at(begin).unicode() <= 32) ++begin;
  while (end > begin && text.at(end - 1).unicode() <= 32) --end;
  return text.mid(begin, end - begin);
}

QString AsciiFold(const QString& text) {
  QString folded = text;
  for (QChar& c : folded) {
    if (c.unicode() >= u'A' && c.unicode() <= u'Z') c = QChar(c.unicode() + 32);
  }
  return folded;
}

bool SameText(const QString& a, const QString& b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i) {
    char16_t x = a.at(i).unicode();
    char16_t y = b.at(i).unicode();
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
    if (x != y) return false;
  }
  return true;
}

QStringList SplitLines(const QString& text) {
  QStringList lines;
  qsizetype start = 0;
  qsizetype i = 0;
  while (i < text.size()) {
    const QChar c = text.at(i);
    if (c == u'\r' || c == u'\n') {
      lines.append(text.mid(start, i - start));
      i += (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.append(text.mid(start));
  return lines;
}

QStringList SplitImportLine(const QString& line) {
  QStringList tokens;
  QString token;
  bool in_token = false;
  QChar quote;  // the character that opened the current section; null when none is open
  for (const QChar c : line) {
    if (!quote.isNull()) {
      token += c;
      if (c == quote) quote = QChar();
      continue;
    }
    if (IsImportSeparator(c)) {
      if (in_token) tokens.append(token);
      token.clear();
      in_token = false;
      continue;
    }
    in_token = true;
    token += c;
    if (c == u'\'' || c == u'"') quote = c;
  }
  if (in_token) tokens.append(token);
  return tokens;
}

std::optional<int64_t> ParseInteger(const QString& token, int bits) {
  qsizetype i = 0;
  while (i < token.size() && token.at(i) == u' ') ++i;
  bool negative = false;
  if (i < token.size() && (token.at(i) == u'+' || token.at(i) == u'-')) {
    negative = token.at(i) == u'-';
    ++i;
  }
  const uint64_t mask = bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
  bool hex = false;
  if (i < token.size() && (token.at(i) == u'$' || token.at(i) == u'x' || token.at(i) == u'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < token.size() && token.at(i) == u'0' &&
             (token.at(i + 1) == u'x' || token.at(i + 1) == u'X')) {
    hex = true;
    i += 2;
  }
  if (i >= token.size()) return std::nullopt;
  uint64_t magnitude = 0;
  if (hex) {
    int significant = 0;
    for (; i < token.size(); ++i) {
      const int digit = HexValue(token.at(i));
      if (digit < 0) return std::nullopt;
      if (significant > 0 || digit != 0) ++significant;
      if (significant > bits / 4) return std::nullopt;
      magnitude = (magnitude << 4) | static_cast<uint64_t>(digit);
    }
    // The pattern is a two's-complement value of the width; the sign applies afterwards.
    uint64_t pattern = magnitude & mask;
    if (negative) pattern = (~pattern + 1) & mask;
    const uint64_t sign_bit = uint64_t{1} << (bits - 1);
    if (bits < 64 && (pattern & sign_bit)) pattern |= ~mask;
    return static_cast<int64_t>(pattern);
  }
  const uint64_t limit = (uint64_t{1} << (bits - 1)) - (negative ? 0 : 1);
  for (; i < token.size(); ++i) {
    if (!IsDigit(token.at(i))) return std::nullopt;
    const uint64_t digit = token.at(i).unicode() - u'0';
    if (magnitude > (limit - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  if (negative) return static_cast<int64_t>(uint64_t{0} - magnitude);
  return static_cast<int64_t>(magnitude);
}

std::optional<QString> ParseDecimal(const QString& token, QChar point) {
  QString out;
  qsizetype i = 0;
  if (i < token.size() && (token.at(i) == u'+' || token.at(i) == u'-')) {
    if (token.at(i) == u'-') out += u'-';
    ++i;
  }
  auto digits = [&] {
    const qsizetype from = i;
    while (i < token.size() && IsDigit(token.at(i))) out += token.at(i++);
    return i > from;
  };
  if (!digits()) return std::nullopt;
  if (i < token.size() && (token.at(i) == u'.' || token.at(i) == point)) {
    out += u'.';
    ++i;
    if (!digits()) return std::nullopt;
  }
  if (i < token.size() && (token.at(i) == u'E' || token.at(i) == u'e')) {
    out += u'E';
    ++i;
    if (i < token.size() && (token.at(i) == u'+' || token.at(i) == u'-')) out += token.at(i++);
    if (!digits()) return std::nullopt;
  }
  if (i != token.size()) return std::nullopt;
  return out;
}

}  // namespace tableops
