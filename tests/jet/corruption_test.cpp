// Malformed files: truncated copies, random byte flips and hand-made pointer loops must end in
// jet::Error or in valid data, never a crash, a hang or a huge allocation. (Run this suite in
// the address,undefined sanitizer build.)

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "page/data_page.h"
#include "db/database_impl.h"
#include "jet/database.h"
#include "support/fixtures.h"
#include "page/usage_map.h"

namespace jet {
namespace {

using fixtures::ScratchDir;

// Opens `path` and reads everything through the public API. Returns "" when the file read fine,
// else the jet::Error message; any other exception fails the test.
std::string WalkAll(const std::string& path) {
  try {
    auto db = Database::Open(path);
    db->Objects();
    for (const TableListEntry& e : db->ListTables()) {
      if (e.type != "TABLE") continue;
      TableDef t = db->GetTable(e.name);
      std::vector<RowId> ids;
      db->Scan(t, [&](RowId id, std::vector<Value>&) {
        ids.push_back(id);
        return true;
      });
      for (RowId id : ids) db->ReadRow(t, id);
    }
    return "";
  } catch (const Error& e) {
    return e.what();
  } catch (const std::exception& e) {
    ADD_FAILURE() << path << ": unexpected " << typeid(e).name() << ": " << e.what();
    return "bad";
  }
}

const char* const kSmallFiles[] = {
    "types.mdb",
    "access/jackcess-V1997-testV1997.mdb",
    "access/jackcess-V2000-overflowTestV2000.mdb",
    "access/jackcess-V1997-test2V1997.mdb",
};

TEST(Corruption, TruncatedCopies) {
  MDB_REQUIRE_FIXTURES();
  ScratchDir dir;
  for (const char* name : kSmallFiles) {
    const std::vector<uint8_t> bytes = fixtures::ReadBytes(fixtures::Path(name));
    const size_t page = bytes[0x14] == 0 ? 2048 : 4096;
    std::mt19937 rng(7);
    std::vector<size_t> sizes = {0, 1, 100, page - 1, page, page + 1, 2 * page, 3 * page};
    for (int i = 0; i < 20; ++i) sizes.push_back(page * (rng() % (bytes.size() / page)));
    for (int i = 0; i < 10; ++i) sizes.push_back(rng() % bytes.size());
    for (size_t size : sizes) {
      std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(size));
      std::string msg = WalkAll(dir.Write("cut.mdb", cut));
      if (size % page != 0 || size < 2 * page) {
        EXPECT_FALSE(msg.empty()) << name << " cut at " << size;
      }
    }
  }
}

TEST(Corruption, RandomByteFlips) {
  MDB_REQUIRE_FIXTURES();
  ScratchDir dir;
  int errors = 0;
  int clean = 0;
  for (const char* name : kSmallFiles) {
    const std::vector<uint8_t> bytes = fixtures::ReadBytes(fixtures::Path(name));
    const size_t page = bytes[0x14] == 0 ? 2048 : 4096;
    std::mt19937 rng(1234);
    for (int round = 0; round < 100; ++round) {
      std::vector<uint8_t> mutated = bytes;
      const int flips = 1 + static_cast<int>(rng() % 8);
      // Half the rounds hit the catalog definition and the first pages, where structure lives.
      const size_t span = round % 2 == 0 ? 4 * page : mutated.size() - page;
      for (int f = 0; f < flips; ++f) {
        size_t at = page + rng() % span;
        mutated[at] = static_cast<uint8_t>(rng());
      }
      std::string msg = WalkAll(dir.Write("flip.mdb", mutated));
      (msg.empty() ? clean : errors)++;
    }
  }
  EXPECT_GT(errors, 0);
  EXPECT_GT(clean, 0);
}

// A writable copy of types.mdb and its definition of AllTypes.
class LoopTest : public testing::Test {
 protected:
  void SetUp() override {
    MDB_REQUIRE_FIXTURES();
    path_ = dir_.Copy("types.mdb");
    bytes_ = fixtures::ReadBytes(path_);
    db_ = Database::Open(path_);
    info_ = DatabaseInternals::Of(*db_).TableByName(u"AllTypes");
  }
  uint8_t* PageBytes(uint32_t n) { return bytes_.data() + static_cast<size_t>(n) * 4096; }
  void PutU32(uint8_t* at, uint32_t v) { std::memcpy(at, &v, 4); }
  std::string Save() { return dir_.Write("loop.mdb", bytes_); }

