#include "tableops/key_probe.h"

#include <string>

#include "database/connection.h"
#include "database/query.h"
#include "jet/database.h"

namespace tableops {
namespace {

QString Doubled(const QString& text) {
  QString out = text;
  out.replace(u'\'', QStringLiteral("''"));
  return out;
}

// How the engine folds a character of a stored name for comparison, where that is settled without
// the engine: ASCII letters to lower case, the long s to 's', full-width A-Z to a-z, everything
// from U+0500 up to itself. Other characters below U+0500 fold among themselves: -1.
int SettledFold(char16_t c) {
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? c + 32 : c;
  if (c == 0x17F) return u's';
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;
  if (c >= 0x500) return c;
  return -1;
}

// A candidate whose every character folds in a settled way to itself or to ASCII.
bool Settled(const QString& name) {
  for (const QChar c : name) {
    const char16_t u = c.unicode();
    if (u >= 0x80 && u < 0x500) return false;
  }
  return true;
}

// The engine's equality of a settled candidate and a stored name.
bool SameForEngine(const QString& candidate, const QString& stored) {
  if (candidate.size() != stored.size()) return false;
  for (qsizetype i = 0; i < candidate.size(); ++i) {
    const int folded = SettledFold(stored.at(i).unicode());
    if (folded < 0 || folded != SettledFold(candidate.at(i).unicode())) return false;
  }
  return true;
}

}  // namespace

KeyProbe::KeyProbe(database::Query& query, QString table, QString column)
    : query_(query), table_(std::move(table)), column_(std::move(column)) {}

QString KeyProbe::Statement(const QString& candidate) const {
  return QStringLiteral("SELECT * FROM %1 WHERE %2='%3'").arg(table_, column_, Doubled(candidate));
}

QString KeyProbe::CoarseKey(const QString& name) {
  QString key = name;
  for (QChar& c : key) {
    const char16_t u = c.unicode();
    if (u < 0x80) {
      if (u >= u'A' && u <= u'Z') c = QChar(u + 32);
      continue;
    }
    const QChar lower = c.toLower();
    const QChar upper = c.toUpper();
    if (lower == c && upper == c && c.toCaseFolded() == c) continue;  // no case: itself
    // A cased letter: those whose folding lands in ASCII (long s, Kelvin sign, dotted I) keep
    // company with that letter; every other one shares the placeholder.
    const QChar folded = c.toCaseFolded();
    if (folded.unicode() < 0x80) {
      c = folded.toLower();
    } else if (lower.unicode() < 0x80) {
      c = lower;
    } else {
      c = QChar(0x1);
    }
  }
  return key;
}

void KeyProbe::Load() {
  loaded_ = true;
  database::Connection* connection = query_.GetConnection();
  if (connection == nullptr || !connection->Connected()) return;
  const jet::Database& db = connection->Engine();
  jet::TableDef table;
  try {
    table = db.GetTable(table_.toStdU16String());
  } catch (const jet::Error&) {
    return;  // the statement will tell
  }
  size_t column = table.columns.size();
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (QString::fromStdU16String(table.columns[i].name).compare(column_, Qt::CaseInsensitive) ==
        0) {
      column = i;
    }
  }
  if (column == table.columns.size()) return;
  const jet::ColumnType type = table.columns[column].type;
  if (type != jet::ColumnType::kText && type != jet::ColumnType::kMemo) return;
  db.Scan(table, [&](jet::RowId, std::vector<jet::Value>& values) {
    const jet::Value& value = values[column];
    if (value.is<std::u16string>()) {
      const QString name = QString::fromStdU16String(value.as<std::u16string>());
      buckets_[CoarseKey(name)].append(name);
    }
    return true;
  });
  exact_ = true;
}

bool KeyProbe::RunStatement(const QString& candidate) {
  query_.Close();
  query_.SQL().Clear();
  query_.SQL().Add(Statement(candidate));
  query_.Open();
  return query_.RecordCount() > 0;
}

bool KeyProbe::Taken(const QString& candidate) {
  if (!loaded_) Load();
  if (!exact_) return RunStatement(candidate);
  const auto bucket = buckets_.constFind(CoarseKey(candidate));
  if (bucket == buckets_.constEnd() || bucket->isEmpty()) return false;
  if (!Settled(candidate)) return RunStatement(candidate);
  for (const QString& stored : *bucket) {
    if (SameForEngine(candidate, stored)) return true;
  }
  return false;
}

void KeyProbe::Add(const QString& name) {
  if (exact_) buckets_[CoarseKey(name)].append(name);
}

}  // namespace tableops
