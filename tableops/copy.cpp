#include "tableops/copy.h"

#include <vector>

#include "database/query.h"
#include "tableops/text_rules.h"

namespace tableops {
namespace {

const QString kLineEnd = QStringLiteral("\r\n");

// Row text of `record` (-1: the current one) over the fields in `order`.
QString RowTextAt(const database::Query& query, const std::vector<int>& order, int record) {
  QString text;
  for (const int field : order) {
    text += query.DisplayTextAt(record, field);
    text += u';';
  }
  if (!text.isEmpty() && text.endsWith(u';')) text.chop(1);
  return text;
}

// Settles a pending edit and goes to the first record; a closed query has nothing to visit.
// Returns the record count, read once.
int StartWalk(database::Query& query) {
  if (query.Active()) query.FindFirst();
  return query.RecordCount();
}

// Leaves the cursor where stepping `count` times from the first record leaves it: on the last
// record, with its end noted.
void EndWalk(database::Query& query, int count) {
  if (count > 0) query.MoveBy(count);
}

// The field shown in the grid's selected column; -1 when none.
int SelectedField(const Page& page) {
  const std::vector<int> order = page.grid->FieldOrder();
  const int selected = page.grid->SelectedIndex();
  if (selected < 0 || selected >= static_cast<int>(order.size())) return -1;
  return order[static_cast<size_t>(selected)];
}

}  // namespace

QString RowText(const Page& page) {
  return RowTextAt(*page.query, page.grid->FieldOrder(), page.query->CurrentIndex());
}

void CopyRow(const Page& page, Clipboard& clipboard) { clipboard.SetText(RowText(page)); }

void CopyColumn(const Page& page, Clipboard& clipboard) {
  database::Query& query = *page.query;
  const int count = StartWalk(query);
  const int field = SelectedField(page);
  QString text;
  if (count > 0) query.Fields(field);  // no selected column: the data layer's index error
  for (int record = 0; record < count; ++record) {
    text += query.DisplayTextAt(record, field);
    text += kLineEnd;
  }
  EndWalk(query, count);
  clipboard.SetText(Trim(text));
}

void CopyValue(const Page& page, Clipboard& clipboard) {
  const int field = SelectedField(page);
  if (field < 0) return;
  clipboard.SetText(page.query->DisplayTextAt(page.query->CurrentIndex(), field));
}

QString TableText(const Page& page) {
  database::Query& query = *page.query;
  const int count = StartWalk(query);
  const std::vector<int> order = page.grid->FieldOrder();
  QString text;
  for (int record = 0; record < count; ++record) {
    text += RowTextAt(query, order, record);
    text += kLineEnd;
  }
  EndWalk(query, count);
  return text;
}

void CopyTable(const Page& page, Clipboard& clipboard) { clipboard.SetText(TableText(page)); }

}  // namespace tableops
