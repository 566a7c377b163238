#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace jet {

// What CheckFile found in one database.
struct CheckReport {
  std::vector<std::string> problems;  // broken invariants; empty = the file is consistent
  // Indexes whose keys this engine can only approximate (a sort order other than General, or
  // characters whose codes are not established): "Table.Index: reason".
  std::vector<std::string> approximate_indexes;
  // What differs from this engine's own rules but is how Access itself writes files (the row
  // counts of system tables, for one); never a reason to fail.
  std::vector<std::string> notes;
  int tables = 0;    // tables checked (system tables included)
  int indexes = 0;   // real indexes checked
  long rows = 0;     // live rows seen
  bool ok() const { return problems.empty(); }
};

// Verifies the invariants of the file at `path` (opened read-only): row counts against live
// rows, usage maps against page owners and the global map, data-page free space and slot
// tables, every index tree complete and in order with the keys recomputed from the rows, and
// long-value chains. Throws jet::Error only when the file cannot be opened at all; everything
// else becomes a problem in the report. An index whose keys this engine cannot build exactly is
// checked for completeness (one entry per row) but not key by key, and is listed in
// approximate_indexes.
CheckReport CheckFile(const std::string& path);

// Entries of one index held in memory at most while its keys are recomputed; beyond that they are
// sorted in runs kept in a temporary file. The second form sets it (tests use tiny runs).
inline constexpr size_t kCheckRunEntries = 200'000;
CheckReport CheckFile(const std::string& path, size_t run_entries);

}  // namespace jet
