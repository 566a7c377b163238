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

// A connection to a fresh database or a fixture copy, and one page per table asked for. Each
// test runs on an Access 2000 file and on an Access 97 file (the parameter).
class OpsTest : public ::testing::TestWithParam<jet::Format> {
 protected:
  // The engine creates Access 2000 files only: Access 97 tables are made inside a copy of an
  // Access 97 file, whose own tables stay as they are.
  static constexpr const char* kJet3Base = "access/jackcess-V1997-testV1997.mdb";

  void SetUp() override {
    QLocale::setDefault(QLocale::c());
    if (GetParam() == jet::Format::kJet3 && testutil::FixturePath(kJet3Base).empty()) {
      GTEST_SKIP() << "../shared/fixtures/" << kJet3Base << " is not available";
    }
  }
  void TearDown() override { QLocale::setDefault(QLocale::system()); }

  // A new database in which `statements` have run.
  void Create(const std::vector<std::string>& statements) {
    if (GetParam() == jet::Format::kJet3) {
      path_ = QString::fromStdString(testutil::CopyFixture(dir_, kJet3Base));
    } else {
      path_ = QString::fromStdString(dir_.File("test.mdb"));
      jet::Database::Create(path_.toStdString());
    }
    {
      auto db = jet::Database::Open(path_.toStdString(), jet::OpenMode::kReadWrite);
      for (const std::string& sql : statements) db->Execute(sql);
    }
    Attach();
  }
  // A copy of a shared fixture (they are Access 2000 files: Access 97 runs skip); false when
  // ../shared is absent.
  bool UseFixture(const std::string& name) {
    if (GetParam() == jet::Format::kJet3 || testutil::FixturePath(name).empty()) return false;
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

  // Whether the file's text can hold `s`: Access 97 files here keep code page 1252, whose
  // printable Latin-1 part is enough for the tests.
  bool Holds(const QString& s) const {
    if (GetParam() != jet::Format::kJet3) return true;
    for (QChar c : s) {
      if (c.unicode() >= 0x80 && (c.unicode() < 0xA0 || c.unicode() > 0xFF)) return false;
    }
    return true;
  }

  uint64_t FileHash() const { return testutil::HashFile(path_.toStdString()); }

  testutil::TempDir dir_;
  QString path_;
  database::Connection conn_;
  std::vector<std::unique_ptr<database::Query>> queries_;
  std::vector<std::unique_ptr<tableops::PlainGrid>> grids_;
};

inline std::string FormatName(const ::testing::TestParamInfo<jet::Format>& param) {
  return param.param == jet::Format::kJet3 ? "Access97" : "Access2000";
}

}  // namespace optest

#define SKIP_WITHOUT(name)                                                          \
  if (!UseFixture(name)) {                                                          \
    GTEST_SKIP() << "../shared/fixtures/" << name << " is not available as Access " \
                 << (GetParam() == jet::Format::kJet3 ? "97" : "2000");             \
  }

// Runs the tests of `suite` on both file formats.
#define OPS_TEST_FORMATS(suite)                                                        \
  INSTANTIATE_TEST_SUITE_P(Formats, suite,                                             \
                           ::testing::Values(jet::Format::kJet4, jet::Format::kJet3),  \
                           optest::FormatName)
