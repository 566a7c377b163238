#include "database/query.h"

#include <vector>

#include <gtest/gtest.h>

#include "database/data_source.h"
#include "database/field.h"
#include "database/quote_name.h"
#include "db_test_util.h"
#include "jet/error.h"

namespace {

using namespace database;  // NOLINT: the toolkit's ds*/ft* names

std::string ErrorText(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const jet::Error& e) {
    return e.what();
  }
  return "(no error)";
}

class QueryTest : public dbtest::DbTest {};

TEST_F(QueryTest, OpenBuffersAllRowsWithTheFirstCurrent) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  auto query = OpenQuery(QStringLiteral("SELECT * FROM StdItems"));
  EXPECT_EQ(query->State(), dsBrowse);
  EXPECT_EQ(query->RecordCount(), 147);
  EXPECT_EQ(query->RecNo(), 1);
  EXPECT_TRUE(query->Bof());
  EXPECT_FALSE(query->Eof());
  EXPECT_EQ(query->TableName(), QStringLiteral("StdItems"));
  const QString first = query->FieldByName(QStringLiteral("idx"))->DisplayText();
  query->Next();
  query->Open();  // already open: nothing happens, the cursor stays
  EXPECT_EQ(query->RecNo(), 2);
  query->Close();
  query->Open();
  EXPECT_EQ(query->RecNo(), 1);
  EXPECT_EQ(query->FieldByName(QStringLiteral("Idx"))->DisplayText(), first);
}

TEST_F(QueryTest, MovesStopAtTheEndsAndSetTheFlags) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  auto query = OpenQuery(QStringLiteral("SELECT * FROM Settings"));
  ASSERT_EQ(query->RecordCount(), 7);
  query->Prior();
  EXPECT_EQ(query->RecNo(), 1);
  EXPECT_TRUE(query->Bof());
  query->Next();
  EXPECT_EQ(query->RecNo(), 2);
  EXPECT_FALSE(query->Bof());
  EXPECT_FALSE(query->Eof());
  query->Last();
  EXPECT_EQ(query->RecNo(), 7);
  EXPECT_TRUE(query->Eof());
  query->Next();
  EXPECT_EQ(query->RecNo(), 7);
  EXPECT_TRUE(query->Eof());
  query->First();
  EXPECT_EQ(query->MoveBy(3), 3);
  EXPECT_EQ(query->RecNo(), 4);
  EXPECT_FALSE(query->Eof());
  EXPECT_EQ(query->MoveBy(10), 3);  // fewer follow: stops at the last, end-of-data
  EXPECT_EQ(query->RecNo(), 7);
  EXPECT_TRUE(query->Eof());
  EXPECT_EQ(query->MoveBy(-100), -6);
  EXPECT_TRUE(query->Bof());
  // The repair's loop: R records, R-1 moves, the last record taking part.
  query->First();
  int seen = 0;
  for (int i = 0; i < query->RecordCount(); ++i, query->Next()) ++seen;
  EXPECT_EQ(seen, 7);
  EXPECT_TRUE(query->Eof());
}

TEST_F(QueryTest, EmptyTableReadsNullsAndRefusesDelete) {
  SKIP_WITHOUT_FIXTURE("types.mdb");
  const uint64_t before = FileHash();
  auto query = OpenQuery(QStringLiteral("SELECT * FROM EmptyTable"));
  EXPECT_TRUE(query->Eof());
  EXPECT_TRUE(query->Bof());
  EXPECT_EQ(query->RecordCount(), 0);
  EXPECT_EQ(query->RecNo(), 0);
  ASSERT_EQ(query->FieldCount(), 4);
  for (int i = 0; i < query->FieldCount(); ++i) {
    EXPECT_TRUE(query->Fields(i)->IsNull());
    EXPECT_EQ(query->Fields(i)->DisplayText(), QString());
  }
  EXPECT_EQ(ErrorText([&] { query->Delete(); }),
            "Cannot perform this operation on an empty dataset");
  query->Edit();  // on an empty table: an insert
  EXPECT_EQ(query->State(), dsInsert);
  EXPECT_EQ(query->RecordCount(), 1);
  query->Edit();  // already pending: nothing
  EXPECT_EQ(query->State(), dsInsert);
  query->Delete();  // in dsInsert: cancels
  EXPECT_EQ(query->State(), dsBrowse);
  EXPECT_EQ(query->RecordCount(), 0);
  EXPECT_TRUE(query->Eof());
  EXPECT_EQ(FileHash(), before);
}

