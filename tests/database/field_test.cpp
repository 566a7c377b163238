#include "database/field.h"

#include <QDateTime>
#include <gtest/gtest.h>

#include "database/query.h"
#include "db_test_util.h"
#include "jet/error.h"

namespace {

using namespace database;  // NOLINT: the toolkit's ft* names

class FieldTest : public dbtest::DbTest {
 protected:
  void OpenAllTypes() { query_ = OpenQuery(QStringLiteral("SELECT * FROM AllTypes")); }
  // Display text of `field` in the record whose RowNo is `row`.
  QString Text(int row, const char* field) {
    query_->First();
    query_->MoveBy(row - 1);
    EXPECT_EQ(query_->FieldByName(QStringLiteral("RowNo"))->AsInteger(), row);
    return query_->FieldByName(QString::fromUtf8(field))->DisplayText();
  }
  std::string Error(const char* field, const QString& text) {
    try {
      query_->FieldByName(QString::fromUtf8(field))->SetAsString(text);
    } catch (const jet::Error& e) {
      return e.what();
    }
    return "(no error)";
  }
  std::unique_ptr<Query> query_;
};

TEST_F(FieldTest, ColumnTypesArriveAsFieldTypes) {
  SKIP_WITHOUT_FIXTURE("types.mdb");
  OpenAllTypes();
  const std::pair<const char*, TFieldType> expected[] = {
      {"RowNo", ftInteger}, {"Flag", ftBoolean}, {"U8", ftWord},      {"I16", ftSmallint},
      {"I32", ftInteger},   {"F32", ftFloat},    {"F64", ftFloat},    {"Cur", ftBCD},
      {"Dec", ftBCD},       {"DecInt", ftFMTBcd}, {"DT", ftDateTime}, {"Txt", ftWideString},
      {"TxtU", ftWideString}, {"Note", ftWideMemo}, {"Blob", ftBlob}, {"Gid", ftGuid}};
  ASSERT_EQ(query_->FieldCount(), 17);
  for (const auto& [name, type] : expected) {
    EXPECT_EQ(query_->FieldByName(QString::fromUtf8(name))->DataType(), type) << name;
  }
  const TFieldType bin = query_->FieldByName(QStringLiteral("Bin"))->DataType();
  EXPECT_TRUE(bin == ftBytes || bin == ftVarBytes);
  EXPECT_EQ(query_->FieldByName(QStringLiteral("Txt"))->Size(), 100);
}

TEST_F(FieldTest, DisplayTextsFollowTheTypeAndTheLocale) {
  SKIP_WITHOUT_FIXTURE("types.mdb");
  OpenAllTypes();
  const QString bin_tag = query_->FieldByName(QStringLiteral("Bin"))->DataType() == ftBytes
                              ? QStringLiteral("BYTES")
                              : QStringLiteral("VARBYTES");
  struct Case {
    int row;
    const char* field;
    QString text;
  } cases[] = {
      {3, "U8", "255"}, {3, "I16", "32767"}, {4, "I32", "-2147483648"},
      {3, "F32", "3,40282346638529E38"}, {3, "F64", "1,79769313486232E308"},
      {3, "Cur", "922337203685477,5807"}, {4, "Cur", "-922337203685477,5808"},
      {3, "Dec", "99999999999999,9999"}, {3, "DecInt", "9999999999999999999999999999"},
      {3, "DT", "31.12.9999 23:59:59"}, {4, "DT", "01.01.0100"},
      {3, "Note", "(WIDEMEMO)"}, {3, "Blob", "(BLOB)"}, {3, "Bin", "(" + bin_tag + ")"},
      {3, "Txt", "最大值"}, {4, "Gid", "{12345678-9ABC-DEF0-1234-56789ABCDEF0}"},
      {5, "Flag", "True"}, {6, "Flag", "False"}, {5, "F32", "0,100000001490116"},
      {5, "F64", "0,1"}, {5, "Cur", "-0,0001"}, {5, "DT", "29.12.1899 06:00:00"},
      {6, "Cur", "1234,5"}, {6, "DT", "01.01.1800"}, {6, "F64", "4,94065645841247E-324"},
      {8, "F64", "0,3"}, {9, "F32", "10000000000"}, {9, "F64", "1E21"},
      {9, "DT", "03.02.2001 04:05:06"}, {10, "F64", "1E-7"}, {10, "DT", "01.01.1970 00:00:00"},
      {14, "F64", "2,2250738585072E-308"}, {17, "F64", "4,5035996273705E15"},
      {12, "F64", "0"}, {13, "F64", "9,00719925474099E15"}, {13, "F32", "16777216"},
      {15, "Txt", ""}, {16, "F64", ""}, {16, "Note", "(WideMemo)"}, {16, "Blob", "(Blob)"},
      {2, "Bin", bin_tag == u"BYTES" ? QStringLiteral("(Bytes)") : QStringLiteral("(VarBytes)")},
      {2, "Flag", "False"}, {2, "U8", ""}, {2, "Gid", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(c.row, c.field), c.text) << "row " << c.row << " " << c.field;
  }
}

TEST_F(FieldTest, ValuesAreVariantsAndNullIsInvalid) {
  SKIP_WITHOUT_FIXTURE("types.mdb");
  OpenAllTypes();
  query_->MoveBy(2);  // RowNo 3
  EXPECT_EQ(query_->FieldByName(QStringLiteral("U8"))->Value(), QVariant(255));
  EXPECT_EQ(query_->FieldByName(QStringLiteral("Flag"))->Value(), QVariant(true));
  EXPECT_EQ(query_->FieldByName(QStringLiteral("DecInt"))->Value(),
            QVariant(QStringLiteral("9999999999999999999999999999")));
  EXPECT_EQ(query_->FieldByName(QStringLiteral("Note"))->AsString(), QStringLiteral("max"));
  const QDateTime dt = query_->FieldByName(QStringLiteral("DT"))->Value().toDateTime();
  EXPECT_EQ(dt.date(), QDate(9999, 12, 31));
  EXPECT_EQ(dt.time(), QTime(23, 59, 59));
  query_->Prior();  // RowNo 2: nulls
  EXPECT_FALSE(query_->FieldByName(QStringLiteral("I32"))->Value().isValid());
  EXPECT_TRUE(query_->FieldByName(QStringLiteral("Note"))->IsNull());
  EXPECT_EQ(query_->FieldByName(QStringLiteral("Note"))->AsString(), QString());
  EXPECT_EQ(query_->FieldByName(QStringLiteral("I32"))->AsInteger(), 0);
  // Grid access reads any record without moving.
  EXPECT_EQ(query_->DisplayTextAt(2, 1), QStringLiteral("True"));
  EXPECT_TRUE(query_->IsNullAt(1, 4));
  EXPECT_EQ(query_->RecNo(), 2);
}

TEST_F(FieldTest, UsLocaleUsesAPointAndMonthFirstDates) {
  SKIP_WITHOUT_FIXTURE("types.mdb");
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  OpenAllTypes();
  EXPECT_EQ(Text(5, "F64"), QStringLiteral("0.1"));
  EXPECT_EQ(Text(7, "DT"), QStringLiteral("1/1/1900"));
  EXPECT_EQ(Text(6, "Cur"), QStringLiteral("1234.5"));
}

TEST_F(FieldTest, TextAssignmentsConvertToTheColumnType) {
  SKIP_WITHOUT_FIXTURE("types.mdb");
  OpenAllTypes();
  query_->Edit();
  auto set = [&](const char* field, const QString& text) {
    Field* f = query_->FieldByName(QString::fromUtf8(field));
    f->SetAsString(text);
    return f->DisplayText();
  };
  EXPECT_EQ(set("Cur", "12,5"), QStringLiteral("12,5"));
  EXPECT_EQ(set("Cur", "-0,00005"), QStringLiteral("-0,0001"));  // half away from zero
  EXPECT_EQ(set("Dec", "1,23456"), QStringLiteral("1,2346"));
  EXPECT_EQ(set("DecInt", "-42"), QStringLiteral("-42"));
  EXPECT_EQ(set("F64", "2,5"), QStringLiteral("2,5"));
  EXPECT_EQ(set("U8", " 7 "), QStringLiteral("7"));
  EXPECT_EQ(set("Flag", "false"), QStringLiteral("False"));
  EXPECT_EQ(set("DT", "24.12.2023 13:45:10"), QStringLiteral("24.12.2023 13:45:10"));
  EXPECT_EQ(set("DT", "2023-12-24"), QStringLiteral("24.12.2023"));
  EXPECT_EQ(set("Gid", "{6F9619FF-8B86-D011-B42D-00C04FC964FF}"),
            QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"));
  EXPECT_EQ(set("I32", ""), QString());  // empty text: NULL for numbers
  EXPECT_TRUE(query_->FieldByName(QStringLiteral("I32"))->IsNull());
  EXPECT_EQ(set("Txt", ""), QString());  // but an empty text for text
  EXPECT_FALSE(query_->FieldByName(QStringLiteral("Txt"))->IsNull());
  query_->FieldByName(QStringLiteral("Txt"))->SetAsInteger(-15);
  EXPECT_EQ(query_->FieldByName(QStringLiteral("Txt"))->AsString(), QStringLiteral("-15"));
  query_->FieldByName(QStringLiteral("I16"))->SetValue(QVariant(qlonglong(-5)));
  EXPECT_EQ(query_->FieldByName(QStringLiteral("I16"))->Value(), QVariant(-5));
  query_->Cancel();
}

TEST_F(FieldTest, ValuesThatDoNotFitAreRefusedAndLeaveTheFieldAlone) {
  SKIP_WITHOUT_FIXTURE("types.mdb");
  OpenAllTypes();
  query_->Edit();
  EXPECT_EQ(Error("U8", "256"),
            "256 is not a valid value for field 'U8'. The allowed range is 0 to 255");
  EXPECT_EQ(Error("I16", "abc"), "'abc' is not a valid integer value");
  EXPECT_EQ(Error("I16", "40000"),
            "40000 is not a valid value for field 'I16'. The allowed range is -32768 to 32767");
  EXPECT_EQ(Error("F64", "x1"), "'x1' is not a valid floating point value");
  EXPECT_EQ(Error("DT", "31.02.2023"), "'31.02.2023' is not a valid date and time");
  EXPECT_EQ(Error("Flag", "maybe"), "'maybe' is not a valid boolean value");
  EXPECT_EQ(Error("Gid", "{1234}"), "'{1234}' is not a valid GUID value");
  EXPECT_NE(Error("DecInt", "12345678901234567890123456789"), "(no error)");  // 29 digits
  EXPECT_EQ(Error("Dec", "99999999999999,9999"), "(no error)");  // 18 digits fit
  EXPECT_NE(Error("Dec", "99999999999999,99999"), "(no error)");  // rounds up to 19 digits
  EXPECT_NE(Error("Dec", "999999999999999"), "(no error)");
  EXPECT_EQ(query_->FieldByName(QStringLiteral("U8"))->DisplayText(), QStringLiteral("0"));
  query_->Cancel();
}

}  // namespace
