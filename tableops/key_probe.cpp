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
      ++buckets_[CoarseKey(QString::fromStdU16String(value.as<std::u16string>()))];
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
  if (buckets_.value(CoarseKey(candidate), 0) == 0) return false;
  return RunStatement(candidate);
}

void KeyProbe::Add(const QString& name) {
  if (exact_) ++buckets_[CoarseKey(name)];
}

}  // namespace tableops
