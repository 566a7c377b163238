#pragma once

// Rows read on a second thread while the caller writes them: decoding rows and writing them
// take about the same time, so an export overlaps the two.

#include <functional>
#include <vector>

#include "jet/database.h"

namespace query {

// Calls `fn` on the calling thread for every row of `def`, in table-scan order, while another
// thread reads the rows ahead (a bounded number of batches). `db` must not be used by anyone
// else meanwhile. An exception from `fn` or from the reader stops both and is rethrown here.
void ForEachRowReadAhead(const jet::Database& db, const jet::TableDef& def,
                         const std::function<void(std::vector<jet::Value>&)>& fn);

}  // namespace query
