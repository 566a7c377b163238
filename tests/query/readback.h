#pragma once

// Reading exports back and turning what they hold into the canonical dump's JSON values, so that
// every value can be compared with the expected dumps of the shared fixtures.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "jet/schema.h"

namespace readback {

// Rows per table: each row as the dump's "[v1,v2,...]" text, sorted (exports keep no row order).
using TableRows = std::map<std::string, std::vector<std::string>>;

// The row lines of expected/NAME.jsonl (or NAME.jsonl.gz) of the shared fixtures.
TableRows ExpectedRows(const std::string& name);

// The dump's JSON of a non-null value that an export wrote as `text` (any of the three targets'
// spellings: 1/t, NaN, bytea \x.., uuid without braces, ".5" seconds).
std::string JsonFromText(jet::ColumnType type, const std::string& text);

// Every table of an SQLite file, with the column types of `columns` per table.
TableRows SqliteRows(const std::string& path,
                     const std::map<std::string, std::vector<jet::ColumnType>>& columns);

// One parsed CSV file: the records, each field with whether it was quoted.
struct CsvField {
  std::string text;
  bool quoted = false;
};
using CsvRecords = std::vector<std::vector<CsvField>>;
// Parses RFC 4180 text with CR LF record ends; throws std::runtime_error on anything else.
CsvRecords ParseCsv(const std::string& text);
// The rows of one CSV file (header skipped) as dump rows.
std::vector<std::string> CsvRows(const CsvRecords& records,
                                 const std::vector<jet::ColumnType>& types);

// Splits COPY text output into rows of fields (nullptr-like: `null` set) and turns them into dump
// rows.
std::vector<std::string> CopyRows(const std::string& copy_text,
                                  const std::vector<jet::ColumnType>& types);

// A PostgreSQL server of its own in a temporary directory, reachable only through a unix socket
// there; as root it runs as the user "postgres" (initdb refuses root). Stopped and removed on
// destruction.
class PostgresServer {
 public:
  // Starts the server; on failure `error()` says why and nothing runs.
  PostgresServer();
  ~PostgresServer();
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  bool running() const { return running_; }
  const std::string& error() const { return error_; }
  // A psql command line for `database` (extra arguments follow).
  std::string Psql(const std::string& database) const;
  // Creates an empty database.
  void CreateDatabase(const std::string& name) const;
  // Runs `sql` in `database` and returns the unaligned output; throws on failure.
  std::string Query(const std::string& database, const std::string& sql) const;

 private:
  std::string dir_;
  std::string bin_;
  std::string as_pg_;  // command prefix that runs a program as the server's user
  bool running_ = false;
  std::string error_;
};

}  // namespace readback