TEST_F(QueryTest, FieldLookupIgnoresCaseAndNamesTheMissingField) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  auto query = OpenQuery(QStringLiteral("SELECT * FROM Monster"));
  ASSERT_EQ(query->FieldCount(), 8);
  EXPECT_EQ(query->FieldByName(QStringLiteral("zONE")), query->Fields(7));
  EXPECT_EQ(query->Fields(7)->FieldName(), QStringLiteral("Zone"));
  EXPECT_EQ(query->Fields(7)->DisplayName(), QStringLiteral("Zone"));
  EXPECT_EQ(query->Fields(7)->Index(), 7);
  EXPECT_EQ(query->FindField(QStringLiteral("MagName")), nullptr);
  EXPECT_EQ(ErrorText([&] { query->FieldByName(QStringLiteral("MagName")); }),
            "Field 'MagName' not found");
  EXPECT_THROW(query->Fields(8), jet::Error);
}

TEST_F(QueryTest, StatementTextIsReplacedWholeAndClosesTheQuery) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  auto query = OpenQuery(QStringLiteral("SELECT * FROM Magic"));
  query->SQL().Clear();
  EXPECT_EQ(query->State(), dsInactive);
  query->SQL().Add(QStringLiteral("SELECT * FROM Monster"));
  EXPECT_EQ(query->SQL().Text(), QStringLiteral("SELECT * FROM Monster\r\n"));
  query->Open();
  EXPECT_EQ(query->RecordCount(), 54);
  query->SQL().Add(QStringLiteral(" WHERE Name='x'"));
  EXPECT_FALSE(query->Active());
  EXPECT_EQ(query->SQL().Count(), 2);
}

TEST_F(QueryTest, NamesWithBlanksNeedBrackets) {
  SKIP_WITHOUT_FIXTURE("types.mdb");
  auto query = std::make_unique<Query>();
  query->SetConnection(&conn_);
  query->SetSQL(QStringLiteral("SELECT * FROM Order Details"));
  EXPECT_THROW(query->Open(), jet::Error);
  EXPECT_EQ(query->State(), dsInactive);
  query->SetSQL(QStringLiteral("SELECT * FROM ") + QuoteName(QStringLiteral("Order Details")));
  query->Open();
  EXPECT_EQ(query->RecordCount(), 40);
  EXPECT_EQ(query->FieldByName(QStringLiteral("UnitPrice"))->DisplayText(), QStringLiteral("5"));
}

TEST_F(QueryTest, ExecSqlLeavesTheQueryClosedAndFailuresPassThrough) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  Query query;
  query.SetConnection(&conn_);
  query.SetSQL(QStringLiteral("SELEKT nothing"));
  EXPECT_THROW(query.ExecSQL(), jet::Error);
  EXPECT_EQ(query.State(), dsInactive);
}

