// Scripts of several statements, and the transaction statements of the dialect.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace jet::sql {

// Cuts `script` at every ';' outside texts, brackets and dates, except the one that ends a
// statement's PARAMETERS declaration; blank pieces are left out.
// Throws kInvalidArgument as Tokenize does.
std::vector<std::string_view> SplitStatements(std::string_view script);

enum class TransactionVerb { kBegin, kCommit, kRollback };

// BEGIN, COMMIT or ROLLBACK (each optionally followed by TRANSACTION or WORK, and ';'); nullopt
// for any other statement.
std::optional<TransactionVerb> ParseTransactionStatement(std::string_view sql);

}  // namespace jet::sql
