#include "sql/script.h"

#include "jet/error.h"
#include "sql/lexer.h"

namespace jet::sql {

std::vector<std::string_view> SplitStatements(std::string_view script) {
  std::vector<std::string_view> out;
  size_t start = 0;
  bool blank = true;
  for (const Token& t : Tokenize(script)) {
    if (t.kind == TokenKind::kEnd || IsSymbol(t, ";")) {
      if (!blank) out.push_back(script.substr(start, t.offset - start));
      start = t.offset + t.source.size();
      blank = true;
    } else {
      blank = false;
    }
  }
  return out;
}

std::optional<TransactionVerb> ParseTransactionStatement(std::string_view sql) {
  const std::vector<Token> tokens = Tokenize(sql);
  std::optional<TransactionVerb> verb;
  if (IsKeyword(tokens[0], "BEGIN")) verb = TransactionVerb::kBegin;
  if (IsKeyword(tokens[0], "COMMIT")) verb = TransactionVerb::kCommit;
  if (IsKeyword(tokens[0], "ROLLBACK")) verb = TransactionVerb::kRollback;
  if (!verb) return std::nullopt;
  size_t i = 1;
  if (IsKeyword(tokens[i], "TRANSACTION") || IsKeyword(tokens[i], "WORK")) ++i;
  if (IsSymbol(tokens[i], ";")) ++i;
  if (tokens[i].kind != TokenKind::kEnd) {
    throw Error(Error::Kind::kInvalidArgument, "Unexpected '" + std::string(tokens[i].source) +
                                                   "' after " + std::string(tokens[0].source) +
                                                   " (at offset " +
                                                   std::to_string(tokens[i].offset) + ")");
  }
  return verb;
}

}  // namespace jet::sql
