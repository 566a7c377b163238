#pragma once

// Helpers for the table-operation tests: a database made by the engine from statements, a
// page over a query with the plain grid, a text clipboard and a prompter that records.

#include <gtest/gtest.h>

#include <QLocale>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "database/connection.h"
#include "database/query.h"
#include "database/quote_name.h"
#include "jet/database.h"
#include "shared/share.h"
#include "support/write_test_util.h"
#include "tableops/ports.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace optest {

class TextClipboard : public tableops::Clipboard {
 public:
  QString Text() override { return text; }
  void SetText(const QString& value) override {
    text = value;
    ++writes;
  }
  QString text;
  int writes = 0;
};

class RecordingPrompter : public tableops::Prompter {
 public:
  void Notice(const QString& text, Icon icon) override {
    notices.append(text);
    icons.push_back(icon);
  }
  void StatementFailed(const QString& statement, const std::exception& error) override {
    failed.append(statement);
    errors.append(QString::fromUtf8(error.what()));
  }
  QStringList notices;
  std::vector<Icon> icons;
  QStringList failed;
  QStringList errors;
};

// A connection to a fresh database or a fixture copy, and one page per table asked for.
class OpsTest : public ::testing::Test {
 protected:
  void SetUp() override { QLocale::setDefault(QLocale::c()); }
  void TearDown() override { QLocale::setDefault(QLocale::system()); }

  // A new database in which `statements` have run.
  void Create(const std::vector<std::string>& statements) {
    path_ = QString::fromStdString(dir_.File("test.mdb"));
    {
      auto db = jet::Database::Create(path_.toStdString());
      for (const std::string& sql : statements) db->Execute(sql);
    }
    Attach();
  }
  // A copy of a shared fixture; false when ../shared is absent.
  bool UseFixture(const std::string& name) {
    if (testutil::FixturePath(name).empty()) return false;
    path_ = QString::fromStdString(testutil::CopyFixture(dir_, name));
    Attach();
    return true;
  }
  void Attach() {
    conn_.SetConnectionString(QString(ConnectionTemplate).replace(QLatin1String("%s"), path_));
    conn_.Open();
  }

  // A page on `table`, its query open on the whole table.
  tableops::Page OpenPage(const QString& table) {
    queries_.push_back(std::make_unique<database::Query>());
    database::Query* query = queries_.back().get();
    query->SetConnection(&conn_);
    query->SetSQL(QStringLiteral("SELECT * FROM ") + database::QuoteName(table));
    query->Open();
    grids_.push_back(std::make_unique<tableops::PlainGrid>(*query));
    return tableops::Page{table, query, grids_.back().get()};
  }

  // Every row of `table` as display texts joined by '|', in table order.
  QStringList Rows(const QString& table) {
    database::Query query;
    query.SetConnection(&conn_);
    query.SetSQL(QStringLiteral("SELECT * FROM ") + database::QuoteName(table));
    query.Open();
    QStringList rows;
    for (int r = 0; r < query.RecordCount(); ++r) {
      QStringList cells;
      for (int f = 0; f < query.FieldCount(); ++f) {
        cells.append(query.IsNullAt(r, f) ? QStringLiteral("<null>") : query.DisplayTextAt(r, f));
      }
      rows.append(cells.join(u'|'));
    }
    return rows;
  }

  uint64_t FileHash() const { return testutil::HashFile(path_.toStdString()); }

  testutil::TempDir dir_;
  QString path_;
  database::Connection conn_;
  std::vector<std::unique_ptr<database::Query>> queries_;
  std::vector<std::unique_ptr<tableops::PlainGrid>> grids_;
};

}  // namespace optest

#define SKIP_WITHOUT(name)                                                \
  if (!UseFixture(name)) {                                                \
    GTEST_SKIP() << "../shared/fixtures/" << name << " is not available"; \
  }
