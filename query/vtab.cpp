#include "query/vtab.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

#include "query/functions.h"
#include "query/translate.h"

namespace query {
namespace {

// Whether column `i` is among those that colUsed-style mask `mask` names (bit 63 stands for
// every column from 63 on).
bool InMask(uint64_t mask, size_t i) { return (mask >> std::min<size_t>(i, 63)) & 1; }
uint64_t ColumnBit(size_t i) { return uint64_t{1} << std::min<size_t>(i, 63); }

// The rows of one table as read for the current statement, with hash maps of the columns
// that equality constraints asked for.
struct Snapshot {
  std::vector<jet::RowId> ids;
  std::vector<std::vector<jet::Value>> rows;  // the decoded columns only, in table order
  uint64_t mask = 0;                          // the columns decoded
  std::vector<int> slot;                      // per table column: its place in a row, or -1
  std::map<int, std::unordered_multimap<std::string, size_t>> by_column;
};

struct JetVtab {
  sqlite3_vtab base{};
  JetModuleContext* context = nullptr;
  jet::Database* db = nullptr;
  jet::TableDef def;
  std::shared_ptr<Snapshot> snapshot;
  uint64_t snapshot_statement = 0;
  // Index seeks made in statement `seek_statement`: a join seeks once per outer row, and past
  // kSeeksBeforeMap the statement's hash map answers faster than the index would.
  uint64_t seek_statement = 0;
  size_t seeks = 0;
};

struct JetCursor {
  sqlite3_vtab_cursor base{};
  std::shared_ptr<Snapshot> snapshot;
  std::vector<size_t> picked;                 // rows of the snapshot this cursor visits
  bool all = false;                           // every row of the snapshot
  std::vector<jet::RowId> ids;                // a row read by id
  std::vector<std::vector<jet::Value>> rows;  // (its values)
  size_t at = 0;
  size_t count() const {
    return !ids.empty() ? ids.size() : all ? snapshot->rows.size() : picked.size();
  }
  // Column `column` of the current row; null when the snapshot did not decode it.
  const jet::Value* value(size_t column) const {
    if (!ids.empty()) return &rows[at][column];
    const int k = snapshot->slot[column];
    return k < 0 ? nullptr
                 : &snapshot->rows[all ? at : picked[at]][static_cast<size_t>(k)];
  }
  jet::RowId id() const {
    if (!ids.empty()) return ids[at];
    return snapshot->ids[all ? at : picked[at]];
  }
};

// The hash key of a value for equality lookups: numbers by their double, text folded as the
// ACCESS collation compares it. A text that reads as a number also yields the number's key.
void HashKeys(sqlite3_value* v, std::vector<std::string>* keys) {
  char buf[40];
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      std::snprintf(buf, sizeof buf, "n%.17g", sqlite3_value_double(v));
      keys->push_back(buf);
      return;
    case SQLITE_TEXT: {
      const char* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
      const std::string text(p, static_cast<size_t>(sqlite3_value_bytes(v)));
      keys->push_back("t" + FoldForKey(text));
      char* end = nullptr;
      const double d = std::strtod(text.c_str(), &end);
      if (!text.empty() && end && *end == '\0') {
        std::snprintf(buf, sizeof buf, "n%.17g", d);
        keys->push_back(buf);
      }
      return;
    }
    case SQLITE_BLOB: {
      const auto* b = static_cast<const char*>(sqlite3_value_blob(v));
      keys->push_back("b" + std::string(b ? b : "", static_cast<size_t>(sqlite3_value_bytes(v))));
      return;
    }
    default:
      return;
  }
}

std::string StoredKey(const jet::Value& value) {
  char buf[40];
  return std::visit(
      [&](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return {};
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? "n-1" : "n0";
        } else if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, int16_t> ||
                             std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t>) {
          std::snprintf(buf, sizeof buf, "n%.17g", static_cast<double>(v));
          return buf;
        } else if constexpr (std::is_same_v<T, jet::Currency>) {
          std::snprintf(buf, sizeof buf, "n%.17g", static_cast<double>(v.units) / 10000.0);
          return buf;
        } else if constexpr (std::is_same_v<T, float>) {
          std::snprintf(buf, sizeof buf, "n%.17g", FloatAsDouble(v));
          return buf;
        } else if constexpr (std::is_same_v<T, double>) {
          std::snprintf(buf, sizeof buf, "n%.17g", v);
          return buf;
        } else if constexpr (std::is_same_v<T, jet::Decimal>) {
          std::snprintf(buf, sizeof buf, "n%.17g", std::strtod(v.ToString().c_str(), nullptr));
          return buf;
        } else if constexpr (std::is_same_v<T, jet::DateTime>) {
          std::snprintf(buf, sizeof buf, "n%.17g", v.days);
          return buf;
        } else if constexpr (std::is_same_v<T, jet::Guid>) {
          return "t" + FoldForKey(v.ToString());
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          return "t" + FoldForKey(jet::ToUtf8(v));
        } else {
          return "b" + std::string(v.begin(), v.end());
        }
      },
      value.storage());
}

