#include "tableops/renumber.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "database/connection.h"
#include "database/field.h"
#include "database/query.h"
#include "jet/database.h"
#include "tableops/text_rules.h"

namespace tableops {
namespace {

const QString kIdx = QStringLiteral("Idx");

// Whether the query's table has a unique index on Idx alone.
bool IdxIsUnique(const database::Query& query) {
  const database::Connection* connection = query.GetConnection();
  const QString table_name = query.TableName();
  if (connection == nullptr || !connection->Connected() || table_name.isEmpty()) return false;
  try {
    const jet::TableDef table = connection->Engine().GetTable(table_name.toStdU16String());
    for (const jet::Index& index : table.indexes) {
      if (!(index.unique || index.primary) || index.columns.size() != 1) continue;
      for (const jet::Column& column : table.columns) {
        if (column.number == index.columns.front().column_number &&
            QString::fromStdU16String(column.name).compare(kIdx, Qt::CaseInsensitive) == 0) {
          return true;
        }
      }
    }
  } catch (const jet::Error&) {
  }
  return false;
}

// Moves every record whose Idx lies in [0, its position) to a number above all in use: the
// records before it would otherwise take that number while it still holds it.
void MoveBlockers(database::Query& query, int field) {
  const int count = query.RecordCount();
  int64_t top = count - 1;
  std::vector<int> blockers;
  for (int record = 0; record < count; ++record) {
    const QVariant value = query.ValueAt(record, field);
    if (!value.isValid()) continue;
    const int64_t number = value.toLongLong();
    top = std::max(top, number);
    if (number >= 0 && number < record) blockers.push_back(record);
  }
  // Numbers beyond the column's range would fail where the plain run would not: keep to it.
  if (top + static_cast<int64_t>(blockers.size()) > INT32_MAX) return;
  database::Field* idx = query.Fields(field);
  for (const int record : blockers) {
    query.MoveTo(record);
    query.Edit();
    idx->SetAsInteger(++top);
    query.Post();
  }
}

}  // namespace

bool IsStdItemsCaption(const QString& caption) {
  return SameText(caption, QStringLiteral("StdItems"));
}

int RenumberStdItems(const Page& page) {
  if (!IsStdItemsCaption(page.caption)) return 0;
  database::Query& query = *page.query;
  query.Open();
  query.First();
  if (!query.Eof() && IdxIsUnique(query)) {
    if (const database::Field* idx = query.FindField(kIdx); idx != nullptr && !idx->ReadOnly()) {
      MoveBlockers(query, idx->Index());
      query.First();
    }
  }
  int32_t n = 0;
  while (!query.Eof()) {
    query.Edit();
    query.FieldByName(kIdx)->SetAsInteger(n);
    query.Next();
    ++n;
  }
  return n;
}

}  // namespace tableops
