#pragma once

// Copying a page's data to the clipboard as plain text: values are display texts joined by ';',
// lines end in CR LF, nothing is quoted or escaped.

#include <QString>

#include "tableops/ports.h"

namespace tableops {

// The display texts of the current record, in the grid's column order, joined by ';'.
QString RowText(const Page& page);
// The current row; the cursor does not move and a pending edit is left as it is.
void CopyRow(const Page& page, Clipboard& clipboard);
// The selected column of every record, one per line, the whole text trimmed. Settles a pending
// edit first (an error then leaves the clipboard alone) and leaves the last record current.
void CopyColumn(const Page& page, Clipboard& clipboard);
// The selected value of the current record, untrimmed; nothing when no column is selected.
void CopyValue(const Page& page, Clipboard& clipboard);
// Every record as a row text followed by CR LF. Settles first and ends on the last record.
void CopyTable(const Page& page, Clipboard& clipboard);
// The text CopyTable places, without the clipboard (mdbtool copy).
QString TableText(const Page& page);

}  // namespace tableops
