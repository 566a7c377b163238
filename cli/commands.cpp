#include "commands.h"

#include <algorithm>
#include <exception>

#include "check_command.h"
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

void Dispatch(const std::vector<std::string>& args, std::ostream& out) {
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
    SqlOptions options;
    std::vector<std::string> rest{args[0]};
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--csv") {
        options.csv = true;
      } else if (args[i] == "--param") {
        if (i + 1 >= args.size()) throw Usage{"--param needs NAME=VALUE"};
        const std::string& p = args[++i];
        const size_t eq = p.find('=');
        if (eq == std::string::npos || eq == 0) throw Usage{"--param needs NAME=VALUE"};
        options.params[p.substr(0, eq)] = p.substr(eq + 1);
      } else {
        rest.push_back(args[i]);
      }
    }
    CheckArgCount(rest, 3, 3);
    const auto mode = IsSelect(rest[2]) ? jet::OpenMode::kReadOnly : jet::OpenMode::kReadWrite;
    RunSql(*jet::Database::Open(rest[1], mode), rest[2], options, out);
  } else if (command == "queries") {
    CheckArgCount(args, 2, 3);
    PrintQueries(*OpenReadOnly(args[1]), OptionalTable(args, 2), out);
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
         "  queries FILE [NAME]    the saved queries as Access SQL\n"
         "  check FILE             verify rows, usage maps and indexes; exit 1 on a problem\n"
         "  sql [--csv] [--param NAME=VALUE]... FILE STATEMENT\n"
         "                         run one Access SQL statement (SELECT prints rows as JSON\n"
         "                         arrays, or CSV with a header row)\n"
         "  create FILE            create a new empty Access 2000 database (FILE must not exist)\n"
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
    Dispatch(args, out);
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
