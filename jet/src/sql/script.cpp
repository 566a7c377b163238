#include "sql/script.h"

#include "jet/error.h"
#include "sql/lexer.h"

namespace jet::sql {

std::vector<std::string_view> SplitStatements(std::string_view script) {
  // The statements may be of the engine's dialect or of full Access SQL, so they are not
  // tokenized here: only quoted text and bracketed names can hide a ';'. A doubled quote inside
  // text closes and reopens the run, which leaves the split the same.
  std::vector<std::string_view> out;
  size_t start = 0;
  char close = 0;  // the character that ends the quoted or bracketed run being read; 0 = none
  bool declared = false;  // the piece's PARAMETERS declaration has had its ';'
  auto flush = [&](size_t end) {
    const std::string_view piece = script.substr(start, end - start);
    if (piece.find_first_not_of(" \t\r\n") != std::string_view::npos) out.push_back(piece);
  };
  // Access ends a PARAMETERS declaration with ';' inside its statement: "PARAMETERS n Long;
  // SELECT ...". That first ';' does not end the piece.
  auto opens_with_parameters = [&](size_t end) {
    std::string_view piece = script.substr(start, end - start);
    const size_t first = piece.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return false;
    piece.remove_prefix(first);
    constexpr std::string_view kWord = "parameters";
    if (piece.size() <= kWord.size()) return false;
    for (size_t k = 0; k < kWord.size(); ++k) {
      if ((piece[k] | 0x20) != kWord[k]) return false;
    }
    const char after = piece[kWord.size()];
    return after == ' ' || after == '\t' || after == '\r' || after == '\n' || after == '[';
  };
  for (size_t i = 0; i < script.size(); ++i) {
    const char c = script[i];
    if (close != 0) {
      if (c == close) close = 0;
    } else if (c == '\'' || c == '"') {
      close = c;
    } else if (c == '[') {
      close = ']';
    } else if (c == ';') {
      if (!declared && opens_with_parameters(i)) {
        declared = true;
        continue;
      }
      flush(i);
      start = i + 1;
      declared = false;
    }
  }
  if (close != 0) {
    throw Error(Error::Kind::kInvalidArgument,
                close == ']' ? "A bracketed name is not closed" : "A quoted text is not closed");
  }
  flush(script.size());
  return out;
}

std::optional<TransactionVerb> ParseTransactionStatement(std::string_view sql) {
  std::vector<Token> tokens;
  try {
    tokens = Tokenize(sql);
  } catch (const Error&) {
    return std::nullopt;  // not the engine's dialect, so no transaction statement either
  }
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
