#pragma once

// The table operations of the editor from a terminal: import, repair, renumber and copy. They
// open the file through the editor's data-access layer, so they behave exactly as the window's
// context menu and its opening of a file do.

#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace cli {

// Runs `args` when it is one of the table commands and returns its exit status; nothing for any
// other command. `in` is read by `import` when the text comes from standard input.
std::optional<int> RunTableCommand(const std::vector<std::string>& args, std::istream& in,
                                   std::ostream& out, std::ostream& err);

}  // namespace cli
