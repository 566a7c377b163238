#pragma once

// The StdItems operations of the context menu: whether a page shows the renumbering item, and
// the renumbering of Idx to 0, 1, 2, ... in the order the page's query delivers its records.

#include <QString>

#include "tableops/ports.h"

namespace tableops {

// True when `caption` names StdItems (ASCII letters compared without case).
bool IsStdItemsCaption(const QString& caption);

// Renumbers Idx of every record of the page's query, each record written as the cursor leaves
// it. When Idx carries a unique index, records whose old number a record before them is about
// to take are first moved above every number in use, so that uniqueness cannot stop the run
// half-way. Nothing happens on a page that is not StdItems. Returns the number of records
// renumbered. Errors are thrown; what was written stays.
int RenumberStdItems(const Page& page);

}  // namespace tableops