// The rows of the table for this statement, read once with the columns of `mask` (the columns
// the statement uses); a cursor of the same statement that needs more reads them again with both.
std::shared_ptr<Snapshot> Rows(JetVtab* vtab, uint64_t mask) {
  const bool same_statement =
      vtab->snapshot && vtab->snapshot_statement == vtab->context->statement;
  if (same_statement && (vtab->snapshot->mask & mask) == mask) return vtab->snapshot;
  if (same_statement) mask |= vtab->snapshot->mask;
  auto snap = std::make_shared<Snapshot>();
  snap->mask = mask;
  snap->ids.reserve(vtab->def.row_count);
  snap->rows.reserve(vtab->def.row_count);
  // Only the statement's columns are decoded: text and memo values left out save most of the
  // time of a scan.
  jet::TableDef used = vtab->def;
  used.columns.clear();
  snap->slot.assign(vtab->def.columns.size(), -1);
  for (size_t i = 0; i < vtab->def.columns.size(); ++i) {
    if (!InMask(mask, i)) continue;
    snap->slot[i] = static_cast<int>(used.columns.size());
    used.columns.push_back(vtab->def.columns[i]);
  }
  vtab->db->Scan(used, [&](jet::RowId id, std::vector<jet::Value>& values) {
    snap->ids.push_back(id);
    snap->rows.push_back(std::move(values));
    values.clear();
    return true;
  });
  vtab->snapshot = snap;
  vtab->snapshot_statement = vtab->context->statement;
  return snap;
}

int64_t RowidOf(jet::RowId id) { return (static_cast<int64_t>(id.page) << 8) | id.row; }
jet::RowId IdOf(int64_t rowid) {
  return jet::RowId{static_cast<uint32_t>(rowid >> 8), static_cast<uint8_t>(rowid & 0xFF)};
}

int SetError(sqlite3_vtab* vtab, const std::exception& e) {
  sqlite3_free(vtab->zErrMsg);
  vtab->zErrMsg = sqlite3_mprintf("%s", e.what());
  if (const auto* je = dynamic_cast<const jet::Error*>(&e)) {
    if (je->kind() == jet::Error::Kind::kConstraint) return SQLITE_CONSTRAINT;
  }
  return SQLITE_ERROR;
}

