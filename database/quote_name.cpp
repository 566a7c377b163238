#include "database/quote_name.h"

#include <algorithm>
#include <array>
#include <string_view>

#include <QList>

namespace database {
namespace {

// Words the engine's SQL dialect reserves: its statements' keywords, the type names of
// CREATE TABLE, and the common Jet words that a statement might grow to use.
constexpr std::string_view kReserved[] = {
    "ADD",      "ALL",       "ALTER",     "AND",       "AS",        "ASC",      "AUTOINCREMENT",
    "BETWEEN",  "BINARY",    "BIT",       "BOOLEAN",   "BY",        "BYTE",     "CHAR",
    "CLUSTERED", "COLUMN",   "CONSTRAINT", "COUNTER",  "CREATE",    "CURRENCY", "DATE",
    "DATETIME", "DECIMAL",   "DELETE",    "DESC",      "DISTINCT",  "DOUBLE",   "DROP",
    "EXISTS",   "FLOAT",     "FROM",      "GROUP",     "GUID",      "HAVING",   "IN",
    "INDEX",    "INNER",     "INSERT",    "INT",       "INTEGER",   "INTO",     "IS",
    "JOIN",     "KEY",       "LIKE",      "LONG",      "MEMO",      "MONEY",    "NOT",
    "NULL",     "NUMERIC",   "OLE",       "ON",        "OR",        "ORDER",    "PRIMARY",
    "SELECT",   "SET",       "SMALLINT",  "TABLE",     "TEXT",      "UNIQUE",   "UPDATE",
    "VALUES",   "WHERE",     "TRUE",      "FALSE",     "TRANSFORM", "PARAMETERS", "PROCEDURE",
    "GRANT",    "REVOKE",    "TOP",       "UNION",     "YESNO",
};

bool NameChar(char32_t c) {
  return c == U'_' || QChar::isLetter(c) || QChar::isDigit(c);
}

}  // namespace

bool IsReservedWord(const QString& word) {
  const QByteArray upper = word.toUpper().toLatin1();
  const std::string_view w(upper.constData(), static_cast<size_t>(upper.size()));
  return std::find(std::begin(kReserved), std::end(kReserved), w) != std::end(kReserved);
}

QString QuoteName(const QString& name) {
  if (name.size() >= 2 && name.startsWith(u'[') && name.endsWith(u']')) return name;
  bool plain = !name.isEmpty() && !name.front().isDigit();
  for (char32_t c : name.toUcs4()) {
    if (!NameChar(c)) {
      plain = false;
      break;
    }
  }
  if (plain && !IsReservedWord(name)) return name;
  return u'[' + name + u']';
}

}  // namespace database
