#include "tableops/import.h"

#include <QLocale>
#include <limits>
#include <optional>
#include <vector>

#include "database/connection.h"
#include "database/field.h"
#include "database/query.h"
#include "database/quote_name.h"
#include "jet/database.h"
#include "jet/error.h"
#include "tableops/key_probe.h"
#include "tableops/text_rules.h"

namespace tableops {
namespace {

using database::TFieldType;

bool IsNumberFieldType(TFieldType type) {
  switch (type) {
    case database::ftSmallint:
    case database::ftInteger:
    case database::ftWord:
    case database::ftLongWord:
    case database::ftShortint:
    case database::ftByte:
    case database::ftExtended:
    case database::ftSingle:
      return true;
    default:
      return false;
  }
}

bool IsFractionType(TFieldType type) {
  switch (type) {
    case database::ftFloat:
    case database::ftSingle:
    case database::ftExtended:
    case database::ftCurrency:
    case database::ftBCD:
    case database::ftFMTBcd:
      return true;
    default:
      return false;
  }
}

[[noreturn]] void IndexOutOfBounds(int index) {
  throw jet::Error(jet::Error::Kind::kInvalidArgument,
                   QStringLiteral("List index out of bounds (%1)").arg(index).toStdString());
}

const QString& TokenAt(const QStringList& tokens, int index) {
  if (index < 0 || index >= tokens.size()) IndexOutOfBounds(index);
  return tokens.at(index);
}

QString Doubled(const QString& text) {
  QString out = text;
  out.replace(u'\'', QStringLiteral("''"));
  return out;
}

enum class KeyRule { kNone, kMagic, kStdItems, kMonster };

KeyRule KeyRuleOf(const QString& table) {
  if (SameText(table, QStringLiteral("Magic"))) return KeyRule::kMagic;
  if (SameText(table, QStringLiteral("StdItems"))) return KeyRule::kStdItems;
  if (SameText(table, QStringLiteral("Monster"))) return KeyRule::kMonster;
  return KeyRule::kNone;
}

// The grid's fields, in the order the grid shows them.
struct Snapshot {
  QStringList names;
  std::vector<TFieldType> types;
  int size() const { return static_cast<int>(types.size()); }
};

Snapshot TakeSnapshot(const Page& page) {
  Snapshot snapshot;
  for (const int index : page.grid->FieldOrder()) {
    const database::Field* field = page.query->Fields(index);
    snapshot.names.append(field->DisplayName());
    snapshot.types.push_back(field->DataType());
  }
  return snapshot;
}

bool FirstLinePasses(const QStringList& tokens, const Snapshot& fields) {
  const std::optional<int64_t> first = ParseInteger(TokenAt(tokens, 0), 64);
  const bool integer = first && *first != std::numeric_limits<int64_t>::max();
  if (fields.size() == 0) return false;
  const TFieldType type = fields.types.front();
  if (integer ? !IsNumberFieldType(type) : !IsTextFieldType(type)) return false;
  const int t = static_cast<int>(tokens.size());
  const int n = fields.size();
  return n / 2 < t && t / 2 < n;
}

QString Head(const QString& table, const Snapshot& fields) {
  QStringList columns;
  for (const QString& name : fields.names) columns.append(database::QuoteName(name));
  return QStringLiteral("INSERT INTO %1(%2) VALUES( ")
      .arg(database::QuoteName(table), columns.join(QStringLiteral(", ")));
}

// The next Idx after the largest in StdItems; 0 in an empty table.
int32_t PrepareStdItems(database::Query& query) {
  query.Close();
  query.SQL().Clear();
  query.SQL().Add(QStringLiteral("SELECT * FROM StdItems Order by Idx"));
  query.Open();
  if (query.RecordCount() <= 0) return 0;
  query.Last();
  const database::Field* idx = query.FieldByName(QStringLiteral("Idx"));
  if (idx->IsNull()) {
    throw jet::Error(jet::Error::Kind::kInvalidArgument,
                     "Could not convert variant of type (Null) into type (Integer)");
  }
  // The sum wraps as a 32-bit integer does.
  return static_cast<int32_t>(static_cast<uint32_t>(idx->AsInteger()) + 1u);
}

// A name no row holds: `key` itself, else `key` followed by 1, 2, ...
QString FreeKey(KeyProbe& probe, const QString& key) {
  QString candidate = key;
  for (int32_t suffix = 0; probe.Taken(candidate);) {
    ++suffix;
    candidate = key + QString::number(suffix);
  }
  return candidate;
}

void Reopen(const Page& page) {
  database::Query& query = *page.query;
  query.Close();
  query.SQL().Clear();
  query.SQL().Add(QStringLiteral("SELECT * FROM ") + database::QuoteName(page.caption));
  query.Open();
  query.Last();
}

QStringList NonBlankLines(const QString& text) {
  QStringList lines;
  for (const QString& line : SplitLines(text)) {
    if (!Trim(line).isEmpty()) lines.append(line);
  }
  return lines;
}

}  // namespace

bool IsTextFieldType(TFieldType type) {
  return type == database::ftString || type == database::ftWideString;
}

QString FormatValue(const QString& token, TFieldType type) {
  if (IsTextFieldType(type)) return u'\'' + Doubled(token) + u'\'';
  if (IsFractionType(type)) {
    if (auto number = ParseDecimal(token, QLocale().decimalPoint().at(0))) return *number;
  }
  if (type == database::ftBoolean) {
    if (token.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return QStringLiteral("-1");
    if (token.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return QStringLiteral("0");
  }
  return QString::number(ParseInteger(token, 32).value_or(0));
}

namespace {

// The import's statements grouped into engine transactions of `size` statements (none for 0).
// A batch still open when the import stops by an exception is rolled back; earlier ones stay.
class Batches {
 public:
  Batches(database::Query& query, int size)
      : db_(size > 0 ? &query.GetConnection()->Engine() : nullptr), size_(size) {
    if (db_ != nullptr) db_->Begin();
  }
  ~Batches() {
    if (db_ != nullptr) {
      try {
        db_->Rollback();
      } catch (...) {  // nothing more to undo
      }
    }
  }
  Batches(const Batches&) = delete;
  Batches& operator=(const Batches&) = delete;

  void Counted() {
    if (db_ == nullptr || ++count_ % size_ != 0) return;
    db_->Commit();
    db_->Begin();
  }
  void Finish() {
    if (db_ != nullptr) db_->Commit();
    db_ = nullptr;
  }

 private:
  jet::Database* db_;
  int size_;
  int count_ = 0;
};

}  // namespace

ImportResult ImportText(const Page& page, const QString& text, Prompter& prompter, int batch) {
  ImportResult result;
  if (text.isEmpty()) {
    Reopen(page);
    return result;
  }
  const QStringList lines = NonBlankLines(text);
  if (lines.isEmpty()) return result;
  database::Query& query = *page.query;
  {
    const QStringList first = SplitImportLine(Trim(lines.front()));
    if (!FirstLinePasses(first, TakeSnapshot(page))) {
      prompter.Notice(kImportMismatch, Prompter::Icon::kQuestion);
      return result;
    }
  }
  const Snapshot fields = TakeSnapshot(page);
  const int n = fields.size();
  const QString head = Head(page.caption, fields);
  const KeyRule rule = KeyRuleOf(page.caption);
  int32_t next_idx = rule == KeyRule::kStdItems ? PrepareStdItems(query) : 0;
  KeyProbe probe(query,
                 rule == KeyRule::kMagic ? QStringLiteral("Magic") : QStringLiteral("Monster"),
                 rule == KeyRule::kMagic ? QStringLiteral("MagName") : QStringLiteral("Name"));
  Batches batches(query, batch);

  for (const QString& line : lines) {
    QStringList tokens = SplitImportLine(Trim(line));
    if (tokens.isEmpty()) continue;
    while (tokens.size() > n) tokens.removeLast();
    for (int k = static_cast<int>(tokens.size()); k < n; ++k) {
      tokens.append(IsTextFieldType(fields.types[static_cast<size_t>(k)]) ? QString()
                                                                          : QStringLiteral("0"));
    }
    int key_token = -1;
    if (rule == KeyRule::kMagic || rule == KeyRule::kMonster) {
      key_token = rule == KeyRule::kMagic ? 1 : 0;
      tokens[key_token] = FreeKey(probe, TokenAt(tokens, key_token));
    } else if (rule == KeyRule::kStdItems) {
      tokens[0] = QString::number(next_idx);
      next_idx = static_cast<int32_t>(static_cast<uint32_t>(next_idx) + 1u);
    }
    QStringList values;
    for (int i = 0; i < n; ++i) {
      values.append(FormatValue(tokens.at(i), fields.types[static_cast<size_t>(i)]));
    }
    const QString statement = head + values.join(QStringLiteral(", ")) + u')';
    query.Close();
    query.SQL().Clear();
    query.SQL().Add(statement);
    ++result.statements;
    result.sent.append(statement);
    try {
      query.ExecSQL();
      result.wrote = true;
      if (key_token >= 0) probe.Add(tokens.at(key_token));
    } catch (const std::exception& error) {
      ++result.failed;
      prompter.StatementFailed(statement, error);
    }
    batches.Counted();
  }
  batches.Finish();
  Reopen(page);
  return result;
}

ImportResult PasteFromClipboard(const Page& page, Clipboard& clipboard, Prompter& prompter) {
  return ImportText(page, clipboard.Text(), prompter);
}

}  // namespace tableops