int Connect(sqlite3* sqlite, void* aux, int argc, const char* const* argv, sqlite3_vtab** out,
            char** err) {
  if (argc < 4) {
    *err = sqlite3_mprintf("jet module needs the table name");
    return SQLITE_ERROR;
  }
  auto vtab = std::make_unique<JetVtab>();
  vtab->context = static_cast<JetModuleContext*>(aux);
  vtab->db = vtab->context->db;
  std::string name = argv[3];
  if (name.size() >= 2 && (name.front() == '\'' || name.front() == '"')) {
    name = name.substr(1, name.size() - 2);
  }
  try {
    vtab->def = vtab->db->GetTable(jet::FromUtf8(name));
  } catch (const std::exception& e) {
    *err = sqlite3_mprintf("%s", e.what());
    return SQLITE_ERROR;
  }
  std::string ddl = "CREATE TABLE x(";
  for (size_t i = 0; i < vtab->def.columns.size(); ++i) {
    const jet::Column& c = vtab->def.columns[i];
    ddl += (i ? ", " : "") + QuoteIdent(jet::ToUtf8(c.name)) + " " + DeclaredType(c.type);
    if (c.type == jet::ColumnType::kText || c.type == jet::ColumnType::kMemo)
      ddl += " COLLATE ACCESS";
  }
  ddl += ")";
  const int rc = sqlite3_declare_vtab(sqlite, ddl.c_str());
  if (rc != SQLITE_OK) {
    *err = sqlite3_mprintf("cannot declare %s: %s", name.c_str(), sqlite3_errmsg(sqlite));
    return rc;
  }
  *out = &vtab.release()->base;
  return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* vtab) {
  delete reinterpret_cast<JetVtab*>(vtab);
  return SQLITE_OK;
}

// Plans at and above this number seek index (idxNum - kSeekPlan) of the table.
constexpr int kSeekPlan = 1 << 20;
// Seeks of one table in one statement after which the rest go to the snapshot's hash map: a
// lookup stays a B-tree walk, while a join over every row reads the table once.
constexpr size_t kSeeksBeforeMap = 64;

// An index of `def` over column `column` alone that can seek an equality: text keys are left to
// the hash plan (the ACCESS collation, not the key bytes, decides text equality in SQL). Unique
// indexes first.
std::optional<size_t> SeekableIndex(const jet::TableDef& def, int column) {
  const jet::Column& c = def.columns[static_cast<size_t>(column)];
  if (c.type == jet::ColumnType::kText || c.type == jet::ColumnType::kMemo) return std::nullopt;
  std::optional<size_t> found;
  for (size_t i = 0; i < def.indexes.size(); ++i) {
    const jet::Index& index = def.indexes[i];
    if (index.columns.size() != 1 || index.columns[0].column_number != c.number) continue;
    if (!found || (index.unique && !def.indexes[*found].unique)) found = i;
  }
  return found;
}

// Plan 1: one row by rowid (equality on the rowid). Plan kSeekPlan + i: equality on the column of
// index i, sought in the index. Plan 2 + column: equality on a column, through a hash map of the
// statement's snapshot. Plan 0: a scan. The columns read are passed as the mask in idxStr.
int BestIndex(sqlite3_vtab* base, sqlite3_index_info* info) {
  auto* vtab = reinterpret_cast<JetVtab*>(base);
  info->idxNum = 0;
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (c.usable && c.iColumn == -1 && c.op == SQLITE_INDEX_CONSTRAINT_EQ) {
      info->aConstraintUsage[i].argvIndex = 1;
      info->aConstraintUsage[i].omit = 1;
      info->idxNum = 1;
      info->estimatedCost = 1;
      info->estimatedRows = 1;
      info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
      break;
    }
  }
  const double rows = std::max<double>(1, vtab->def.row_count);
  for (int i = 0; info->idxNum == 0 && i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (!c.usable || c.iColumn < 0 || c.op != SQLITE_INDEX_CONSTRAINT_EQ) continue;
    const std::optional<size_t> index = SeekableIndex(vtab->def, c.iColumn);
    if (!index) continue;
    // SQLite checks the constraint again: the seek may return rows of an equal key that the
    // comparison itself turns down (a Long column against 5.5, say).
    info->aConstraintUsage[i].argvIndex = 1;
    info->aConstraintUsage[i].omit = 0;
    info->idxNum = kSeekPlan + static_cast<int>(*index);
    const bool unique = vtab->def.indexes[*index].unique;
    info->estimatedCost = unique ? 2 : 5 + std::log2(rows);
    info->estimatedRows = unique ? 1 : 10;
    if (unique) info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
  }
  if (info->idxNum == 0) {
    // Equality on a column: rows found through a hash map of the statement's snapshot. SQLite
    // checks the constraint again (the map may return a few more rows than match).
    for (int i = 0; i < info->nConstraint; ++i) {
      const auto& c = info->aConstraint[i];
      if (c.usable && c.iColumn >= 0 && c.op == SQLITE_INDEX_CONSTRAINT_EQ) {
        info->aConstraintUsage[i].argvIndex = 1;
        info->aConstraintUsage[i].omit = 0;
        info->idxNum = 2 + c.iColumn;
        info->estimatedCost = 10 + rows / 1000;
        info->estimatedRows = 10;
        break;
      }
    }
  }
  if (info->idxNum == 0) {
    info->estimatedCost = rows * 2;
    info->estimatedRows = static_cast<sqlite3_int64>(rows);
  }
  info->idxStr = sqlite3_mprintf("%llu", static_cast<unsigned long long>(info->colUsed));
  info->needToFreeIdxStr = 1;
  return SQLITE_OK;
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
  *out = &(new JetCursor)->base;
  return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* cur) {
  delete reinterpret_cast<JetCursor*>(cur);
  return SQLITE_OK;
}

