#include "commands.h"

#include "check_command.h"

#include <algorithm>
#include <exception>

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
         "  check FILE             verify rows, usage maps and indexes; exit 1 on a problem\n"
         "  sql FILE STATEMENT     run one SQL statement (SELECT prints rows as JSON arrays)\n"
         "  create FILE            create a new empty Access 2000 database (FILE must not exist)\n"
         "  import FILE TABLE [TEXTFILE|-]\n"
         "                         import text lines as rows, as the editor's clipboard import\n"
         "                         does (standard input without TEXTFILE or with -)\n"
         "  repair FILE            key repair of every Magic, StdItems or Monster table without\n"
         "                         an index, as opening the file in the editor does\n"
         "  renumber FILE          renumber StdItems.Idx from 0 in table order\n"
         "  copy FILE TABLE        the whole table as the editor copies it (values joined by ;)\n"
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
