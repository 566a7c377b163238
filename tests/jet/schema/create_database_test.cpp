// Database::Create: a new empty Access 2000 database built by the engine, its system catalog,
// and what independent readers make of it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "db/database_impl.h"
#include "jet/check.h"
#include "jet/database.h"
#include "support/write_test_util.h"
#include "table/tdef_writer.h"

namespace jet {
namespace {

using testutil::TempDir;

std::map<std::u16string, CatalogObject> ObjectsByName(const Database& db) {
  std::map<std::u16string, CatalogObject> out;
  for (const CatalogObject& obj : db.Objects()) out.emplace(obj.name, obj);
  return out;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct Expected {
  std::u16string name;
  int32_t id;
  int32_t parent;
  int16_t type;
  uint32_t flags;
};
// The catalog rows every Access 2000 blank database has (Id 0 = any).
const Expected kExpected[] = {
    {u"Tables", 0x0F000001, 0x0F000000, 3, 0x80000000u},
    {u"Databases", 0x0F000002, 0x0F000000, 3, 0x80000000u},
    {u"Relationships", 0x0F000003, 0x0F000000, 3, 0x80000000u},
    {u"MSysDb", 0x10000000, 0x0F000002, 2, 0x80000000u},
    {u"MSysObjects", 2, 0x0F000001, 1, 0x80000000u},
    {u"MSysACEs", 3, 0x0F000001, 1, 0x80000000u},
    {u"MSysQueries", 4, 0x0F000001, 1, 0x80000000u},
    {u"MSysRelationships", 5, 0x0F000001, 1, 0x80000000u},
    {u"MSysAccessObjects", 0, 0x0F000001, 1, 2},
    {u"Forms", 0, 0x0F000000, 3, 0},
    {u"Reports", 0, 0x0F000000, 3, 0},
    {u"Scripts", 0, 0x0F000000, 3, 0},
    {u"Modules", 0, 0x0F000000, 3, 0},
    {u"SysRel", 0, 0x0F000000, 3, 0},
    {u"DataAccessPages", 0, 0x0F000000, 3, 0},
};

TEST(CreateDatabaseTest, EmptyDatabaseHoldsTheSystemCatalog) {
  TempDir dir;
  const std::string file = dir.File("new.mdb");
  {
    auto db = Database::Create(file);
    EXPECT_FALSE(db->read_only());
  }
  auto db = Database::Open(file);
  EXPECT_EQ(db->format(), Format::kJet4);
  EXPECT_EQ(db->code_page(), 1252);
  EXPECT_EQ(db->sort_order(), 0x0409);
  EXPECT_TRUE(db->ListTables().empty());

  const auto objects = ObjectsByName(*db);
  for (const Expected& e : kExpected) {
    auto it = objects.find(e.name);
    ASSERT_NE(it, objects.end()) << ToUtf8(e.name);
    if (e.id != 0) {
      EXPECT_EQ(it->second.id, e.id) << ToUtf8(e.name);
    }
    EXPECT_EQ(it->second.parent_id, e.parent) << ToUtf8(e.name);
    EXPECT_EQ(it->second.type, e.type) << ToUtf8(e.name);
    EXPECT_EQ(it->second.flags, e.flags) << ToUtf8(e.name);
  }

  const TableDef catalog = db->GetTable(u"MSysObjects");
  EXPECT_EQ(catalog.tdef_page, 2u);
  EXPECT_TRUE(catalog.system);
  ASSERT_EQ(catalog.columns.size(), 17u);
  EXPECT_EQ(catalog.columns[2].name, u"Name");
  EXPECT_EQ(catalog.columns[14].name, u"LvProp");
  EXPECT_EQ(catalog.row_count, objects.size());
  ASSERT_EQ(catalog.indexes.size(), 2u);
  EXPECT_EQ(db->GetTable(u"MSysRelationships").indexes.size(), 3u);
  EXPECT_EQ(db->GetTable(u"MSysQueries").columns.size(), 8u);
  EXPECT_EQ(db->GetTable(u"MSysACEs").columns.size(), 4u);

  const CheckReport report = CheckFile(file);
  EXPECT_TRUE(report.ok()) << report.problems.front();
  EXPECT_EQ(report.tables, 5);
  EXPECT_EQ(report.rows, static_cast<long>(objects.size()));
}

TEST(CreateDatabaseTest, HeaderPageIsMaskedAndDescribesAJet4File) {
  TempDir dir;
  const std::string file = dir.File("h.mdb");
  Database::Create(file);
  const std::vector<uint8_t> bytes = ReadBytes(file);
  ASSERT_EQ(bytes.size() % 4096, 0u);
  ASSERT_GE(bytes.size(), 4096u * 8);
  EXPECT_EQ(std::string(bytes.begin() + 4, bytes.begin() + 19), "Standard Jet DB");
  EXPECT_EQ(bytes[0x14], 1);
  // The code page sits inside the masked block: stored bytes differ from 1252.
  EXPECT_FALSE(bytes[0x3C] == 0xE4 && bytes[0x3D] == 0x04);
  EXPECT_EQ(bytes[4096], 0x01) << "page 1 is a data page";
  EXPECT_EQ(bytes[2 * 4096], 0x02) << "page 2 is MSysObjects' definition";
}

TEST(CreateDatabaseTest, RefusesAnExistingPathAndLeavesItAlone) {
  TempDir dir;
  const std::string file = dir.File("taken.mdb");
  { std::ofstream(file) << "not a database"; }
  const uint64_t before = testutil::HashFile(file);
  try {
    Database::Create(file);
    FAIL() << "an existing file was overwritten";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::kInvalidArgument);
    EXPECT_NE(std::string(e.what()).find("exists"), std::string::npos) << e.what();
  }
  EXPECT_EQ(testutil::HashFile(file), before);

  const std::string nowhere = dir.File("missing/dir/x.mdb");
  EXPECT_THROW(Database::Create(nowhere), Error);
  EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// The definition of system table `name` with the bytes that legitimately differ between two
// blank databases blanked: the row count, the real-index count blocks, fields Access leaves
// uninitialised (fixed offsets of variable columns, flags of unused index-column slots, the
// unknown word at 0x2A of a real index).
std::vector<uint8_t> ComparableDefinition(const Database& db, std::u16string_view name) {
  const TableInfo& t = *DatabaseInternals::Of(db).TableByName(name);
  const TdefSections sec = LocateSections(t, db.path(), FormatFor(Format::kJet4));
  std::vector<uint8_t> raw = t.raw;
  std::fill(raw.begin() + 0x10, raw.begin() + 0x14, uint8_t{0});
  std::fill(raw.begin() + static_cast<long>(sec.count_blocks),
            raw.begin() + static_cast<long>(sec.columns), uint8_t{0});
  for (size_t c = sec.columns; c < sec.column_names; c += 25) {
    if ((raw[c + 0x0F] & 0x01) == 0) raw[c + 0x15] = raw[c + 0x16] = 0;
  }
  for (size_t r = sec.real_defs; r < sec.logical_defs; r += 52) {
    for (size_t slot = 0; slot < 10; ++slot) {
      if (raw[r + 4 + 3 * slot] == 0xFF && raw[r + 5 + 3 * slot] == 0xFF) raw[r + 6 + 3 * slot] = 0;
    }
    std::fill(raw.begin() + static_cast<long>(r + 0x2A), raw.begin() + static_cast<long>(r + 0x2E),
              uint8_t{0});
  }
  return raw;
}

TEST(CreateDatabaseTest, SystemTableDefinitionsMatchAccessBlankDatabase) {
  const std::string fixture = testutil::FixturePath("access/mdbreader-V2000-empty.mdb");
  if (fixture.empty()) GTEST_SKIP() << "../shared is absent";
  TempDir dir;
  const std::string file = dir.File("blank.mdb");
  Database::Create(file);
  auto ours = Database::Open(file);
  auto access = Database::Open(fixture);
  for (const char16_t* name : {u"MSysObjects", u"MSysACEs", u"MSysQueries", u"MSysRelationships"}) {
    EXPECT_EQ(ComparableDefinition(*ours, name), ComparableDefinition(*access, name))
        << ToUtf8(name);
    EXPECT_EQ(ours->GetTable(name).tdef_page, access->GetTable(name).tdef_page) << ToUtf8(name);
  }
  const TableDef a = access->GetTable(u"MSysAccessObjects");
  const TableDef b = ours->GetTable(u"MSysAccessObjects");
  ASSERT_EQ(a.columns.size(), b.columns.size());
  for (size_t i = 0; i < a.columns.size(); ++i) {
    EXPECT_EQ(a.columns[i].name, b.columns[i].name);
    EXPECT_EQ(a.columns[i].type, b.columns[i].type);
    EXPECT_EQ(a.columns[i].flags, b.columns[i].flags);
    EXPECT_EQ(a.columns[i].length, b.columns[i].length);
  }
}

TEST(CreateDatabaseTest, MdbtoolsReadsTheEmptyDatabase) {
  if (!testutil::MdbtoolsComparisonAvailable())
    GTEST_SKIP() << "mdbtools, node or ../shared absent";
  TempDir dir;
  const std::string file = dir.File("empty.mdb");
  Database::Create(file);
  int status = 0;
  const std::string ver = testutil::RunCommand("mdb-ver '" + file + "'", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ver, "JET4\n");
  const std::string system = testutil::RunCommand("mdb-tables -1 -S '" + file + "'", &status);
  EXPECT_EQ(status, 0);
  for (const char* name :
       {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships", "MSysAccessObjects"}) {
    EXPECT_NE(system.find(name), std::string::npos) << name << " missing from:\n" << system;
  }
  EXPECT_EQ(testutil::RunCommand("mdb-tables -1 '" + file + "'"), "");
  EXPECT_EQ(testutil::CompareWithMdbtools(dir, file), "AGREE");
}

}  // namespace
}  // namespace jet
