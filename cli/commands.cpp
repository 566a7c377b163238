#include "commands.h"

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "check_command.h"
#include "dump.h"
#include "query/export/export.h"

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

struct Options {
  jet::SyncMode sync = jet::SyncMode::kFull;
};

std::string ReadAll(std::istream& in, const std::string& what) {
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("cannot read " + what);
  return text;
}

// `sql [--csv] [--param NAME=VALUE]... FILE STATEMENTS`: STATEMENTS `-` reads them from standard
// input, `-f SCRIPT` from a file.
void SqlCommand(const std::vector<std::string>& all_args, const Options& options, std::istream& in,
                std::ostream& out) {
  SqlOptions sql_options;
  std::vector<std::string> args{all_args[0]};
  for (size_t i = 1; i < all_args.size(); ++i) {
    if (all_args[i] == "--csv") {
      sql_options.csv = true;
    } else if (all_args[i] == "--param") {
      if (i + 1 >= all_args.size()) throw Usage{"--param needs NAME=VALUE"};
      const std::string& p = all_args[++i];
      const size_t eq = p.find('=');
      if (eq == std::string::npos || eq == 0) throw Usage{"--param needs NAME=VALUE"};
      sql_options.params[p.substr(0, eq)] = p.substr(eq + 1);
    } else {
      args.push_back(all_args[i]);
    }
  }
  CheckArgCount(args, 3, 4);
  std::string script;
  if (args.size() == 4) {
    if (args[2] != "-f") throw Usage{"expected 'sql FILE -f SCRIPT'"};
    std::ifstream file(args[3], std::ios::binary);
    if (!file) throw std::runtime_error(args[3] + ": cannot open");
    script = ReadAll(file, args[3]);
  } else if (args[2] == "-") {
    script = ReadAll(in, "standard input");
  } else {
    script = args[2];
  }
  const std::vector<std::string_view> statements = jet::SplitStatements(script);
  if (statements.empty()) throw Usage{"no SQL statement given"};
  const bool reads_only = std::all_of(statements.begin(), statements.end(), IsSelect);
  jet::OpenOptions open;
  open.mode = reads_only ? jet::OpenMode::kReadOnly : jet::OpenMode::kReadWrite;
  open.sync = options.sync;
  std::unique_ptr<jet::Database> db = jet::Database::Open(args[1], open);
  for (size_t i = 0; i < statements.size(); ++i) {
    try {
      RunSql(*db, statements[i], sql_options, out);
    } catch (const std::exception& e) {
      std::string message = e.what();
      if (statements.size() > 1) message = "statement " + std::to_string(i + 1) + ": " + message;
      if (db->in_transaction()) {
        db->Rollback();
        message += " (the open transaction was rolled back; nothing of it was written)";
      }
      throw std::runtime_error(message);
    }
  }
  if (db->in_transaction()) {
    db->Rollback();
    throw std::runtime_error(
        "the statements end inside a transaction (no COMMIT); it was rolled back and nothing of "
        "it was written");
  }
}

void Dispatch(const std::vector<std::string>& args, const Options& options, std::istream& in,
              std::ostream& out, std::ostream& err) {
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
    SqlCommand(args, options, in, out);
  } else if (command == "queries") {
    CheckArgCount(args, 2, 3);
    PrintQueries(*OpenReadOnly(args[1]), OptionalTable(args, 2), out);
  } else if (command == "check") {
    CheckArgCount(args, 2, 2);
    RunCheck(args[1], out);
  } else if (command == "create") {
    CheckArgCount(args, 2, 2);
    jet::Database::Create(args[1])->set_sync_mode(options.sync);
    out << "created " << args[1] << '\n';
  } else if (command == "import" || command == "repair" || command == "renumber" ||
             command == "copy") {
    throw std::runtime_error("'" + command + "' needs the editor's Qt layers, not built here");
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
         "  queries FILE [NAME]    the saved queries as Access SQL\n"
         "  check FILE             verify rows, usage maps and indexes; exit 1 on a problem\n"
         "  sql [--csv] [--param NAME=VALUE]... FILE STATEMENTS\n"
         "                         run Access SQL statements separated by ';' (SELECT prints\n"
         "                         rows as JSON arrays, or CSV with a header row; BEGIN/COMMIT/\n"
         "                         ROLLBACK group writes into one commit); STATEMENTS '-' reads\n"
         "                         them from standard input, '-f SCRIPT' from a file\n"
         "  create FILE            create a new empty Access 2000 database (FILE must not exist)\n"
         "  export --format sqlite|postgres|csv FILE OUT\n"
         "                         copy every table with its keys and relationships to a new\n"
         "                         SQLite database, a psql script or a directory of CSV files\n"
         "  schema --sql sqlite|postgres FILE\n"
         "                         the SQL that creates the tables, keys, indexes and views of an\n"
         "                         export\n"
         "  import [--batch N] FILE TABLE [TEXTFILE|-]\n"
         "                         import text lines as rows, as the editor's clipboard import\n"
         "                         does (standard input without TEXTFILE or with -); --batch\n"
         "                         commits every N lines as one transaction\n"
         "  repair FILE            key repair of every Magic, StdItems or Monster table without\n"
         "                         an index, as opening the file in the editor does\n"
         "  renumber FILE          renumber StdItems.Idx from 0 in table order\n"
         "  copy FILE TABLE        the whole table as the editor copies it (values joined by ;)\n"
         "\n"
         "options:\n"
         "  --sync=full|normal     full (default): every commit is synced to disk and survives\n"
         "                         a power loss; normal: no syncs, faster, a power loss may\n"
         "                         lose or damage the last commits\n"
         "  -h, --help             print this text\n"
         "\n"
         "Exit status: 0 success, 1 failure (message on stderr), 2 bad usage.\n";
}

int RunMdbtool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::istringstream no_input;
  return RunMdbtool(args, out, err, no_input);
}

int RunMdbtool(const std::vector<std::string>& all_args, std::ostream& out, std::ostream& err,
               std::istream& in) {
  Options options;
  std::vector<std::string> args;
  for (const std::string& a : all_args) {
    if (a == "--sync=full") {
      options.sync = jet::SyncMode::kFull;
    } else if (a == "--sync=normal") {
      options.sync = jet::SyncMode::kNormal;
    } else if (a.rfind("--sync", 0) == 0) {
      err << "mdbtool: --sync takes 'full' or 'normal'\n\n" << UsageText();
      return kExitUsage;
    } else {
      args.push_back(a);
    }
  }
  const bool help = !args.empty() && args[0] == "help";
  if (help || std::find(args.begin(), args.end(), "-h") != args.end() ||
      std::find(args.begin(), args.end(), "--help") != args.end()) {
    out << UsageText();
    return kExitOk;
  }
  try {
    if (args.empty()) throw Usage{"no command given"};
    Dispatch(args, options, in, out, err);
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