  ScratchDir dir_;
  std::string path_;
  std::vector<uint8_t> bytes_;
  std::unique_ptr<Database> db_;
  std::shared_ptr<const TableInfo> info_;
};

TEST_F(LoopTest, LongValueChainPointingToItself) {
  // Find the first segment of a chained long value: an LVAL row whose first 4 bytes point to
  // another LVAL row, while no row points to it. Make it point to itself.
  const File& file = DatabaseInternals::Of(*db_).file();
  std::vector<uint32_t> segments;
  std::vector<uint32_t> targets;
  for (uint32_t n = 3; n < file.page_count(); ++n) {
    Page p = file.ReadPage(n);
    if (p.type() != kPageTypeData || p.reader().U32(4) != kLvalOwner) continue;
    DataPage dp(p, file.info());
    for (uint16_t i = 0; i < dp.slot_count(); ++i) {
      Slot s = dp.GetSlot(i);
      if (s.deleted() || s.end - s.start < 8) continue;
      uint32_t next = dp.Row(s).U32(0);
      if ((next >> 8) == 0 || (next >> 8) >= file.page_count()) continue;
      Page target = file.ReadPage(next >> 8);
      if (target.type() != kPageTypeData || target.reader().U32(4) != kLvalOwner) continue;
      segments.push_back(n << 8 | i);
      targets.push_back(next);
    }
  }
  uint32_t head = 0;
  for (uint32_t s : segments) {
    if (std::find(targets.begin(), targets.end(), s) == targets.end()) head = s;
  }
  ASSERT_NE(0u, head) << "types.mdb has no chained long value";
  DataPage dp(file.ReadPage(head >> 8), file.info());
  PutU32(PageBytes(head >> 8) + dp.GetSlot(head & 0xFF).start, head);
  std::string msg = WalkAll(Save());
  EXPECT_NE(std::string::npos, msg.find("loops")) << msg;
}

TEST_F(LoopTest, DefinitionChainPointingToItself) {
  PutU32(PageBytes(info_->def.tdef_page) + 4, info_->def.tdef_page);
  std::string msg = WalkAll(Save());
  EXPECT_NE(std::string::npos, msg.find("loop")) << msg;
}

TEST_F(LoopTest, UsageMapPointingAtItsOwnPage) {
  // Turn the owned-pages map into a reference map whose bitmap page is the map's own page.
  const uint32_t map_page = info_->owned_map >> 8;
  DataPage dp(DatabaseInternals::Of(*db_).file().ReadPage(map_page), DatabaseInternals::Of(*db_).file().info());
  Slot s = dp.GetSlot(info_->owned_map & 0xFF);
  PageBytes(map_page)[s.start] = 0x01;
  PutU32(PageBytes(map_page) + s.start + 1, map_page);
  std::string msg = WalkAll(Save());
  EXPECT_NE(std::string::npos, msg.find("bitmap page")) << msg;
}

TEST_F(LoopTest, OverflowRowPointingToItself) {
  std::vector<RowId> ids;
  db_->Scan(info_->def, [&](RowId id, std::vector<Value>&) {
    ids.push_back(id);
    return true;
  });
  const RowId id = ids.at(3);
  uint8_t* page = PageBytes(id.page);
  const size_t slot_at = 0x0E + 2u * id.row;
  uint16_t word;
  std::memcpy(&word, page + slot_at, 2);
  word = static_cast<uint16_t>(word | kSlotOverflow);
  std::memcpy(page + slot_at, &word, 2);
  PutU32(page + (word & kSlotOffsetMask), id.page << 8 | id.row);
  std::string msg = WalkAll(Save());
  EXPECT_NE(std::string::npos, msg.find("loop")) << msg;
}

}  // namespace
}  // namespace jet
