#include "check_command.h"

#include "jet/check.h"
#include "jet/error.h"

namespace cli {

void RunCheck(const std::string& path, std::ostream& out) {
  const jet::CheckReport report = jet::CheckFile(path);
  for (const std::string& p : report.problems) out << "problem: " << p << '\n';
  for (const std::string& a : report.approximate_indexes) out << "approximate: " << a << '\n';
  for (const std::string& n : report.notes) out << "note: " << n << '\n';
  out << report.tables << " tables, " << report.indexes << " indexes, " << report.rows
      << " rows checked: ";
  if (report.ok()) {
    out << "no problems\n";
    return;
  }
  out << report.problems.size() << " problem(s)\n";
  out.flush();
  throw jet::Error(jet::Error::Kind::kCorrupt,
                   path + ": " + std::to_string(report.problems.size()) +
                       " problem(s) found; Access's Compact and Repair may fix them");
}

}  // namespace cli
