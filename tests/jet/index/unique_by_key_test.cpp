// A unique text index under the General order refuses a value whose exact key equals another
// row's key, and takes values whose keys differ, whatever their text equality says.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

TEST(UniqueByKeyTest, EqualKeysCollideDifferentKeysDoNot) {
  struct Pair {
    std::u16string first, second;
    bool duplicate;
  };
  const std::vector<Pair> pairs = {
      {u"Ａ", u"A", true},   {u"ĳ", u"ij", true},        {u"Wolf", u"WOLF ", true},
      {u"ャ", u"ゃ", true},  {u"œuvre", u"oeuvre", true}, {u"ｱ", u"ア", true},
      {u"ﬁ", u"fi", true},   {u"ǅ", u"Dž", true},
      {u"é", u"e", false},   {u"co-op", u"coop", false}, {u"Wolf", u"Wolf0", false},
      {u"ゃ", u"や", false},
  };
  testutil::TempDir dir;
  for (size_t k = 0; k < pairs.size(); ++k) {
    const Pair& p = pairs[k];
    SCOPED_TRACE(ToUtf8(p.first) + " / " + ToUtf8(p.second));
    const std::string path = dir.File("u" + std::to_string(k) + ".mdb");
    auto db = Database::Create(path);
    db->Execute("CREATE TABLE u (t TEXT(20))");
    db->Execute("CREATE UNIQUE INDEX ut ON u (t)");
    db->InsertRow(u"u", {Value(p.first)});
    const uint64_t before = testutil::HashFile(path);
    bool refused = false;
    try {
      db->InsertRow(u"u", {Value(p.second)});
    } catch (const Error& e) {
      refused = true;
      EXPECT_EQ(e.kind(), Error::Kind::kConstraint) << e.what();
    }
    EXPECT_EQ(refused, p.duplicate);
    if (refused) {
      EXPECT_EQ(testutil::HashFile(path), before);
    }
  }
}

}  // namespace
}  // namespace jet