// Picks the rows of the cursor's snapshot whose column `column` may equal `value`, through the
// snapshot's hash map of that column (built on first use). SQLite checks the constraint again:
// the map may return a few more rows than match.
void PickEqual(JetCursor* cur, int column, sqlite3_value* value) {
  auto& map = cur->snapshot->by_column[column];
  if (map.empty() && !cur->snapshot->rows.empty()) {
    map.reserve(cur->snapshot->rows.size());
    for (size_t r = 0; r < cur->snapshot->rows.size(); ++r) {
      std::string key = StoredKey(
          cur->snapshot->rows[r][static_cast<size_t>(cur->snapshot->slot[static_cast<size_t>(column)])]);
      if (!key.empty()) map.emplace(std::move(key), r);
    }
  }
  std::vector<std::string> keys;
  HashKeys(value, &keys);
  for (const std::string& key : keys) {
    auto [lo, hi] = map.equal_range(key);
    for (auto it = lo; it != hi; ++it) cur->picked.push_back(it->second);
  }
  std::sort(cur->picked.begin(), cur->picked.end());
  cur->picked.erase(std::unique(cur->picked.begin(), cur->picked.end()), cur->picked.end());
}

int Filter(sqlite3_vtab_cursor* base, int idx_num, const char* idx_str, int,
           sqlite3_value** argv) {
  auto* cur = reinterpret_cast<JetCursor*>(base);
  const uint64_t mask = idx_str != nullptr ? std::strtoull(idx_str, nullptr, 10) : ~uint64_t{0};
  auto* vtab = reinterpret_cast<JetVtab*>(base->pVtab);
  cur->ids.clear();
  cur->rows.clear();
  cur->picked.clear();
  cur->all = false;
  cur->at = 0;
  try {
    if (idx_num == 1) {
      if (sqlite3_value_type(argv[0]) != SQLITE_INTEGER) return SQLITE_OK;
      const int64_t rowid = sqlite3_value_int64(argv[0]);
      if (rowid < 0 || rowid > 0xFFFFFFFFFFLL) return SQLITE_OK;
      std::vector<jet::Value> values;
      try {
        values = vtab->db->ReadRow(vtab->def, IdOf(rowid));
      } catch (const jet::Error& e) {
        if (e.kind() == jet::Error::Kind::kNotFound || e.kind() == jet::Error::Kind::kCorrupt ||
            e.kind() == jet::Error::Kind::kInvalidArgument) {
          return SQLITE_OK;
        }
        throw;
      }
      cur->ids.push_back(IdOf(rowid));
      cur->rows.push_back(std::move(values));
      return SQLITE_OK;
    }
    if (idx_num >= kSeekPlan) {
      const jet::Index& index = vtab->def.indexes[static_cast<size_t>(idx_num - kSeekPlan)];
      const auto column = std::find_if(
          vtab->def.columns.begin(), vtab->def.columns.end(),
          [&](const jet::Column& c) { return c.number == index.columns[0].column_number; });
      std::optional<std::vector<jet::RowId>> found;
      if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return SQLITE_OK;  // = NULL is never true
      if (vtab->seek_statement != vtab->context->statement) {
        vtab->seek_statement = vtab->context->statement;
        vtab->seeks = 0;
      }
      if (++vtab->seeks > kSeeksBeforeMap) {
        const auto at = static_cast<size_t>(column - vtab->def.columns.begin());
        cur->snapshot = Rows(vtab, mask | ColumnBit(at));
        PickEqual(cur, static_cast<int>(at), argv[0]);
        return SQLITE_OK;
      }
      try {
        found = vtab->db->SeekIndex(
            vtab->def, index, {ToEngineValue(argv[0], *column, vtab->db->format())});
      } catch (const jet::Error& e) {
        // A value the column cannot hold: the scan below lets SQLite compare as it does.
        if (e.kind() != jet::Error::Kind::kInvalidArgument) throw;
      }
      if (found) {
        for (const jet::RowId& id : *found) {
          cur->rows.push_back(vtab->db->ReadRow(vtab->def, id));
          cur->ids.push_back(id);
        }
        return SQLITE_OK;
      }
      cur->snapshot = Rows(vtab, mask);
      cur->all = true;
      return SQLITE_OK;
    }
    if (idx_num >= 2) {
      cur->snapshot = Rows(vtab, mask | ColumnBit(static_cast<size_t>(idx_num - 2)));
      PickEqual(cur, idx_num - 2, argv[0]);
      return SQLITE_OK;
    }
    cur->snapshot = Rows(vtab, mask);
    cur->all = true;
  } catch (const std::exception& e) {
    return SetError(base->pVtab, e);
  }
  return SQLITE_OK;
}

