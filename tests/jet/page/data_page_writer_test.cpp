// Slot operations of the write path on Jet4 data pages.

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "page/data_page_writer.h"
#include "jet/error.h"

namespace jet {
namespace {

constexpr uint32_t kPageSize = 4096;
constexpr uint32_t kHeader = 0x0E;

std::vector<uint8_t> Bytes(size_t n, uint8_t fill) { return std::vector<uint8_t>(n, fill); }

class DataPageWriteTest : public testing::Test {
 protected:
  DataPageWriteTest() : page_(kPageSize) { WritableDataPage::Init(page_, kHeader, 77); }
  WritableDataPage View() { return WritableDataPage(page_, kHeader, "t.mdb", 5); }
  // Every slot's bytes, checked against the invariants from scratch.
  void ExpectConsistent() {
    WritableDataPage p = View();
    uint32_t used = 0;
    for (int i = 0; i < p.slot_count(); ++i) used += p.length(i);
    EXPECT_EQ(p.ComputedFreeSpace(), kPageSize - kHeader - 2u * p.slot_count() - used);
    EXPECT_EQ(p.StoredFreeSpace(), p.ComputedFreeSpace());
  }
  std::vector<uint8_t> page_;
};

TEST_F(DataPageWriteTest, EmptyPageHasJet4FreeSpace) {
  WritableDataPage p = View();
  EXPECT_EQ(p.slot_count(), 0);
  EXPECT_EQ(p.StoredFreeSpace(), 4082);
  EXPECT_EQ(p.owner(), 77u);
  EXPECT_EQ(page_[0], 0x01);
}

TEST_F(DataPageWriteTest, InsertPacksRowsDownwardInSlotOrder) {
  WritableDataPage p = View();
  EXPECT_EQ(p.Insert(Bytes(10, 0xA1)), 0);
  EXPECT_EQ(p.Insert(Bytes(20, 0xB2)), 1);
  EXPECT_EQ(p.start(0), kPageSize - 10);
  EXPECT_EQ(p.start(1), kPageSize - 30);
  EXPECT_EQ(p.StoredFreeSpace(), 4082 - 12 - 22);
  EXPECT_EQ(page_[0x0C], 2);
  ExpectConsistent();
}

TEST_F(DataPageWriteTest, FillsExactlyToTheFreeSpaceAndRefusesMore) {
  WritableDataPage p = View();
  p.Insert(Bytes(4000, 1));
  const uint32_t rest = p.ComputedFreeSpace() - 2;
  EXPECT_TRUE(p.CanInsert(rest));
  EXPECT_FALSE(p.CanInsert(rest + 1));
  p.Insert(Bytes(rest, 2));
  EXPECT_EQ(p.ComputedFreeSpace(), 0u);
  EXPECT_FALSE(p.CanInsert(0));
  ExpectConsistent();
}

TEST_F(DataPageWriteTest, AtMost255Slots) {
  WritableDataPage p = View();
  for (int i = 0; i < 255; ++i) p.Insert(Bytes(1, static_cast<uint8_t>(i)));
  EXPECT_FALSE(p.CanInsert(1));
  ExpectConsistent();
}

TEST_F(DataPageWriteTest, DeleteSetsBothFlagsAndMovesLaterRowsUp) {
  WritableDataPage p = View();
  p.Insert(Bytes(10, 0xA1));
  p.Insert(Bytes(20, 0xB2));
  p.Insert(Bytes(30, 0xC3));
  p.Delete(1);
  EXPECT_EQ(p.flags(1), WritableDataPage::kDeleted | WritableDataPage::kOverflow);
  EXPECT_EQ(p.length(1), 0u);
  EXPECT_EQ(p.flags(2), 0);
  EXPECT_EQ(p.Row(2).size(), 30u);
  for (uint8_t b : p.Row(2)) EXPECT_EQ(b, 0xC3);
  for (uint8_t b : p.Row(0)) EXPECT_EQ(b, 0xA1);
  EXPECT_EQ(p.StoredFreeSpace(), 4082 - 3 * 2 - 40);
  ExpectConsistent();
  // The slot number stays taken: the next insert gets slot 3.
  EXPECT_EQ(p.Insert(Bytes(5, 0xD4)), 3);
  ExpectConsistent();
}

TEST_F(DataPageWriteTest, DeleteOfFirstAndLastSlots) {
  WritableDataPage p = View();
  p.Insert(Bytes(10, 0xA1));
  p.Insert(Bytes(20, 0xB2));
  p.Delete(0);
  EXPECT_EQ(p.start(0), kPageSize);  // an empty slot at the very end (offset word 0x1000)
  for (uint8_t b : p.Row(1)) EXPECT_EQ(b, 0xB2);
  p.Delete(1);
  EXPECT_EQ(p.ComputedFreeSpace(), 4082u - 4);
  ExpectConsistent();
}

TEST_F(DataPageWriteTest, ReplaceSameShrunkAndGrownKeepsNeighbours) {
  WritableDataPage p = View();
  p.Insert(Bytes(10, 0xA1));
  p.Insert(Bytes(20, 0xB2));
  p.Insert(Bytes(30, 0xC3));
  p.SetFlags(1, WritableDataPage::kOverflow);
  p.Replace(1, Bytes(20, 0xEE));  // same size
  p.Replace(1, Bytes(7, 0x77));   // shrunk
  EXPECT_EQ(p.Row(1).size(), 7u);
  p.Replace(1, Bytes(300, 0x33));  // grown
  EXPECT_EQ(p.Row(1).size(), 300u);
  EXPECT_EQ(p.flags(1), WritableDataPage::kOverflow);  // flags survive
  for (uint8_t b : p.Row(0)) EXPECT_EQ(b, 0xA1);
  for (uint8_t b : p.Row(1)) EXPECT_EQ(b, 0x33);
  for (uint8_t b : p.Row(2)) EXPECT_EQ(b, 0xC3);
  EXPECT_EQ(p.StoredFreeSpace(), 4082 - 6 - 340);
  ExpectConsistent();
}

TEST_F(DataPageWriteTest, GrowthLimitedByFreeSpace) {
  WritableDataPage p = View();
  p.Insert(Bytes(100, 1));
  p.Insert(Bytes(3000, 2));
  const uint32_t free = p.ComputedFreeSpace();
  EXPECT_TRUE(p.CanReplace(0, 100 + free));
  EXPECT_FALSE(p.CanReplace(0, 100 + free + 1));
  p.Replace(0, Bytes(100 + free, 9));
  EXPECT_EQ(p.ComputedFreeSpace(), 0u);
  for (uint8_t b : p.Row(1)) EXPECT_EQ(b, 2);
  ExpectConsistent();
}

TEST_F(DataPageWriteTest, MalformedSlotTablesAreCorrupt) {
  View().Insert(Bytes(10, 1));
  page_[0x0E] = 0x00;  // slot 0 offset now 0x0000, inside the header
  page_[0x0F] = 0x00;
  EXPECT_THROW(View(), Error);
  page_[0x0C] = 0xFF;  // 255+ slots whose table runs past real rows
  page_[0x0D] = 0x01;
  try {
    View();
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::kCorrupt);
    EXPECT_NE(std::string(e.what()).find("page 5"), std::string::npos);
  }
  page_[0] = 0x02;
  EXPECT_THROW(View(), Error);
}

}  // namespace
}  // namespace jet
