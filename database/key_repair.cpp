#include "database/key_repair.h"

#include <QHash>
#include <QSet>

#include "database/data_source.h"
#include "database/field.h"
#include "database/query.h"
#include "database/quote_name.h"

namespace database {
namespace {

QString AsciiFolded(const QString& text) {
  QString folded = text;
  for (QChar& c : folded) {
    if (c.unicode() >= u'A' && c.unicode() <= u'Z') c = QChar(c.unicode() + 32);
  }
  return folded;
}

QString CaseFolded(const QString& text) {
  QString folded = text;
  for (QChar& c : folded) c = c.toCaseFolded();
  return folded;
}

bool SameAscii(const QString& a, const QString& b) { return AsciiFolded(a) == AsciiFolded(b); }

void RunStatement(Query* query, const QString& statement) {
  query->Close();
  query->SQL().Clear();
  query->SQL().Add(statement);
}

// The texts present for the free-text test, with the next suffix worth trying per base text.
class PresentTexts {
 public:
  void Add(const QString& text) { present_.insert(CaseFolded(text)); }
  // The first of base+"0", base+"1", ... that is not present; it becomes present.
  QString Claim(const QString& base) {
    const QString folded_base = CaseFolded(base);
    qint64& next = next_suffix_[folded_base];
    while (present_.contains(folded_base + QString::number(next))) ++next;
    const QString text = base + QString::number(next);
    Add(text);
    ++next;
    return text;
  }

 private:
  QSet<QString> present_;
  // Every suffix below the stored one is known to be taken; taken texts never become free.
  QHash<QString, qint64> next_suffix_;
};

}  // namespace

QString KeyColumnOf(const QString& table_name) {
  if (SameAscii(table_name, QStringLiteral("Magic")) && table_name.size() == 5) {
    return QStringLiteral("MagName");
  }
  if (table_name.size() == 8 && SameAscii(table_name, QStringLiteral("StdItems"))) {
    return QStringLiteral("Idx");
  }
  if (table_name.size() == 7 && SameAscii(table_name, QStringLiteral("Monster"))) {
    return QStringLiteral("Name");
  }
  return QString();
}

bool SameFolded(const QString& a, const QString& b) {
  return a.size() == b.size() && CaseFolded(a) == CaseFolded(b);
}

std::vector<KeyRepairEntry> PlanKeyRepair(const std::vector<KeyValue>& values) {
  const int count = static_cast<int>(values.size());
  // Positions of each value, by the repetition comparison, in record order.
  QHash<QString, std::vector<int>> groups;
  std::vector<const std::vector<int>*> group_of(values.size());
  std::vector<int> rank(values.size());  // place of the record within its group
  for (int i = 0; i < count; ++i) {
    std::vector<int>& group = groups[AsciiFolded(values[static_cast<size_t>(i)].text)];
    rank[static_cast<size_t>(i)] = static_cast<int>(group.size());
    group.push_back(i);
  }
  for (int i = 0; i < count; ++i) {
    group_of[static_cast<size_t>(i)] =
        &groups.find(AsciiFolded(values[static_cast<size_t>(i)].text)).value();
  }
  // Detection: for every record, each later record of its group; a null key that no earlier
  // record repeats is listed itself, at its own turn.
  std::vector<KeyRepairEntry> entries;
  std::vector<bool> marked(values.size(), false);
  for (int i = 0; i < count; ++i) {
    const KeyValue& value = values[static_cast<size_t>(i)];
    if (value.null && !marked[static_cast<size_t>(i)]) {
      entries.push_back({value.text, i});
      marked[static_cast<size_t>(i)] = true;
    }
    const std::vector<int>& group = *group_of[static_cast<size_t>(i)];
    for (size_t k = static_cast<size_t>(rank[static_cast<size_t>(i)]) + 1; k < group.size(); ++k) {
      const int j = group[k];
      entries.push_back({values[static_cast<size_t>(j)].text, j});
      marked[static_cast<size_t>(j)] = true;
    }
  }
  if (entries.empty()) return entries;
  PresentTexts present;
  for (int i = 0; i < count; ++i) {
    if (!marked[static_cast<size_t>(i)]) present.Add(values[static_cast<size_t>(i)].text);
  }
  for (KeyRepairEntry& entry : entries) entry.text = present.Claim(entry.text);
  return entries;
}

bool RepairTableKey(DataSource* source, Query* query, const QString& table_name) {
  RunStatement(query, QStringLiteral("SELECT * FROM ") + QuoteName(table_name));
  query->Open();
  const QString key = KeyColumnOf(table_name);
  if (key.isEmpty()) return false;
  const Field* key_field = query->FindField(key);
  if (key_field == nullptr) return false;

  query->FindFirst();
  const int count = query->RecordCount();
  std::vector<KeyValue> values;
  values.reserve(static_cast<size_t>(count));
  for (int record = 0; record < count; ++record) {
    values.push_back({query->DisplayTextAt(record, key_field->Index()),
                      query->IsNullAt(record, key_field->Index())});
  }
  if (count > 0) query->MoveBy(count);  // where stepping through every record leaves the cursor

  const std::vector<KeyRepairEntry> entries = PlanKeyRepair(values);
  Query* data_set = source != nullptr && source->DataSet() != nullptr ? source->DataSet() : query;
  if (!entries.empty()) data_set->First();
  for (const KeyRepairEntry& entry : entries) {
    data_set->First();
    data_set->MoveBy(entry.position);
    data_set->Edit();
    data_set->FieldByName(key)->SetAsString(entry.text);
    data_set->Post();
  }
  const QString table = QuoteName(table_name);
  RunStatement(query,
               QStringLiteral("ALTER TABLE %1 ADD PRIMARY KEY CLUSTERED(%2)").arg(table, key));
  query->ExecSQL();
  RunStatement(query, QStringLiteral("Create Index i%1 ON %2 ([%1])").arg(key, table));
  query->ExecSQL();
  return true;
}

}  // namespace database