int Next(sqlite3_vtab_cursor* base) {
  ++reinterpret_cast<JetCursor*>(base)->at;
  return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* base) {
  auto* cur = reinterpret_cast<JetCursor*>(base);
  return cur->at >= cur->count();
}

int Column(sqlite3_vtab_cursor* base, sqlite3_context* ctx, int i) {
  // A column an UPDATE leaves alone is not read: Update keeps the stored value as it is, rather
  // than writing back what a round trip through SQLite's types made of it (a Decimal of 20
  // digits, a Currency past 2^53 ten-thousandths).
  if (sqlite3_vtab_nochange(ctx)) return SQLITE_OK;
  auto* cur = reinterpret_cast<JetCursor*>(base);
  const auto column = static_cast<size_t>(i);
  const jet::Value* value = cur->value(column);
  if (value == nullptr) {
    // SQLite asks only for the columns it planned with; should it ask for another, the row is
    // read whole rather than answered with a value it does not have.
    try {
      auto* vtab = reinterpret_cast<JetVtab*>(base->pVtab);
      ResultFromValue(ctx, vtab->db->ReadRow(vtab->def, cur->id())[column]);
    } catch (const std::exception& e) {
      return SetError(base->pVtab, e);
    }
    return SQLITE_OK;
  }
  ResultFromValue(ctx, *value);
  return SQLITE_OK;
}

int Rowid(sqlite3_vtab_cursor* base, sqlite3_int64* out) {
  auto* cur = reinterpret_cast<JetCursor*>(base);
  *out = RowidOf(cur->id());
  return SQLITE_OK;
}

