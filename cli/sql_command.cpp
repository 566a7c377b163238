// `mdbtool sql`: one statement through the engine's SQL dialect.

#include <cctype>

#include "commands.h"
#include "dump_format.h"
#include "query/engine.h"

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

namespace {

// One CSV field (RFC 4180): quoted when it holds a comma, a quote or a line break.
void AppendCsvField(const std::string& text, std::string& line) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    line += text;
    return;
  }
  line += '"';
  for (char c : text) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

std::string CsvText(const jet::Value& v) {
  if (v.is_null()) return {};
  if (v.is<std::u16string>()) return jet::ToUtf8(v.as<std::u16string>());
  std::string json;
  AppendJsonValue(v, json);
  if (json.size() >= 2 && json.front() == '"') {
    // Dates, money, GUIDs and bytes print as JSON strings; CSV takes their text.
    std::string text;
    for (size_t i = 1; i + 1 < json.size(); ++i) {
      if (json[i] == '\\' && i + 2 < json.size()) ++i;
      text += json[i];
    }
    return text;
  }
  return json;
}

void PrintCsv(const jet::ResultSet& rs, std::ostream& out) {
  std::string line;
  for (size_t i = 0; i < rs.columns.size(); ++i) {
    if (i > 0) line += ',';
    AppendCsvField(jet::ToUtf8(rs.columns[i].name), line);
  }
  out << line << "\r\n";
  for (const std::vector<jet::Value>& row : rs.rows) {
    line.clear();
    for (size_t i = 0; i < row.size(); ++i) {
      if (i > 0) line += ',';
      AppendCsvField(CsvText(row[i]), line);
    }
    out << line << "\r\n";
  }
}

// The engine's own statements (the window's INSERT lines, CREATE INDEX, simple SELECTs) run
// as they always have; what its dialect does not take runs on the Access SQL engine.
jet::ExecResult Execute(jet::Database& db, std::string_view sql, const SqlOptions& options) {
  if (options.params.empty()) {
    try {
      return db.Execute(sql);
    } catch (const jet::Error& e) {
      if (e.kind() != jet::Error::Kind::kInvalidArgument &&
          e.kind() != jet::Error::Kind::kNotSupported && e.kind() != jet::Error::Kind::kNotFound) {
        throw;
      }
    }
  }
  query::Engine engine(db);
  return engine.Execute(sql, options.params);
}

}  // namespace

void RunSql(jet::Database& db, std::string_view sql, std::ostream& out) {
  RunSql(db, sql, SqlOptions{}, out);
}

void RunSql(jet::Database& db, std::string_view sql, const SqlOptions& options, std::ostream& out) {
  const jet::ExecResult result = Execute(db, sql, options);
  if (!result.rows) {
    out << result.affected << (result.affected == 1 ? " row" : " rows") << " affected\n";
    return;
  }
  if (options.csv) {
    PrintCsv(*result.rows, out);
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
