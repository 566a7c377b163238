// `mdbtool tables` and `mdbtool schema`: the catalog and table definitions as readable text.

#include <algorithm>
#include <iomanip>
#include <sstream>

#include "commands.h"
#include "dump_format.h"
#include "query/saved_query.h"

namespace cli {
namespace {

std::string ColumnFlags(const jet::Column& c) {
  std::vector<std::string> flags;
  flags.push_back(c.fixed() ? "fixed" : "variable");
  if (c.autonumber()) flags.push_back("autonumber");
  if (c.auto_guid()) flags.push_back("auto-guid");
  if (c.compressed_unicode()) flags.push_back("compressed-unicode");
  if ((c.flags & 0x80) != 0) flags.push_back("hyperlink");
  std::string out;
  for (const std::string& f : flags) out += (out.empty() ? "" : ",") + f;
  return out;
}

// Type with its size: TEXT(50), BINARY(16), NUMERIC(18,4); others by name alone.
std::string TypeWithSize(const jet::Column& c, jet::Format format) {
  std::string type = TypeName(c.type);
  switch (c.type) {
    case jet::ColumnType::kText:
      return type + "(" + std::to_string(c.max_chars(format)) + ")";
    case jet::ColumnType::kBinary:
      return type + "(" + std::to_string(c.length) + ")";
    case jet::ColumnType::kNumeric:
      return type + "(" + std::to_string(c.precision) + "," + std::to_string(c.scale) + ")";
    default:
      return type;
  }
}

std::string IndexText(const jet::TableDef& def, const jet::Index& ix) {
  std::string out = "  index " + jet::ToUtf8(ix.name) + " (";
  for (size_t i = 0; i < ix.columns.size(); ++i) {
    if (i > 0) out += ", ";
    const jet::IndexColumn& ic = ix.columns[i];
    auto it = std::find_if(def.columns.begin(), def.columns.end(),
                           [&](const jet::Column& c) { return c.number == ic.column_number; });
    out += it == def.columns.end() ? "#" + std::to_string(ic.column_number) : jet::ToUtf8(it->name);
    if (!ic.ascending) out += " DESC";
  }
  out += ")";
  if (ix.primary) out += " primary";
  if (ix.unique) out += " unique";
  if (ix.ignore_nulls) out += " ignore-nulls";
  if (ix.required) out += " required";
  if (ix.foreign) out += " foreign";
  return out;
}

void PrintTable(const jet::TableDef& def, jet::Format format, std::ostream& out) {
  out << "table " << jet::ToUtf8(def.name) << " (" << def.row_count << " rows)\n";
  size_t name_width = 4;
  for (const jet::Column& c : def.columns) name_width = std::max(name_width, c.name.size());
  for (const jet::Column& c : def.columns) {
    std::ostringstream line;
    const std::string name = jet::ToUtf8(c.name);
    // Pad by characters, not bytes, so columns line up for non-ASCII names.
    line << "  column " << std::setw(3) << c.number << "  " << name
         << std::string(name_width - c.name.size() + 2, ' ') << std::left << std::setw(16)
         << TypeWithSize(c, format) << std::right << std::setw(5) << c.length << " bytes  "
         << ColumnFlags(c);
    out << line.str() << '\n';
  }
  std::vector<const jet::Index*> indexes;
  for (const jet::Index& ix : def.indexes) indexes.push_back(&ix);
  std::stable_sort(indexes.begin(), indexes.end(),
                   [](const jet::Index* a, const jet::Index* b) { return a->name < b->name; });
  for (const jet::Index* ix : indexes) out << IndexText(def, *ix) << '\n';
}

}  // namespace

void PrintTables(const jet::Database& db, std::ostream& out) {
  for (const jet::TableListEntry& e : query::ListTables(db)) {
    out << e.type << '\t' << jet::ToUtf8(e.name) << '\n';
  }
}

namespace {

std::string ColumnList(const std::vector<std::u16string>& columns) {
  std::string out;
  for (const std::u16string& c : columns) out += (out.empty() ? "" : ", ") + jet::ToUtf8(c);
  return out;
}

// One line per relationship: referencing table and columns, the referenced ones, the flags.
void PrintRelationships(const std::vector<jet::Relationship>& relationships, std::ostream& out) {
  for (const jet::Relationship& r : relationships) {
    out << "relationship " << jet::ToUtf8(r.name) << ": " << jet::ToUtf8(r.referencing_table)
        << " (" << ColumnList(r.referencing_columns) << ") -> " << jet::ToUtf8(r.referenced_table)
        << " (" << ColumnList(r.referenced_columns) << ") "
        << (r.enforced ? "integrity" : "no-integrity");
    if (r.cascade_update) out << ",cascade-update";
    if (r.cascade_delete) out << ",cascade-delete";
    if (r.cascade_null) out << ",cascade-null";
    out << '\n';
  }
}

}  // namespace

void PrintSchema(const jet::Database& db, const std::optional<std::u16string>& table,
                 std::ostream& out) {
  std::vector<jet::Relationship> relationships = db.Relationships();
  if (table) {
    const jet::TableDef def = db.GetTable(*table);
    PrintTable(def, db.format(), out);
    // Relationships store the tables' names as the catalog spells them.
    std::erase_if(relationships, [&](const jet::Relationship& r) {
      return r.referencing_table != def.name && r.referenced_table != def.name;
    });
    if (!relationships.empty()) out << '\n';
    PrintRelationships(relationships, out);
    return;
  }
  bool first = true;
  for (const jet::TableListEntry& e : db.ListTables()) {
    if (e.type != "TABLE") continue;
    if (!first) out << '\n';
    first = false;
    PrintTable(db.GetTable(e.name), db.format(), out);
  }
  if (!relationships.empty()) out << '\n';
  PrintRelationships(relationships, out);
}

}  // namespace cli
