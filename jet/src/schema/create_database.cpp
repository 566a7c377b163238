// Database::Create: a new, empty Access 2000 (Jet4) database built from nothing.
//
// What it holds, in page order:
//   0      header: engine name, version 1, code page 1252, General sort order (LCID 1033,
//          version 0), creation date, the password field as Access leaves it without a password
//   1      the global usage map (row 0) and the second, all-zero map row Access keeps there
//   2..5   TDEFs of MSysObjects, MSysACEs, MSysQueries, MSysRelationships (system tables)
//   6      the usage-map page those four share
//   7..13  their empty index roots
//   14..16 MSysAccessObjects (an Access system table): TDEF, usage-map page, index root
//   then   the MSysObjects rows: the Tables/Databases/Relationships containers, MSysDb with its
//          AccessVersion property, the five system tables, the Access containers (Forms,
//          Reports, Scripts, Modules, SysRel, DataAccessPages) and the SummaryInfo/UserDefined
//          documents.
// The file is created exclusively; if anything fails it is removed again.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "write/catalog_writer.h"
#include "page/data_page_writer.h"
#include "db/database_impl.h"
#include "page/file.h"
#include "jet/database.h"
#include "page/page_txn.h"
#include "schema/table_layout.h"
#include "util/write_bytes.h"
#include "page/format.h"

