#include "commands.h"

#include "check_command.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <iterator>
#include <sstream>

#include "dump.h"

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

struct Options {
  jet::SyncMode sync = jet::SyncMode::kFull;
};

std::string ReadAll(std::istream& in, const std::string& what) {
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("cannot read " + what);
  return text;
}

// `sql FILE STATEMENTS`, `sql FILE -` (statements on standard input), `sql FILE -f SCRIPT`.
void SqlCommand(const std::vector<std::string>& args, const Options& options, std::istream& in,
                std::ostream& out) {
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
      RunSql(*db, statements[i], out);
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
              std::ostream& out) {
  const std::string& command = args[0];
  if (command == "tables") {
    CheckArgCount(args, 2, 2);
    PrintTables(*OpenReadOnly(args[1]), out);
  } else if (command == "schema") {
    CheckArgCount(args, 2, 3);
    PrintSchema(*OpenReadOnly(args[1]), OptionalTable(args, 2), out);
  } else if (command == "dump") {
    CheckArgCount(args, 2, 3);
    WriteDump(*OpenReadOnly(args[1]), OptionalTable(args, 2), out);
  } else if (command == "sql") {
    CheckArgCount(args, 3, 4);
    SqlCommand(args, options, in, out);
  } else if (command == "check") {
    CheckArgCount(args, 2, 2);
    RunCheck(args[1], out);
  } else if (command == "create") {
    CheckArgCount(args, 2, 2);
    jet::Database::Create(args[1])->set_sync_mode(options.sync);
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
         "  sql FILE STATEMENTS    run SQL statements separated by ';' (SELECT prints rows as\n"
         "                         JSON arrays; BEGIN/COMMIT/ROLLBACK group writes into one\n"
         "                         commit); STATEMENTS '-' reads them from standard input,\n"
         "                         '-f SCRIPT' from a file\n"
         "  create FILE            create a new empty Access 2000 database (FILE must not exist)\n"
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
    Dispatch(args, options, in, out);
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