int Update(sqlite3_vtab* base, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
  auto* vtab = reinterpret_cast<JetVtab*>(base);
  vtab->snapshot.reset();  // later reads of this statement see the write
  try {
    if (argc == 1) {
      vtab->db->DeleteRow(vtab->def.name, IdOf(sqlite3_value_int64(argv[0])));
      return SQLITE_OK;
    }
    const jet::Format format = vtab->db->format();
    std::vector<jet::Value> values;
    std::optional<std::vector<jet::Value>> stored;  // the row before the UPDATE, when needed
    for (size_t i = 0; i < vtab->def.columns.size(); ++i) {
      if (sqlite3_value_nochange(argv[2 + i])) {
        if (!stored) stored = vtab->db->ReadRow(vtab->def, IdOf(sqlite3_value_int64(argv[0])));
        values.push_back(std::move((*stored)[i]));
        continue;
      }
      values.push_back(ToEngineValue(argv[2 + i], vtab->def.columns[i], format));
    }
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
      *rowid = RowidOf(vtab->db->InsertRow(vtab->def.name, values));
      return SQLITE_OK;
    }
    if (sqlite3_value_int64(argv[0]) != sqlite3_value_int64(argv[1])) {
      throw jet::Error(jet::Error::Kind::kInvalidArgument, "a row's id cannot be changed");
    }
    vtab->db->UpdateRow(vtab->def.name, IdOf(sqlite3_value_int64(argv[0])), values);
  } catch (const std::exception& e) {
    return SetError(base, e);
  }
  return SQLITE_OK;
}

sqlite3_module kModule = {
    /*iVersion*/ 0,
    Connect,
    Connect,
    BestIndex,
    Disconnect,
    Disconnect,
    Open,
    Close,
    Filter,
    Next,
    Eof,
    Column,
    Rowid,
    Update,
    /*xBegin*/ nullptr,
    /*xSync*/ nullptr,
    /*xCommit*/ nullptr,
    /*xRollback*/ nullptr,
    /*xFindFunction*/ nullptr,
    /*xRename*/ nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr};

[[noreturn]] void Mismatch(const jet::Column& column, const std::string& what) {
  throw jet::Error(
      jet::Error::Kind::kInvalidArgument,
      "Data type mismatch: " + what + " does not fit column '" + jet::ToUtf8(column.name) + "'");
}

std::string ValueText(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_value_bytes(v)) : std::string();
}

double NumberOf(sqlite3_value* v, const jet::Column& column) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
      return static_cast<double>(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
      return sqlite3_value_double(v);
    case SQLITE_TEXT: {
      const std::string s = ValueText(v);
      char* end = nullptr;
      const double d = std::strtod(s.c_str(), &end);
      if (end == s.c_str() || *end) Mismatch(column, "'" + s + "'");
      return d;
    }
    default:
      Mismatch(column, "a binary value");
  }
}

// Decimal digits of a value, exact for integers and text, shortest form for doubles.
std::string DecimalText(sqlite3_value* v) {
  if (sqlite3_value_type(v) == SQLITE_INTEGER) return std::to_string(sqlite3_value_int64(v));
  if (sqlite3_value_type(v) == SQLITE_TEXT) return ValueText(v);
  char buf[40];
  const double d = sqlite3_value_double(v);
  for (int prec = 15; prec <= 17; ++prec) {
    std::snprintf(
        buf, sizeof buf, "%.*f",
        std::max(0, prec - 1 - static_cast<int>(std::floor(std::log10(std::fabs(d) + 1e-300)))), d);
    if (std::strtod(buf, nullptr) == d) break;
  }
  return buf;
}

// Parses "[-]digits[.digits]" into a magnitude at `scale` decimals, half away from zero.
bool ParseScaled(const std::string& text, int scale, bool* negative, jet::UInt128* out) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  *negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) *negative = text[i++] == '-';
  jet::UInt128 m = 0;
  int decimals = -1;
  bool any = false, round_up = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && decimals < 0) {
      decimals = 0;
      continue;
    }
    if (c < '0' || c > '9') return false;
    any = true;
    if (decimals >= 0) {
      if (decimals == scale) {
        if (decimals == scale && !round_up && c >= '5') round_up = true;
        ++decimals;
        continue;
      }
      if (decimals > scale) continue;
      ++decimals;
    }
    m = m * 10 + static_cast<unsigned>(c - '0');
  }
  if (!any) return false;
  for (int d = std::max(decimals, 0); d < scale; ++d) m *= 10;
  if (round_up) ++m;
  *out = m;
  return true;
}

}  // namespace