TEST_F(QueryTest, UnchangedEditsAndInsertsAreCancelledByMoves) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  const uint64_t before = FileHash();
  auto query = OpenQuery(QStringLiteral("SELECT * FROM Magic"));
  query->MoveBy(2);
  query->Edit();
  EXPECT_EQ(query->State(), dsEdit);
  EXPECT_FALSE(query->Modified());
  query->Next();
  EXPECT_EQ(query->State(), dsBrowse);
  EXPECT_EQ(query->RecNo(), 4);

  query->Insert();  // a new record before the current one
  EXPECT_EQ(query->State(), dsInsert);
  EXPECT_EQ(query->RecNo(), 4);
  EXPECT_EQ(query->RecordCount(), 57);
  EXPECT_TRUE(query->FieldByName(QStringLiteral("MagName"))->IsNull());
  query->Insert();  // settles the untouched one, then another new record
  EXPECT_EQ(query->RecordCount(), 57);
  query->Next();
  EXPECT_EQ(query->State(), dsBrowse);
  EXPECT_EQ(query->RecordCount(), 56);
  EXPECT_EQ(query->RecNo(), 5);
  EXPECT_EQ(FileHash(), before);
}

TEST_F(QueryTest, CancelRestoresAssignedValuesAndAssignmentsNeedEditMode) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  const uint64_t before = FileHash();
  auto query = OpenQuery(QStringLiteral("SELECT * FROM Monster"));
  Field* name = query->FieldByName(QStringLiteral("Name"));
  const QString old_name = name->AsString();
  EXPECT_EQ(ErrorText([&] { name->SetAsString(QStringLiteral("x")); }),
            "Dataset not in edit or insert mode");
  query->Edit();
  name->SetAsString(old_name);  // the same value still counts as a change
  EXPECT_TRUE(query->Modified());
  name->SetAsString(QStringLiteral("Changed"));
  EXPECT_EQ(name->DisplayText(), QStringLiteral("Changed"));
  query->Cancel();
  EXPECT_EQ(query->State(), dsBrowse);
  EXPECT_EQ(name->AsString(), old_name);
  query->Cancel();  // nothing pending: nothing
  query->Post();
  EXPECT_EQ(query->State(), dsBrowse);
  query->Close();
  query->Open();
  EXPECT_EQ(FileHash(), before);
}

TEST_F(QueryTest, AutonumberFieldsAreReadOnly) {
  SKIP_WITHOUT_FIXTURE("types.mdb");
  auto query = OpenQuery(QStringLiteral("SELECT * FROM AutoKey"));
  Field* id = query->FieldByName(QStringLiteral("ID"));
  EXPECT_EQ(id->DataType(), ftAutoInc);
  EXPECT_TRUE(id->ReadOnly());
  EXPECT_FALSE(query->FieldByName(QStringLiteral("Label"))->ReadOnly());
  query->Edit();
  EXPECT_EQ(ErrorText([&] { id->SetAsInteger(99); }), "Field 'ID' cannot be modified");
  EXPECT_FALSE(query->Modified());
}

TEST_F(QueryTest, NotificationsReachTheDataSourceWhileEnabled) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  auto query = OpenQuery(QStringLiteral("SELECT * FROM Magic"));
  DataSource source;
  source.SetDataSet(query.get());
  std::vector<std::string> events;
  QObject::connect(&source, &DataSource::BeforeRecordInsert, [&](int i) {
    events.push_back("before-insert " + std::to_string(i) + " n=" +
                     std::to_string(query->RecordCount()));
  });
  QObject::connect(&source, &DataSource::RecordInserted,
                   [&](int i) { events.push_back("inserted " + std::to_string(i)); });
  QObject::connect(&source, &DataSource::RecordRemoved,
                   [&](int i) { events.push_back("removed " + std::to_string(i)); });
  QObject::connect(&source, &DataSource::CurrentChanged,
                   [&](int i) { events.push_back("current " + std::to_string(i)); });
  QObject::connect(&source, &DataSource::StateChanged,
                   [&](TDataSetState s) { events.push_back("state " + std::to_string(s)); });
  query->Next();
  query->Insert();
  query->Cancel();
  EXPECT_EQ(events, (std::vector<std::string>{"current 1", "before-insert 1 n=56", "inserted 1",
                                              "current 1", "state 3", "removed 1", "current 1",
                                              "state 1"}));
  events.clear();
  source.SetEnabled(false);
  query->Next();
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(source.State(), dsBrowse);
}

}  // namespace
