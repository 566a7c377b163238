#include "table_commands.h"

#include <QFile>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "commands.h"
#include "database/connection.h"
#include "database/key_repair.h"
#include "database/query.h"
#include "database/quote_name.h"
#include "database/table_indexes.h"
#include "tableops/copy.h"
#include "tableops/import.h"
#include "tableops/renumber.h"
#include "tableops/text_rules.h"

namespace cli {
namespace {

const QString kTemplate =
    QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=%1;Persist Security Info=False");

struct BadUsage {
  std::string message;
};

// Notices and refused statements as lines on standard error.
class StderrPrompts : public tableops::Prompter {
 public:
  explicit StderrPrompts(std::ostream& err) : err_(err) {}
  void Notice(const QString& text, Icon /*icon*/) override {
    err_ << "mdbtool: " << text.toStdString() << '\n';
    ++notices;
  }
  void StatementFailed(const QString& statement, const std::exception& error) override {
    err_ << "mdbtool: ExecSQL FAIL: " << statement.toStdString() << ": " << error.what() << '\n';
  }
  int notices = 0;

 private:
  std::ostream& err_;
};

// The open file and the table names as the window lists them.
struct OpenFile {
  OpenFile(const std::string& path, jet::SyncMode sync) : file_path(QString::fromStdString(path)) {
    connection.SetConnectionString(kTemplate.arg(file_path));
    connection.Open();
    connection.Engine().set_sync_mode(sync);
    connection.GetTableNames(tables);
  }
  // The listed name that `name` gives, ASCII letters without case; throws when there is none.
  QString Table(const std::string& name) const {
    const QString wanted = QString::fromStdString(name);
    for (const QString& table : tables) {
      if (tableops::SameText(table, wanted)) return table;
    }
    throw jet::Error(jet::Error::Kind::kNotFound, "no table '" + name + "' in " + path());
  }
  std::unique_ptr<database::Query> OpenQuery(const QString& table) {
    auto query = std::make_unique<database::Query>();
    query->SetConnection(&connection);
    query->SetSQL(QStringLiteral("SELECT * FROM ") + database::QuoteName(table));
    query->Open();
    return query;
  }
  std::string path() const { return file_path.toStdString(); }

  QString file_path;
  database::Connection connection;
  QStringList tables;
};

std::string ReadAll(std::istream& in) {
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int Import(std::vector<std::string> args, jet::SyncMode sync, std::istream& in, std::ostream& out,
           std::ostream& err) {
  int batch = 0;
  if (args.size() > 2 && args[1] == "--batch") {
    char* end = nullptr;
    const long n = std::strtol(args[2].c_str(), &end, 10);
    if (end == args[2].c_str() || *end != '\0' || n < 1 || n > 1000000) {
      throw BadUsage{"--batch takes a number of lines from 1 to 1000000"};
    }
    batch = static_cast<int>(n);
    args.erase(args.begin() + 1, args.begin() + 3);
  }
  if (args.size() < 3 || args.size() > 4) throw BadUsage{"wrong number of arguments for 'import'"};
  std::string bytes;
  if (args.size() == 4 && args[3] != "-") {
    std::ifstream file(args[3], std::ios::binary);
    if (!file) throw jet::Error(jet::Error::Kind::kNotFound, "cannot read " + args[3]);
    bytes = ReadAll(file);
  } else {
    bytes = ReadAll(in);
  }
  OpenFile db(args[1], sync);
  const QString table = db.Table(args[2]);
  auto query = db.OpenQuery(table);
  const tableops::PlainGrid grid(*query);
  StderrPrompts prompts(err);
  const tableops::ImportResult result = tableops::ImportText(
      tableops::Page{table, query.get(), &grid}, QString::fromStdString(bytes), prompts, batch);
  out << (result.statements - result.failed) << " of " << result.statements
      << " lines inserted into " << table.toStdString() << '\n';
  return result.failed > 0 || prompts.notices > 0 ? kExitFailure : kExitOk;
}

int Repair(const std::vector<std::string>& args, jet::SyncMode sync, std::ostream& out) {
  if (args.size() != 2) throw BadUsage{"wrong number of arguments for 'repair'"};
  OpenFile db(args[1], sync);
  for (const QString& table : db.tables) {
    database::IndexList indexes;
    database::ReadTableIndexes(db.file_path, table, indexes);
    if (!indexes.empty()) continue;
    database::Query query;
    query.SetConnection(&db.connection);
    if (database::RepairTableKey(nullptr, &query, table)) {
      out << "repaired " << table.toStdString() << ": "
          << database::KeyColumnOf(table).toStdString() << " is now its primary key\n";
    }
  }
  return kExitOk;
}

int Renumber(const std::vector<std::string>& args, jet::SyncMode sync, std::ostream& out) {
  if (args.size() != 2) throw BadUsage{"wrong number of arguments for 'renumber'"};
  OpenFile db(args[1], sync);
  const QString table = db.Table("StdItems");
  auto query = db.OpenQuery(table);
  const tableops::PlainGrid grid(*query);
  const int count = tableops::RenumberStdItems(tableops::Page{table, query.get(), &grid});
  out << "renumbered " << count << " records of " << table.toStdString() << '\n';
  return kExitOk;
}

int Copy(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 3) throw BadUsage{"wrong number of arguments for 'copy'"};
  OpenFile db(args[1], jet::SyncMode::kFull);  // reads only
  const QString table = db.Table(args[2]);
  auto query = db.OpenQuery(table);
  const tableops::PlainGrid grid(*query);
  out << tableops::TableText(tableops::Page{table, query.get(), &grid}).toStdString();
  return kExitOk;
}

}  // namespace

std::optional<int> RunTableCommand(const std::vector<std::string>& all_args, std::istream& in,
                                   std::ostream& out, std::ostream& err) {
  // The sync setting may come first, as for every command; a bad one is RunMdbtool's to report.
  jet::SyncMode sync = jet::SyncMode::kFull;
  std::vector<std::string> args;
  for (const std::string& a : all_args) {
    if (a == "--sync=full") {
      sync = jet::SyncMode::kFull;
    } else if (a == "--sync=normal") {
      sync = jet::SyncMode::kNormal;
    } else if (a.rfind("--sync", 0) == 0) {
      return std::nullopt;
    } else {
      args.push_back(a);
    }
  }
  if (args.empty()) return std::nullopt;
  const std::string& command = args[0];
  if (command != "import" && command != "repair" && command != "renumber" && command != "copy") {
    return std::nullopt;
  }
  try {
    int status = kExitOk;
    if (command == "import") status = Import(args, sync, in, out, err);
    if (command == "repair") status = Repair(args, sync, out);
    if (command == "renumber") status = Renumber(args, sync, out);
    if (command == "copy") status = Copy(args, out);
    out.flush();
    return status;
  } catch (const BadUsage& usage) {
    err << "mdbtool: " << usage.message << "\n\n" << UsageText();
    return kExitUsage;
  } catch (const std::exception& e) {
    out.flush();
    err << "mdbtool: " << e.what() << '\n';
    return kExitFailure;
  }
}

}  // namespace cli
