#include "readback.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "dump_format.h"
#include "jet/value.h"
#include "support/fixtures.h"
#include "support/write_test_util.h"

namespace readback {
namespace {

// The JSON string starting at `pos` (at its opening quote), unescaped only as far as the
// fixture table names need.
std::string JsonStringAt(const std::string& line, size_t pos) {
  std::string out;
  for (size_t i = pos + 1; i < line.size(); ++i) {
    if (line[i] == '\\') {
      out += line[++i];
    } else if (line[i] == '"') {
      break;
    } else {
      out += line[i];
    }
  }
  return out;
}

void SortAll(TableRows& rows) {
  for (auto& [table, list] : rows) std::sort(list.begin(), list.end());
}

std::string JoinRow(const std::vector<std::string>& values) {
  std::string row = "[";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) row += ',';
    row += values[i];
  }
  return row + "]";
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

TableRows ExpectedRows(const std::string& name) {
  const std::string plain = fixtures::Path("expected/" + name + ".jsonl");
  std::string text;
  if (std::filesystem::exists(plain)) {
    std::ifstream in(plain, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), {});
  } else {
    text = testutil::RunCommand("gzip -dc '" + plain + ".gz'");
  }
  TableRows rows;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const size_t row = line.find(",\"row\":[");
    if (line.rfind("{\"table\":", 0) != 0 || row == std::string::npos) continue;
    rows[JsonStringAt(line, 9)].push_back(line.substr(row + 7, line.size() - row - 8));
  }
  SortAll(rows);
  return rows;
}

std::string JsonFromText(jet::ColumnType type, const std::string& text) {
  using jet::ColumnType;
  std::string out;
  switch (type) {
    case ColumnType::kBoolean:
      return text == "1" || text == "t" ? "true" : "false";
    case ColumnType::kByte:
    case ColumnType::kInt:
    case ColumnType::kLong:
      return text;
    case ColumnType::kFloat:
      cli::AppendJsonValue(jet::Value(std::strtof(text.c_str(), nullptr)), out);
      return out;
    case ColumnType::kDouble:
      cli::AppendJsonValue(jet::Value(std::strtod(text.c_str(), nullptr)), out);
      return out;
    case ColumnType::kMoney:
    case ColumnType::kNumeric:
      return Quoted(text);
    case ColumnType::kDateTime: {
      std::string d = text;
      if (d.size() > 10 && d[10] == ' ') d[10] = 'T';
      const size_t dot = d.find('.');
      if (dot != std::string::npos && d.size() - dot < 4) d.append(4 - (d.size() - dot), '0');
      return Quoted(d);
    }
    case ColumnType::kGuid: {
      if (!text.empty() && text[0] == '{') return Quoted(text);
      std::string g = "{" + text + "}";
      for (char& c : g) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      return Quoted(g);
    }
    case ColumnType::kText:
    case ColumnType::kMemo:
      cli::AppendJsonString(jet::FromUtf8(text), out);
      return out;
    default:  // binary and OLE as hex; bytea output starts with \x
      return Quoted(text.rfind("\\x", 0) == 0 ? text.substr(2) : text);
  }
}

TableRows SqliteRows(const std::string& path,
                     const std::map<std::string, std::vector<jet::ColumnType>>& columns) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + path);
  }
  TableRows rows;
  for (const auto& [table, types] : columns) {
    std::string quoted = "\"";
    for (char c : table) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    const std::string sql = "SELECT * FROM " + quoted + "\"";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      sqlite3_close(db);
      throw std::runtime_error("no table " + table + " in " + path);
    }
    auto& list = rows[table];
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::vector<std::string> values;
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        const jet::ColumnType type = types.at(static_cast<size_t>(i));
        std::string v;
        switch (sqlite3_column_type(st, i)) {
          case SQLITE_NULL:
            v = "null";
            break;
          case SQLITE_INTEGER:
            v = JsonFromText(type, std::to_string(sqlite3_column_int64(st, i)));
            break;
          case SQLITE_FLOAT: {
            const double d = sqlite3_column_double(st, i);
            if (type == jet::ColumnType::kFloat) {
              cli::AppendJsonValue(jet::Value(static_cast<float>(d)), v);
            } else {
              cli::AppendJsonValue(jet::Value(d), v);
            }
            break;
          }
          case SQLITE_TEXT:
            v = JsonFromText(type,
                             std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                                         static_cast<size_t>(sqlite3_column_bytes(st, i))));
            break;
          default: {
            const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(st, i));
            jet::Bytes b(p, p + sqlite3_column_bytes(st, i));
            cli::AppendJsonValue(jet::Value(b), v);
          }
        }
        values.push_back(v);
      }
      list.push_back(JoinRow(values));
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  SortAll(rows);
  return rows;
}

CsvRecords ParseCsv(const std::string& text) {
  CsvRecords records;
  std::vector<CsvField> record;
  size_t i = 0;
  while (i < text.size()) {
    CsvField field;
    if (text[i] == '"') {
      field.quoted = true;
      for (++i;; ++i) {
        if (i >= text.size()) throw std::runtime_error("unterminated quoted field");
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field.text += '"';
            ++i;
          } else {
            ++i;
            break;
          }
        } else {
          field.text += text[i];
        }
      }
    } else {
      while (i < text.size() && text[i] != ',' && text[i] != '\r') {
        if (text[i] == '"' || text[i] == '\n') throw std::runtime_error("bare quote or LF");
        field.text += text[i++];
      }
    }
    record.push_back(std::move(field));
    if (i < text.size() && text[i] == ',') {
      ++i;
    } else if (text.compare(i, 2, "\r\n") == 0) {
      i += 2;
      records.push_back(std::move(record));
      record.clear();
    } else {
      throw std::runtime_error("a record must end in CR LF");
    }
  }
  if (!record.empty()) throw std::runtime_error("the last record has no CR LF");
  return records;
}

