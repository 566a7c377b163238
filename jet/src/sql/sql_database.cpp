// Database::Execute and Database::Query: the SQL entry points of the public façade.
#include <variant>

#include "jet/database.h"
#include "sql/executor.h"
#include "sql/parser.h"
#include "sql/script.h"

namespace jet {

std::vector<std::string_view> SplitStatements(std::string_view script) {
  return sql::SplitStatements(script);
}

ExecResult Database::Execute(std::string_view sql) {
  if (std::optional<sql::TransactionVerb> verb = sql::ParseTransactionStatement(sql)) {
    switch (*verb) {
      case sql::TransactionVerb::kBegin:
        Begin();
        break;
      case sql::TransactionVerb::kCommit:
        Commit();
        break;
      case sql::TransactionVerb::kRollback:
        Rollback();
        break;
    }
    return ExecResult{};
  }
  return sql::Execute(*this, sql::Parse(sql));
}

ResultSet Database::Query(std::string_view sql) const {
  const sql::Statement statement = sql::Parse(sql);
  const auto* select = std::get_if<sql::SelectStatement>(&statement);
  if (select == nullptr) {
    throw Error(Error::Kind::kInvalidArgument,
                "Query runs SELECT statements only; use Execute for '" +
                    std::string(sql.substr(0, 40)) + "'.");
  }
  return sql::RunSelect(*this, *select);
}

}  // namespace jet
