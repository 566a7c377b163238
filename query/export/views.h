#pragma once

// Saved select queries as views of an exported SQLite database. Each select or union query is
// translated for SQLite's own functions and the export's value forms (TranslateOptions::portable)
// and created over the exported tables in a scratch in-memory database, round after round, so
// that a query built on other queries follows them and a cycle is found. The statements that
// worked, in that order, become the export's views; every other query is named with its reason.

#include <string>
#include <vector>

#include "jet/database.h"
#include "query/export/export_schema.h"

namespace query {

struct ViewPlan {
  std::vector<std::string> statements;  // CREATE VIEW, each after the views it reads
  std::vector<std::string> notes;       // one line per query that does not become a view
};

// `s` holds the exported tables (names as in the export).
ViewPlan PlanSqliteViews(const jet::Database& db, const ExportSchema& s);

}  // namespace query