double FloatAsDouble(float f) {
  char buf[32];
  for (int prec = 6; prec <= 9; ++prec) {
    std::snprintf(buf, sizeof buf, "%.*g", prec, static_cast<double>(f));
    if (std::strtof(buf, nullptr) == f) return std::strtod(buf, nullptr);
  }
  return f;
}

const char* DeclaredType(jet::ColumnType type) {
  switch (type) {
    case jet::ColumnType::kBoolean:
      return "BOOLEAN";
    case jet::ColumnType::kByte:
      return "BYTE";
    case jet::ColumnType::kInt:
      return "SHORT";
    case jet::ColumnType::kLong:
      return "LONG";
    case jet::ColumnType::kMoney:
      return "CURRENCY";
    case jet::ColumnType::kFloat:
      return "SINGLE";
    case jet::ColumnType::kDouble:
      return "DOUBLE";
    case jet::ColumnType::kDateTime:
      return "DATETIME";
    case jet::ColumnType::kBinary:
      return "BINARY";
    case jet::ColumnType::kText:
      return "TEXT";
    case jet::ColumnType::kOle:
      return "OLEBLOB";
    case jet::ColumnType::kMemo:
      return "MEMOTEXT";
    case jet::ColumnType::kGuid:
      return "GUIDTEXT";
    case jet::ColumnType::kNumeric:
      return "DECIMAL";
    default:
      return "BLOB";
  }
}

bool ColumnTypeFromDeclared(const char* declared, jet::ColumnType* type) {
  if (!declared) return false;
  static const jet::ColumnType kAll[] = {
      jet::ColumnType::kBoolean, jet::ColumnType::kByte,     jet::ColumnType::kInt,
      jet::ColumnType::kLong,    jet::ColumnType::kMoney,    jet::ColumnType::kFloat,
      jet::ColumnType::kDouble,  jet::ColumnType::kDateTime, jet::ColumnType::kBinary,
      jet::ColumnType::kText,    jet::ColumnType::kOle,      jet::ColumnType::kMemo,
      jet::ColumnType::kGuid,    jet::ColumnType::kNumeric};
  for (jet::ColumnType t : kAll) {
    if (std::strcmp(declared, DeclaredType(t)) == 0) {
      *type = t;
      return true;
    }
  }
  return false;
}

void ResultFromValue(sqlite3_context* ctx, const jet::Value& value) {
  std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          sqlite3_result_null(ctx);
        } else if constexpr (std::is_same_v<T, bool>) {
          sqlite3_result_int(ctx, v ? -1 : 0);
        } else if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, int16_t> ||
                             std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t>) {
          sqlite3_result_int64(ctx, v);
        } else if constexpr (std::is_same_v<T, jet::Currency>) {
          sqlite3_result_double(ctx, static_cast<double>(v.units) / 10000.0);
        } else if constexpr (std::is_same_v<T, float>) {
          sqlite3_result_double(ctx, FloatAsDouble(v));
        } else if constexpr (std::is_same_v<T, double>) {
          sqlite3_result_double(ctx, v);
        } else if constexpr (std::is_same_v<T, jet::Decimal>) {
          // SQLite's numbers are 64-bit integers and doubles. A whole number that a double
          // would round (more than 15 digits) goes as an integer; other values as doubles.
          const jet::UInt128 unit = jet::Pow10(v.scale);
          if (v.magnitude >= jet::Pow10(15) && v.magnitude % unit == 0 &&
              v.magnitude / unit <= static_cast<jet::UInt128>(INT64_MAX)) {
            const auto whole = static_cast<int64_t>(v.magnitude / unit);
            sqlite3_result_int64(ctx, v.negative ? -whole : whole);
          } else {
            sqlite3_result_double(ctx, std::strtod(v.ToString().c_str(), nullptr));
          }
        } else if constexpr (std::is_same_v<T, jet::DateTime>) {
          sqlite3_result_double(ctx, v.days);
          sqlite3_result_subtype(ctx, kDateSubtype);
        } else if constexpr (std::is_same_v<T, jet::Guid>) {
          const std::string s = v.ToString();
          sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          const std::string s = jet::ToUtf8(v);
          sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        } else if constexpr (std::is_same_v<T, jet::Bytes>) {
          sqlite3_result_blob(ctx, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        }
      },
      value.storage());
}

