#pragma once

// The index list of one table, read the way the automation object of Access reads it: a second,
// read-only open of the file, the table definition's Indexes collection, each index's Name and
// Primary flag, then Close. Used to find tables that carry no index at all.

#include <vector>

#include <QString>

namespace database {

struct IndexListEntry {
  QString name;
  int primary = 0;  // 1 for the primary index, 0 for any other
};
using IndexList = std::vector<IndexListEntry>;

// Appends one entry per index of `table_name` in the file at `path`, in definition order.
// Throws jet::Error (no such file or table, corrupt file); entries appended before a failure stay.
void ReadTableIndexes(const QString& path, const QString& table_name, IndexList& list);

}  // namespace database
