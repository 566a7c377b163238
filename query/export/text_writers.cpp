// The text exports: a PostgreSQL script and a directory of CSV files.
//
// The script is what `psql -v ON_ERROR_STOP=1 -f OUT` runs against an empty database:
//
//   SET client_encoding / standard_conforming_strings
//   BEGIN
//   CREATE TABLE ... (columns only)        every table
//   COPY "T" (...) FROM stdin; rows; \.    every table, text format, one line per row
//   primary keys, indexes, foreign keys    after the rows, so they are built once
//   identity counters                      AutoNumber continues where Access stopped
//   COMMIT
//
// In COPY's text format a row is one line; backslash, tab, CR and LF inside values are escaped,
// so neither COPY nor psql's line reading changes a value.

#include <sys/stat.h>

#include "export/ddl.h"
#include "export/field_text.h"
#include "export/output_file.h"
#include "export/progress.h"
#include "export/writers.h"
#include "jet/error.h"

namespace query {
namespace {

// Calls `fn(row)` for every row of `t`, with the progress line.
template <typename RowFn>
uint64_t ForEachRow(const jet::Database& db, const ExportTable& t, const ExportOptions& options,
                    RowFn&& fn) {
  Progress progress(options.progress, t.name, t.def.row_count);
  uint64_t rows = 0;
  // Formatting text is cheaper than decoding rows: reading ahead on a second thread costs more
  // than it saves here.
  db.Scan(t.def, [&](jet::RowId, std::vector<jet::Value>& row) {
    fn(row);
    ++rows;
    progress.Row();
    return true;
  });
  return rows;
}

void AppendFieldIn(const ExportTable& t, size_t column, const jet::Value& v, TextTarget target,
                   std::string& out) {
  try {
    AppendField(v, target, out);
  } catch (const jet::Error& e) {
    throw jet::Error(e.kind(), ValueContext(t, column) + e.what());
  }
}

std::string CopyHeader(const ExportTable& t) {
  std::string out = "COPY " + QuoteIdentifier(t.name) + " (";
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (i > 0) out += ", ";
    out += QuoteIdentifier(t.columns[i]);
  }
  return out + ") FROM stdin;\n";
}

std::string CsvFileName(const std::string& table) {
  std::string name = table;
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return name + ".csv";
}

void AppendCsvName(const std::string& name, std::string& out) {
  AppendField(jet::Value(jet::FromUtf8(name)), TextTarget::kCsv, out);
}

}  // namespace

ExportStats WritePostgres(const jet::Database& db, const ExportSchema& schema,
                          const std::string& path, const ExportOptions& options) {
  OutputFile file(path, OutputFile::Mode::kClaimed);
  std::string& buf = file.buffer();
  buf +=
      "-- Written by mdbtool export. Load into an empty database (PostgreSQL 15 or later):\n"
      "--   psql -v ON_ERROR_STOP=1 -f FILE\n"
      "SET client_encoding = 'UTF8';\n"
      "SET standard_conforming_strings = on;\n"
      "BEGIN;\n";
  for (const ExportTable& t : schema.tables) {
    buf += CreateTableSql(t, db.format(), Dialect::kPostgres) + ";\n";
  }
  ExportStats stats;
  for (const ExportTable& t : schema.tables) {
    buf += '\n';
    buf += CopyHeader(t);
    stats.rows += ForEachRow(db, t, options, [&](const std::vector<jet::Value>& row) {
      for (size_t i = 0; i < row.size(); ++i) {
        if (i > 0) buf += '\t';
        AppendFieldIn(t, i, row[i], TextTarget::kPostgresCopy, buf);
      }
      buf += '\n';
      file.MaybeFlush();
    });
    buf += "\\.\n";
    ++stats.tables;
  }
  buf += '\n';
  for (const std::string& sql : PostgresKeysSql(schema)) buf += sql + ";\n";
  buf += "COMMIT;\n";
  file.Close();
  return stats;
}

ExportStats WriteCsv(const jet::Database& db, const ExportSchema& schema, const std::string& dir,
                     const ExportOptions& options, std::vector<std::string>& created) {
  ExportStats stats;
  for (const ExportTable& t : schema.tables) {
    const std::string path = dir + "/" + CsvFileName(t.name);
    RequireAbsent(path);
    created.push_back(path);
    OutputFile file(path);
    std::string& buf = file.buffer();
    for (size_t i = 0; i < t.columns.size(); ++i) {
      if (i > 0) buf += ',';
      AppendCsvName(t.columns[i], buf);
    }
    buf += "\r\n";
    stats.rows += ForEachRow(db, t, options, [&](const std::vector<jet::Value>& row) {
      for (size_t i = 0; i < row.size(); ++i) {
        if (i > 0) buf += ',';
        AppendFieldIn(t, i, row[i], TextTarget::kCsv, buf);
      }
      buf += "\r\n";
      file.MaybeFlush();
    });
    file.Close();
    ++stats.tables;
  }
  return stats;
}

}  // namespace query
