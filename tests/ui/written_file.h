#pragma once

// For the window tests that check what the window wrote (they link mdb_test_support).

#include <QString>
#include <string>

#include "jet/check.h"
#include "support/write_test_util.h"

namespace ui_test {

// What is wrong with the file at `path`: the checker's first problem, or mdbtools reading it
// otherwise than the engine does. Empty when nothing is.
inline std::string WrittenFileProblem(const QString& path) {
  const jet::CheckReport report = jet::CheckFile(path.toStdString());
  if (!report.ok()) return report.problems.empty() ? "check failed" : report.problems.front();
  if (!testutil::MdbtoolsComparisonAvailable()) return {};
  testutil::TempDir scratch;
  const std::string verdict = testutil::CompareWithMdbtools(scratch, path.toStdString());
  return verdict == "AGREE" ? std::string() : verdict;
}

}  // namespace ui_test