namespace jet {
namespace {

constexpr uint32_t kPageSize = 4096;
constexpr uint16_t kCodePage = 1252;
constexpr uint16_t kSortOrder = 0x0409;
constexpr int32_t kRootId = 0x0F000000;
constexpr int32_t kDatabasesId = 0x0F000002;

ColumnLayout Col(std::u16string name, ColumnType type, uint8_t flags, uint16_t length = 0) {
  ColumnLayout c;
  c.name = std::move(name);
  c.type = static_cast<uint8_t>(type);
  c.flags = flags;
  c.length = length;
  return c;
}

TableLayout SystemTable(std::u16string name, std::vector<ColumnLayout> columns,
                        std::vector<IndexLayout> indexes) {
  TableLayout t;
  t.name = std::move(name);
  t.system = true;
  t.number_in_descriptor = false;
  t.descriptors_by_name = true;
  for (size_t i = 0; i < columns.size(); ++i) columns[i].number = static_cast<uint16_t>(i);
  t.columns = std::move(columns);
  t.indexes = std::move(indexes);
  return t;
}

IndexLayout Idx(std::u16string name, std::vector<uint16_t> columns, uint8_t flags, bool primary) {
  IndexLayout idx;
  idx.name = std::move(name);
  for (uint16_t c : columns) idx.columns.push_back(IndexColumn{c, true});
  idx.real_flags = flags;
  idx.primary = primary;
  return idx;
}

// Column flags Access uses in its system tables: fixed 0x13, variable 0x12, the owner SID 0x32.
constexpr uint8_t kSysFixed = 0x13;
constexpr uint8_t kSysVar = 0x12;
constexpr uint8_t kSysOwner = 0x32;
constexpr uint16_t kText255 = 510;

TableLayout MSysObjects() {
  using T = ColumnType;
  return SystemTable(
      u"MSysObjects",
      {Col(u"Id", T::kLong, kSysFixed, 4), Col(u"ParentId", T::kLong, kSysFixed, 4),
       Col(u"Name", T::kText, kSysVar, kText255), Col(u"Type", T::kInt, kSysFixed, 2),
       Col(u"DateCreate", T::kDateTime, kSysFixed, 8),
       Col(u"DateUpdate", T::kDateTime, kSysFixed, 8),
       Col(u"Owner", T::kBinary, kSysOwner, kText255), Col(u"Flags", T::kLong, kSysFixed, 4),
       Col(u"Database", T::kMemo, kSysVar), Col(u"Connect", T::kMemo, kSysVar),
       Col(u"ForeignName", T::kText, kSysVar, kText255),
       Col(u"RmtInfoShort", T::kBinary, kSysVar, kText255), Col(u"RmtInfoLong", T::kOle, kSysVar),
       Col(u"Lv", T::kOle, kSysVar), Col(u"LvProp", T::kOle, kSysVar),
       Col(u"LvModule", T::kOle, kSysVar), Col(u"LvExtra", T::kOle, kSysVar)},
      {Idx(u"ParentIdName", {1, 2}, kIndexAlwaysSet | kIndexUnique, false), Idx(u"Id", {0}, kIndexAlwaysSet | kIndexUnique, true)});
}

std::vector<TableLayout> OtherSystemTables() {
  using T = ColumnType;
  std::vector<TableLayout> out;
  out.push_back(SystemTable(
      u"MSysACEs",
      {Col(u"ObjectId", T::kLong, kSysFixed, 4), Col(u"SID", T::kBinary, kSysOwner, kText255),
       Col(u"ACM", T::kLong, kSysFixed, 4), Col(u"FInheritable", T::kBoolean, kSysFixed, 1)},
      {Idx(u"ObjectId", {0}, kIndexAlwaysSet | kIndexRequired, false)}));
  out.push_back(SystemTable(
      u"MSysQueries",
      {Col(u"ObjectId", T::kLong, kSysFixed, 4), Col(u"Attribute", T::kByte, kSysFixed, 1),
       Col(u"Order", T::kBinary, kSysVar, kText255), Col(u"Name1", T::kText, kSysVar, kText255),
       Col(u"Name2", T::kText, kSysVar, kText255), Col(u"Expression", T::kMemo, kSysVar),
       Col(u"Flag", T::kInt, kSysFixed, 2), Col(u"LvExtra", T::kLong, kSysFixed, 4)},
      {Idx(u"ObjectIdAttribute", {0, 1, 2}, kIndexAlwaysSet | kIndexUnique, true)}));
  out.push_back(SystemTable(
      u"MSysRelationships",
      {Col(u"szRelationship", T::kText, kSysVar, kText255), Col(u"grbit", T::kLong, kSysFixed, 4),
       Col(u"ccolumn", T::kLong, kSysFixed, 4), Col(u"icolumn", T::kLong, kSysFixed, 4),
       Col(u"szObject", T::kText, kSysVar, kText255), Col(u"szColumn", T::kText, kSysVar, kText255),
       Col(u"szReferencedObject", T::kText, kSysVar, kText255),
       Col(u"szReferencedColumn", T::kText, kSysVar, kText255)},
      {Idx(u"szRelationship", {0}, kIndexAlwaysSet | kIndexIgnoreNulls, false), Idx(u"szObject", {4}, kIndexAlwaysSet | kIndexIgnoreNulls, false),
       Idx(u"szReferencedObject", {6}, kIndexAlwaysSet | kIndexIgnoreNulls, false)}));
  // Access's own table: its Data column has the fixed 3992-byte type 0x11, its ID is a variable
  // Long, as Access writes them.
  TableLayout access = SystemTable(
      u"MSysAccessObjects", {Col(u"Data", T::kLong, 0x03, 3992), Col(u"ID", T::kLong, 0x02, 4)},
      {Idx(u"AOIndex", {1}, kIndexAlwaysSet | kIndexRequired | kIndexUnique, true)});
  access.columns[0].type = 0x11;
  access.system = false;
  out.push_back(access);
  return out;
}

std::vector<uint8_t> HeaderPage(double created) {
  std::vector<uint8_t> page(kPageSize, 0);
  page[1] = 0x01;
  const char kEngine[] = "Standard Jet DB";
  std::memcpy(page.data() + 4, kEngine, sizeof(kEngine));
  page[0x14] = 0x01;  // Jet4
  // Values Access keeps in the masked block of a new database.
  page[0x19] = 0x01;
  page[0x1C] = 0x01;
  page[0x1D] = 0x01;
  for (uint32_t i = 0; i < 4; ++i) wr::StoreU32(page, 0x20 + 4 * i, 2 + i);
  wr::StoreU16(page, 0x3C, kCodePage);
  // Without a password the 40-byte field holds the mask derived from the creation date.
  const auto pattern = static_cast<uint32_t>(static_cast<int64_t>(std::floor(created)));
  for (uint32_t i = 0; i < 10; ++i) wr::StoreU32(page, 0x42 + 4 * i, pattern);
  wr::StoreU32(page, 0x6A, 0x21AA);
  wr::StoreU16(page, 0x6E, kSortOrder);
  uint64_t bits = 0;
  std::memcpy(&bits, &created, sizeof(bits));
  wr::StoreU64(page, 0x72, bits);
  File::ApplyHeaderMask(FormatFor(Format::kJet4), page);
  // Unmasked bytes Access writes after the block, and a pattern near the end of the page; their
  // meaning is unknown, their values are those of Access's own blank databases.
  wr::StoreU32(page, 0x98, 0x0654);
  const char kVersion[] = "4.0";
  std::memcpy(page.data() + 0x9C, kVersion, sizeof(kVersion));
  page[0xE00] = 0x01;
  for (size_t i = 0xE01; i < kPageSize; i += 2) page[i] = 0x01;
  return page;
}

// Page 1: row 0 marks pages 0 and 1 used and every other page free; row 1 is all zeros.
std::vector<uint8_t> GlobalMapPage() {
  const FormatInfo& info = FormatFor(Format::kJet4);
  std::vector<uint8_t> page(kPageSize, 0);
  WritableDataPage::Init(page, info.data_header_size, 1);
  WritableDataPage p(page, info.data_header_size, "", 1);
  std::vector<uint8_t> map(kNewGlobalUsageMapSize, 0xFF);
  map[0] = 0x00;
  wr::StoreU32(map, 1, 0);
  map[5] = 0xFC;
  p.Insert(map);
  p.Insert(std::vector<uint8_t>(kNewGlobalUsageMapSize, 0));
  return page;
}

void WriteAll(int fd, const std::string& path, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      throw Error(Error::Kind::kIo, path + ": cannot write: " + std::strerror(errno));
    }
    done += static_cast<size_t>(n);
  }
}

