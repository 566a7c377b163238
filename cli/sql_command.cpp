// `mdbtool sql`: one statement through the engine's SQL dialect.

#include <cctype>

#include "commands.h"
#include "dump_format.h"

namespace cli {

bool IsSelect(std::string_view sql) {
  size_t i = 0;
  while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
  constexpr std::string_view kSelect = "select";
  if (sql.size() - i < kSelect.size()) return false;
  for (size_t k = 0; k < kSelect.size(); ++k) {
    if (std::tolower(static_cast<unsigned char>(sql[i + k])) != kSelect[k]) return false;
  }
  return sql.size() == i + kSelect.size() ||
         !std::isalnum(static_cast<unsigned char>(sql[i + kSelect.size()]));
}

void RunSql(jet::Database& db, std::string_view sql, std::ostream& out) {
  const jet::ExecResult result = db.Execute(sql);
  if (!result.rows) {
    out << result.affected << (result.affected == 1 ? " row" : " rows") << " affected\n";
    return;
  }
  std::string line = "[";
  for (size_t i = 0; i < result.rows->columns.size(); ++i) {
    if (i > 0) line += ',';
    AppendJsonString(result.rows->columns[i].name, line);
  }
  out << line << "]\n";
  for (const std::vector<jet::Value>& row : result.rows->rows) {
    line = "[";
    for (size_t i = 0; i < row.size(); ++i) {
      if (i > 0) line += ',';
      AppendJsonValue(row[i], line);
    }
    out << line << "]\n";
  }
}

}  // namespace cli
