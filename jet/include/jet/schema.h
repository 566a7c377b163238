#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace jet {

// Where a row lives: its header slot. Stable for the life of the row.
struct RowId {
  uint32_t page = 0;
  uint8_t row = 0;
  bool operator==(const RowId&) const = default;
};

enum class Format { kJet3, kJet4 };

// Column type codes as stored in the table definition.
enum class ColumnType : uint8_t {
  kBoolean = 0x01,
  kByte = 0x02,
  kInt = 0x03,
  kLong = 0x04,
  kMoney = 0x05,
  kFloat = 0x06,
  kDouble = 0x07,
  kDateTime = 0x08,
  kBinary = 0x09,
  kText = 0x0A,
  kOle = 0x0B,
  kMemo = 0x0C,
  kUnknown0D = 0x0D,
  kGuid = 0x0F,
  kNumeric = 0x10,
};

// The type's name as the dump and messages show it ("LONG", "SHORT_DATE_TIME"); "UNKNOWN_0xNN"
// for a code that is none of the above.
std::string TypeName(ColumnType type);

struct Column {
  std::u16string name;
  ColumnType type = ColumnType::kText;
  uint16_t number = 0;        // identity used by rows, null mask and indexes
  uint16_t var_index = 0;     // slot in the variable-offset table (variable columns)
  uint16_t fixed_offset = 0;  // position in the fixed area (fixed columns)
  uint16_t length = 0;        // bytes in the row (text: characters * 2 in Jet4)
  uint8_t precision = 0;      // NUMERIC only
  uint8_t scale = 0;          // NUMERIC only
  uint8_t flags = 0;          // raw column flags
  uint8_t extra_flags = 0;    // Jet4 extra flags (0x01 compressed unicode)
  uint16_t sort_order = 0;    // text sort order LCID
  uint8_t sort_version = 0;   // Jet4 sort-order version
  uint16_t code_page = 0;     // Jet3 text code page
  bool required = false;      // "Required" column property (NOT NULL): NULL is refused

  bool fixed() const { return (flags & 0x01) != 0; }
  bool autonumber() const { return (flags & 0x04) != 0; }
  bool auto_guid() const { return (flags & 0x40) != 0; }
  bool compressed_unicode() const { return (extra_flags & 0x01) != 0; }
  // Text length in characters for TEXT columns (format dependent).
  int max_chars(Format f) const { return f == Format::kJet4 ? length / 2 : length; }
};

struct IndexColumn {
  uint16_t column_number = 0;
  bool ascending = true;
};

// A logical index (what users name) together with the flags of the real index behind it.
struct Index {
  std::u16string name;
  uint32_t number = 0;      // logical index number
  uint32_t real_index = 0;  // position of the real index in the table definition
  std::vector<IndexColumn> columns;
  bool primary = false;
  bool unique = false;
  bool ignore_nulls = false;
  bool required = false;
  bool foreign = false;
  uint32_t root_page = 0;
};

struct TableDef {
  std::u16string name;
  uint32_t tdef_page = 0;
  uint32_t row_count = 0;         // as stored in the definition
  uint32_t last_autonumber = 0;   // last value handed out
  bool system = false;            // table type byte 'S'
  std::vector<Column> columns;    // in column-number order (row field order)
  std::vector<Index> indexes;     // logical indexes in definition order

  const Column* FindColumn(std::u16string_view name) const;  // case-insensitive
};

enum class ObjectKind {
  kTable,           // local user table
  kSystemTable,     // Jet or Access system table
  kLinkedTable,     // Jet-linked (type 6) or ODBC-linked (type 4) table
  kSelectQuery,     // saved select query
  kOtherQuery,      // action, crosstab, union, DDL, pass-through queries
  kOther,           // containers, forms, reports, relationships, ...
};

struct CatalogObject {
  std::u16string name;
  int32_t id = 0;
  int32_t parent_id = 0;
  int16_t type = 0;
  uint32_t flags = 0;
  ObjectKind kind = ObjectKind::kOther;
};

// A row of the TABLES listing: "TABLE" rows by name, then "VIEW" rows by name.
struct TableListEntry {
  std::u16string name;
  std::string type;  // "TABLE" or "VIEW"
};

// What CREATE INDEX / ALTER TABLE ... ADD PRIMARY KEY ask for.
struct IndexSpec {
  std::u16string name;
  std::vector<std::pair<std::u16string, bool>> columns;  // column name, ascending
  bool primary = false;
  bool unique = false;
  bool ignore_nulls = false;
  bool required = false;  // DISALLOW NULL (always set for a primary key)
};

// What CREATE TABLE asks for.
struct ColumnSpec {
  std::u16string name;
  ColumnType type = ColumnType::kText;
  int length = 0;  // TEXT: characters (default 255); BINARY: bytes
  uint8_t precision = 18;
  uint8_t scale = 0;
  bool not_null = false;
  bool autonumber = false;  // LONG counter
};

struct TableSpec {
  std::u16string name;
  std::vector<ColumnSpec> columns;
  std::vector<std::u16string> primary_key;  // column names; empty = none ("PrimaryKey")
  std::vector<IndexSpec> indexes;           // further indexes created with the table
};

}  // namespace jet