// Creates `path` exclusively with the header and global-map pages.
void WriteFirstPages(const std::string& path, double created) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int err = errno;
    if (err == EEXIST) {
      throw Error(Error::Kind::kInvalidArgument, path + ": the file already exists");
    }
    throw Error(Error::Kind::kIo, path + ": cannot create: " + std::strerror(err));
  }
  try {
    WriteAll(fd, path, HeaderPage(created));
    WriteAll(fd, path, GlobalMapPage());
    if (::fsync(fd) != 0) {
      throw Error(Error::Kind::kIo, path + ": cannot write: " + std::strerror(errno));
    }
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
}

// The system tables' definitions, maps and index roots. Returns their TDEF pages, catalog
// first.
std::vector<uint32_t> WriteSystemTables(const std::string& path) {
  File file(path, true);
  PageTxn txn(file);
  std::vector<TableLayout> jet_tables = OtherSystemTables();
  TableLayout access_objects = jet_tables.back();
  jet_tables.pop_back();
  jet_tables.insert(jet_tables.begin(), MSysObjects());
  // As in Access's blank databases: the Jet tables' definitions on pages 2 to 5, their usage
  // maps on one shared page, then their index roots; Access's own table comes after them.
  std::vector<uint32_t> tdefs;
  for (size_t i = 0; i < jet_tables.size(); ++i) tdefs.push_back(txn.Allocate());
  uint32_t map_page = 0;
  for (size_t i = 0; i < jet_tables.size(); ++i) {
    WriteNewTable(txn, jet_tables[i], tdefs[i], &map_page);
  }
  tdefs.push_back(WriteNewTable(txn, access_objects, 0, nullptr));
  txn.Commit();
  return tdefs;
}

