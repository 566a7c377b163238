#pragma once

// `mdbtool check FILE`: the engine's consistency checker.

#include <ostream>
#include <string>

namespace cli {

// Prints what the checker found in `path`: one line per problem, then indexes whose keys are
// approximate, then a summary. Throws jet::Error(kCorrupt) after printing when there was a
// problem, so the command exits non-zero.
void RunCheck(const std::string& path, std::ostream& out);

}  // namespace cli
