#include "commands.h"

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <iostream>

#include "check_command.h"
#include "dump.h"
#include "export/export.h"

namespace cli {
namespace {

struct Usage {
  std::string message;
};

std::optional<std::u16string> OptionalTable(const std::vector<std::string>& args, size_t index) {
  if (args.size() <= index) return std::nullopt;
  return jet::FromUtf8(args[index]);
}

void CheckArgCount(const std::vector<std::string>& args, size_t min, size_t max) {
  if (args.size() < min || args.size() > max) {
    throw Usage{"wrong number of arguments for '" + args[0] + "'"};
  }
}

std::unique_ptr<jet::Database> OpenReadOnly(const std::string& path) {
  return jet::Database::Open(path, jet::OpenMode::kReadOnly);
}

// `export --format F FILE OUT`: the format option may also follow the file names.
void RunExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::optional<query::ExportFormat> format;
  std::vector<std::string> files;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--format" && i + 1 < args.size()) {
      format = query::ParseExportFormat(args[++i]);
      if (!format) throw Usage{"unknown export format '" + args[i] + "'"};
    } else {
      files.push_back(args[i]);
    }
  }
  if (!format) throw Usage{"export needs --format sqlite|postgres|csv"};
  if (files.size() != 2) throw Usage{"wrong number of arguments for 'export'"};
  query::ExportOptions options;
  options.notes = &err;
  // The progress line is for a person watching a terminal, never for a log.
  if (&err == &std::cerr && ::isatty(STDERR_FILENO) == 1) options.progress = &err;
  const query::ExportStats stats =
      query::Export(*OpenReadOnly(files[0]), *format, files[1], options);
  out << "exported " << stats.tables << " tables, " << stats.rows << " rows to " << files[1]
      << '\n';
}

// `schema --sql sqlite|postgres FILE`: the DDL an export runs.
void PrintSchemaSql(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CheckArgCount(args, 4, 4);
  const auto format = query::ParseExportFormat(args[2]);
  if (!format || *format == query::ExportFormat::kCsv) {
    throw Usage{"schema --sql takes sqlite or postgres"};
  }
  const auto dialect =
      *format == query::ExportFormat::kSqlite ? query::Dialect::kSqlite : query::Dialect::kPostgres;
  out << query::SchemaSql(*OpenReadOnly(args[3]), dialect, &err);
}

void Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::string& command = args[0];
  if (command == "tables") {
    CheckArgCount(args, 2, 2);
    PrintTables(*OpenReadOnly(args[1]), out);
  } else if (command == "schema" && args.size() > 1 && args[1] == "--sql") {
    PrintSchemaSql(args, out, err);
  } else if (command == "export") {
    RunExport(args, out, err);
  } else if (command == "schema") {
    CheckArgCount(args, 2, 3);
    PrintSchema(*OpenReadOnly(args[1]), OptionalTable(args, 2), out);
  } else if (command == "dump") {
    CheckArgCount(args, 2, 3);
    WriteDump(*OpenReadOnly(args[1]), OptionalTable(args, 2), out);
  } else if (command == "sql") {
    CheckArgCount(args, 3, 3);
    const auto mode = IsSelect(args[2]) ? jet::OpenMode::kReadOnly : jet::OpenMode::kReadWrite;
    RunSql(*jet::Database::Open(args[1], mode), args[2], out);
  } else if (command == "check") {
    CheckArgCount(args, 2, 2);
    RunCheck(args[1], out);
  } else if (command == "create") {
    CheckArgCount(args, 2, 2);
    jet::Database::Create(args[1]);
    out << "created " << args[1] << '\n';
  } else {
    throw Usage{"unknown command '" + command + "'"};
  }
}

}  // namespace

std::string UsageText() {
  return "usage: mdbtool COMMAND FILE [ARGS]\n"
         "\n"
         "Reads and writes Microsoft Access .mdb files (Jet3/Access 97, Jet4/Access 2000-2003).\n"
         "\n"
         "commands:\n"
         "  tables FILE            list the tables and saved select queries\n"
         "  schema FILE [TABLE]    columns, types, lengths, flags and indexes\n"
         "  dump FILE [TABLE]      the canonical dump: JSON lines of schema and rows\n"
         "  check FILE             verify rows, usage maps and indexes; exit 1 on a problem\n"
         "  sql FILE STATEMENT     run one SQL statement (SELECT prints rows as JSON arrays)\n"
         "  create FILE            create a new empty Access 2000 database (FILE must not exist)\n"
         "  export --format sqlite|postgres|csv FILE OUT\n"
         "                         copy every table with its keys and relationships to a new\n"
         "                         SQLite database, a psql script or a directory of CSV files\n"
         "  schema --sql sqlite|postgres FILE\n"
         "                         the SQL that creates the tables, keys and indexes of an export\n"
         "\n"
         "options:\n"
         "  -h, --help             print this text\n"
         "\n"
         "Exit status: 0 success, 1 failure (message on stderr), 2 bad usage.\n";
}

int RunMdbtool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const bool help = !args.empty() && args[0] == "help";
  if (help || std::find(args.begin(), args.end(), "-h") != args.end() ||
      std::find(args.begin(), args.end(), "--help") != args.end()) {
    out << UsageText();
    return kExitOk;
  }
  try {
    if (args.empty()) throw Usage{"no command given"};
    Dispatch(args, out, err);
    out.flush();
    if (!out) {
      err << "mdbtool: cannot write the output\n";
      return kExitFailure;
    }
    return kExitOk;
  } catch (const Usage& u) {
    err << "mdbtool: " << u.message << "\n\n" << UsageText();
    return kExitUsage;
  } catch (const std::exception& e) {
    out.flush();
    err << "mdbtool: " << e.what() << '\n';
    return kExitFailure;
  }
}

}  // namespace cli
