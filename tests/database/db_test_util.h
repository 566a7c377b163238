#pragma once

// A fixture for data-access tests: a temporary copy of a shared database, a Connection on it
// made from the connection template, and a fixed locale (German: ',' as decimal separator,
// dd.MM.yyyy dates) so that display texts do not depend on the machine.

#include <memory>
#include <ostream>
#include <string>

#include <QLocale>
#include <QString>
#include <gtest/gtest.h>

#include "database/connection.h"
#include "database/query.h"
#include "shared/share.h"
#include "support/write_test_util.h"

// Readable QStrings in test failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace dbtest {

class DbTest : public ::testing::Test {
 protected:
  void SetUp() override { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
  void TearDown() override { QLocale::setDefault(QLocale::system()); }

  // Copies fixture `name` and connects to the copy; false (with a skip) without ../shared.
  bool Connect(const std::string& name) {
    if (testutil::FixturePath(name).empty()) return false;
    path_ = QString::fromStdString(testutil::CopyFixture(dir_, name));
    conn_.SetConnectionString(QString(ConnectionTemplate).replace(QLatin1String("%s"), path_));
    conn_.Open();
    return true;
  }

  // A new query on the connection, opened on `statement`.
  std::unique_ptr<database::Query> OpenQuery(const QString& statement) {
    auto query = std::make_unique<database::Query>();
    query->SetConnection(&conn_);
    query->SetSQL(statement);
    query->Open();
    return query;
  }

  uint64_t FileHash() const { return testutil::HashFile(path_.toStdString()); }

  testutil::TempDir dir_;
  QString path_;
  database::Connection conn_;
};

}  // namespace dbtest

#define SKIP_WITHOUT_FIXTURE(name)                                        \
  if (!Connect(name)) {                                                   \
    GTEST_SKIP() << "../shared/fixtures/" << name << " is not available"; \
  }
