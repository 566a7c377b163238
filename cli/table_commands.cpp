#include "table_commands.h"

#include <QFile>
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
  explicit OpenFile(const std::string& path) : file_path(QString::fromStdString(path)) {
    connection.SetConnectionString(kTemplate.arg(file_path));
    connection.Open();
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

int Import(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err) {
  if (args.size() < 3 || args.size() > 4) throw BadUsage{"wrong number of arguments for 'import'"};
  std::string bytes;
  if (args.size() == 4 && args[3] != "-") {
    std::ifstream file(args[3], std::ios::binary);
    if (!file) throw jet::Error(jet::Error::Kind::kNotFound, "cannot read " + args[3]);
    bytes = ReadAll(file);
  } else {
    bytes = ReadAll(in);
  }
  OpenFile db(args[1]);
  const QString table = db.Table(args[2]);
  auto query = db.OpenQuery(table);
  const tableops::PlainGrid grid(*query);
  StderrPrompts prompts(err);
  const tableops::ImportResult result = tableops::ImportText(
      tableops::Page{table, query.get(), &grid}, QString::fromStdString(bytes), prompts);
  out << (result.statements - result.failed) << " of " << result.statements
      << " lines inserted into " << table.toStdString() << '\n';
  return result.failed > 0 || prompts.notices > 0 ? kExitFailure : kExitOk;
}

int Repair(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 2) throw BadUsage{"wrong number of arguments for 'repair'"};
  OpenFile db(args[1]);
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

int Renumber(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 2) throw BadUsage{"wrong number of arguments for 'renumber'"};
  OpenFile db(args[1]);
  const QString table = db.Table("StdItems");
  auto query = db.OpenQuery(table);
  const tableops::PlainGrid grid(*query);
  const int count = tableops::RenumberStdItems(tableops::Page{table, query.get(), &grid});
  out << "renumbered " << count << " records of " << table.toStdString() << '\n';
  return kExitOk;
}

int Copy(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 3) throw BadUsage{"wrong number of arguments for 'copy'"};
  OpenFile db(args[1]);
  const QString table = db.Table(args[2]);
  auto query = db.OpenQuery(table);
  const tableops::PlainGrid grid(*query);
  out << tableops::TableText(tableops::Page{table, query.get(), &grid}).toStdString();
  return kExitOk;
}

}  // namespace

std::optional<int> RunTableCommand(const std::vector<std::string>& args, std::istream& in,
                                   std::ostream& out, std::ostream& err) {
  if (args.empty()) return std::nullopt;
  const std::string& command = args[0];
  if (command != "import" && command != "repair" && command != "renumber" && command != "copy") {
    return std::nullopt;
  }
  try {
    int status = kExitOk;
    if (command == "import") status = Import(args, in, out, err);
    if (command == "repair") status = Repair(args, out);
    if (command == "renumber") status = Renumber(args, out);
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