// The property block of MSysDb: AccessVersion "08.50" (Access 2000) and the build number.
Bytes DatabaseProperties() {
  Bytes out = {'M', 'R', '2', 0};
  Bytes names;
  for (std::u16string_view n :
       {std::u16string_view(u"AccessVersion"), std::u16string_view(u"Build")}) {
    wr::AppendU16(names, static_cast<uint16_t>(n.size() * 2));
    for (char16_t c : n) wr::AppendU16(names, c);
  }
  wr::AppendU32(out, static_cast<uint32_t>(6 + names.size()));
  wr::AppendU16(out, 0x80);
  out.insert(out.end(), names.begin(), names.end());
  Bytes props = {6, 0, 0, 0, 0, 0};  // block header: its length, an empty name
  const std::u16string version = u"08.50";
  wr::AppendU16(props, static_cast<uint16_t>(8 + version.size() * 2));
  props.push_back(0x00);
  props.push_back(static_cast<uint8_t>(ColumnType::kText));
  wr::AppendU16(props, 0);
  wr::AppendU16(props, static_cast<uint16_t>(version.size() * 2));
  for (char16_t c : version) wr::AppendU16(props, c);
  wr::AppendU16(props, 12);
  props.push_back(0x00);
  props.push_back(static_cast<uint8_t>(ColumnType::kLong));
  wr::AppendU16(props, 1);
  wr::AppendU16(props, 4);
  wr::AppendU32(props, 6620);
  wr::AppendU32(out, static_cast<uint32_t>(6 + props.size()));
  wr::AppendU16(out, 0x00);
  out.insert(out.end(), props.begin(), props.end());
  return out;
}

std::vector<CatalogRow> CatalogRows(const std::vector<uint32_t>& tdefs, double now) {
  std::vector<CatalogRow> rows;
  auto add = [&](int32_t id, int32_t parent, std::u16string name, int16_t type, uint32_t flags,
                 Bytes owner) {
    CatalogRow r;
    r.id = id;
    r.parent_id = parent;
    r.name = std::move(name);
    r.type = type;
    r.flags = flags;
    r.owner = std::move(owner);
    r.date = now;
    rows.push_back(std::move(r));
  };
  add(kTablesContainerId, kRootId, u"Tables", kObjectContainer, kJetSystemObject, EngineOwner());
  add(kDatabasesId, kRootId, u"Databases", kObjectContainer, kJetSystemObject, EngineOwner());
  add(0x0F000003, kRootId, u"Relationships", kObjectContainer, kJetSystemObject, EngineOwner());
  add(0x10000000, kDatabasesId, u"MSysDb", kObjectDatabase, kJetSystemObject, AdminOwner());
  rows.back().lv_prop = DatabaseProperties();
  const char16_t* kJetTables[] = {u"MSysObjects", u"MSysACEs", u"MSysQueries",
                                  u"MSysRelationships"};
  for (size_t i = 0; i < 4; ++i) {
    add(static_cast<int32_t>(tdefs[i]), kTablesContainerId, kJetTables[i], kObjectLocalTable, kJetSystemObject,
        EngineOwner());
  }
  int32_t id = INT32_MIN;
  for (const char16_t* name :
       {u"DataAccessPages", u"Forms", u"Modules", u"Reports", u"Scripts", u"SysRel"}) {
    add(id++, kRootId, name, kObjectContainer, 0, AdminOwner());
  }
  for (const char16_t* name : {u"SummaryInfo", u"UserDefined"}) {
    add(id++, kDatabasesId, name, kObjectDocument, 0, AdminOwner());
  }
  add(static_cast<int32_t>(tdefs[4]), kTablesContainerId, u"MSysAccessObjects", kObjectLocalTable,
      kAccessSystemObject, AdminOwner());
  return rows;
}

}  // namespace

std::unique_ptr<Database> Database::Create(const std::string& path) {
  const double now = JetNow();
  WriteFirstPages(path, now);
  try {
    const std::vector<uint32_t> tdefs = WriteSystemTables(path);
    std::unique_ptr<Database> db = Open(path, OpenMode::kReadWrite);
    {
      PageTxn txn(db->impl_->file());
      for (const CatalogRow& row : CatalogRows(tdefs, now)) {
        InsertCatalogRow(db->impl_->file(), db->impl_->codec(), db->impl_->catalog(), txn, row);
      }
      txn.Commit();
    }
    db->impl_->InvalidateCaches();
    return db;
  } catch (...) {
    ::unlink(path.c_str());
    throw;
  }
}

}  // namespace jet