std::vector<std::string> CsvRows(const CsvRecords& records,
                                 const std::vector<jet::ColumnType>& types) {
  std::vector<std::string> rows;
  for (size_t r = 1; r < records.size(); ++r) {
    if (records[r].size() != types.size()) throw std::runtime_error("wrong field count");
    std::vector<std::string> values;
    for (size_t i = 0; i < types.size(); ++i) {
      const CsvField& f = records[r][i];
      values.push_back(!f.quoted && f.text.empty() ? "null" : JsonFromText(types[i], f.text));
    }
    rows.push_back(JoinRow(values));
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::vector<std::string> CopyRows(const std::string& copy_text,
                                  const std::vector<jet::ColumnType>& types) {
  std::vector<std::string> rows;
  size_t start = 0;
  while (start < copy_text.size()) {
    size_t end = copy_text.find('\n', start);
    if (end == std::string::npos) end = copy_text.size();
    std::vector<std::string> values;
    std::string field;
    bool null = false;
    auto finish = [&] {
      if (values.size() >= types.size()) throw std::runtime_error("too many COPY fields");
      values.push_back(null ? "null" : JsonFromText(types[values.size()], field));
      field.clear();
      null = false;
    };
    for (size_t i = start; i < end; ++i) {
      const char c = copy_text[i];
      if (c == '\t') {
        finish();
      } else if (c == '\\' && i + 1 < end) {
        const char e = copy_text[++i];
        switch (e) {
          case 'N':
            null = true;
            break;
          case 'n':
            field += '\n';
            break;
          case 'r':
            field += '\r';
            break;
          case 't':
            field += '\t';
            break;
          case 'b':
            field += '\b';
            break;
          case 'f':
            field += '\f';
            break;
          case 'v':
            field += '\v';
            break;
          default:
            field += e;
        }
      } else {
        field += c;
      }
    }
    finish();
    rows.push_back(JoinRow(values));
    start = end + 1;
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

PostgresServer::PostgresServer() {
  for (const char* v : {"17", "16", "15"}) {
    const std::string b = std::string("/usr/lib/postgresql/") + v + "/bin";
    if (std::filesystem::exists(b + "/initdb")) {
      bin_ = b;
      break;
    }
  }
  if (bin_.empty()) {
    error_ = "PostgreSQL is not installed (Debian package postgresql)";
    return;
  }
  // initdb refuses to run as root: root runs the server as "postgres", anyone else as itself.
  as_pg_ = ::geteuid() == 0 ? "runuser -u postgres -- " : "";
  if (!as_pg_.empty() &&
      std::system("command -v runuser >/dev/null && id postgres >/dev/null 2>&1") != 0) {
    error_ = "no runuser or no user 'postgres' to run the server as";
    return;
  }
  char pattern[] = "/tmp/mdbpg-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    error_ = "mkdtemp failed";
    return;
  }
  dir_ = pattern;
  int status = 0;
  const std::string& as_pg = as_pg_;
  if (!as_pg.empty()) testutil::RunCommand("chown postgres '" + dir_ + "' 2>&1", &status);
  const std::string out = testutil::RunCommand(
      as_pg + bin_ + "/initdb -D '" + dir_ +
          "/data' -E UTF8 --locale=C.UTF-8 -A trust -U postgres" + " 2>&1 && " + as_pg + bin_ +
          "/pg_ctl -D '" + dir_ + "/data' -w -l '" + dir_ +
          "/log' -o \"-c listen_addresses='' -c unix_socket_directories='" + dir_ +
          "' -c fsync=off -c full_page_writes=off\" start 2>&1",
      &status);
  if (status != 0) {
    error_ = "the server did not start: " + out;
    return;
  }
  running_ = true;
}

PostgresServer::~PostgresServer() {
  // Also after a failed start: pg_ctl may have given up waiting on a server that came up.
  if (!dir_.empty() && !bin_.empty()) {
    testutil::RunCommand(as_pg_ + bin_ + "/pg_ctl -D '" + dir_ +
                         "/data' -m immediate -w stop >/dev/null 2>&1");
  }
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
}

std::string PostgresServer::Psql(const std::string& database) const {
  return bin_ + "/psql -X -q -h '" + dir_ + "' -U postgres -d '" + database + "'";
}

void PostgresServer::CreateDatabase(const std::string& name) const {
  Query("postgres", "CREATE DATABASE \"" + name + "\"");
}

std::string PostgresServer::Query(const std::string& database, const std::string& sql) const {
  const std::string file = dir_ + "/query.sql";
  std::ofstream(file, std::ios::binary | std::ios::trunc) << sql << ";\n";
  int status = 0;
  const std::string out = testutil::RunCommand(
      Psql(database) + " -v ON_ERROR_STOP=1 -At -f '" + file + "' 2>&1", &status);
  if (status != 0) throw std::runtime_error("psql failed: " + sql + "\n" + out);
  return out;
}

}  // namespace readback
