#pragma once

// Key repair of a table that carries no index: for Magic (MagName), StdItems (Idx) and Monster
// (Name) the key column's values are made unique by appending decimal digits to every value
// that repeats an earlier one, then the column becomes the primary key and gets an index.
//
// Repetition is the program's text comparison (ASCII letters without case); whether a new text
// is free is decided without regard to case (Unicode simple case folding, same length). A null
// key counts as repeated, the first one included, so that the primary key can always be made.
// The plan is computed with hash tables and gives exactly the list a pairwise comparison of all
// records gives: same entries, same order, same new texts.

#include <QString>
#include <vector>

namespace database {

class DataSource;
class Query;

// The key column of a table by its name ("" for any other table).
QString KeyColumnOf(const QString& table_name);

// One record's key as the repair sees it: its display text and whether it is null.
struct KeyValue {
  QString text;
  bool null = false;
};

// One repetition: the record at `position` receives `text` (after PlanKeyRepair, the new one).
struct KeyRepairEntry {
  QString text;
  int position = 0;
  bool operator==(const KeyRepairEntry&) const = default;
};

// The repetitions of `values`, in the order of detection, each with its new text.
std::vector<KeyRepairEntry> PlanKeyRepair(const std::vector<KeyValue>& values);

// Whether `a` is present as `b` for the free-text test: same length, equal under case folding.
bool SameFolded(const QString& a, const QString& b);

// Repairs the table `table_name` through `query` (the data set of `source`): reads its records,
// writes the new keys record by record, then runs ALTER TABLE ... ADD PRIMARY KEY CLUSTERED and
// Create Index. A table of another name, or without its key column, is left as it is (the query
// is then open on it). Returns true when the key statements ran. Errors are thrown; what was
// written stays.
bool RepairTableKey(DataSource* source, Query* query, const QString& table_name);

}  // namespace database