jet::Value ToEngineValue(sqlite3_value* v, const jet::Column& column, jet::Format format) {
  (void)format;
  if (sqlite3_value_type(v) == SQLITE_NULL) return {};
  auto integer = [&](double lo, double hi) -> long long {
    const double d = RoundHalfEven(NumberOf(v, column));
    if (d < lo || d > hi) Mismatch(column, "the number " + DecimalText(v));
    return static_cast<long long>(d);
  };
  switch (column.type) {
    case jet::ColumnType::kBoolean:
      return NumberOf(v, column) != 0;
    case jet::ColumnType::kByte:
      return static_cast<uint8_t>(integer(0, 255));
    case jet::ColumnType::kInt:
      return static_cast<int16_t>(integer(-32768, 32767));
    case jet::ColumnType::kLong:
      return static_cast<int32_t>(integer(-2147483648.0, 2147483647.0));
    case jet::ColumnType::kMoney: {
      bool neg = false;
      jet::UInt128 m = 0;
      if (!ParseScaled(DecimalText(v), 4, &neg, &m) || m > static_cast<jet::UInt128>(INT64_MAX)) {
        Mismatch(column, "'" + DecimalText(v) + "'");
      }
      const int64_t units = static_cast<int64_t>(m);
      return jet::Currency{neg ? -units : units};
    }
    case jet::ColumnType::kFloat:
      return static_cast<float>(NumberOf(v, column));
    case jet::ColumnType::kDouble:
      return NumberOf(v, column);
    case jet::ColumnType::kDateTime: {
      if (sqlite3_value_type(v) == SQLITE_TEXT) {
        double days = 0;
        if (!ParseAccessDate(ValueText(v), &days)) Mismatch(column, "'" + ValueText(v) + "'");
        return jet::DateTime{days};
      }
      return jet::DateTime{NumberOf(v, column)};
    }
    case jet::ColumnType::kText:
    case jet::ColumnType::kMemo: {
      if (sqlite3_value_type(v) == SQLITE_FLOAT) {
        double d = sqlite3_value_double(v);
        if (sqlite3_value_subtype(v) == kDateSubtype) return jet::FromUtf8(FormatAccessDate(d));
        char buf[40];
        if (d == std::floor(d) && std::fabs(d) < 1e15)
          std::snprintf(buf, sizeof buf, "%.0f", d);
        else
          std::snprintf(buf, sizeof buf, "%.15g", d);
        return jet::FromUtf8(buf);
      }
      return jet::FromUtf8(ValueText(v));
    }
    case jet::ColumnType::kBinary:
    case jet::ColumnType::kOle: {
      const auto* p = static_cast<const uint8_t*>(sqlite3_value_blob(v));
      return jet::Bytes(p, p + sqlite3_value_bytes(v));
    }
    case jet::ColumnType::kGuid: {
      const std::string s = ValueText(v);
      const std::optional<jet::Guid> g = jet::Guid::Parse(jet::FromUtf8(s));
      if (!g) Mismatch(column, "'" + s + "'");
      return *g;
    }
    case jet::ColumnType::kNumeric: {
      jet::Decimal d;
      d.scale = column.scale;
      if (!ParseScaled(DecimalText(v), column.scale, &d.negative, &d.magnitude)) {
        Mismatch(column, "'" + DecimalText(v) + "'");
      }
      return d;
    }
    default:
      Mismatch(column, "a value");
  }
}

void RegisterJetModule(sqlite3* sqlite, JetModuleContext* context) {
  if (sqlite3_create_module_v2(sqlite, "jet", &kModule, context, nullptr) != SQLITE_OK) {
    throw jet::Error(jet::Error::Kind::kIo, "cannot register the jet module");
  }
}

}  // namespace query
