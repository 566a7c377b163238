// Index key encoding.
//
// Non-text fields (value bytes after the 7F flag; descending = complement unless stated):
//   Byte                  the byte
//   Integer/Long/Currency two's complement big-endian with the top bit inverted
//   Single/Double/Date    IEEE big-endian; sign 0: invert the sign bit, sign 1: invert all bytes
//   Yes/No                00 True, FF False (never NULL: a missing value is False)
//   Decimal               FF (>= 0) or 00 (< 0), then the 16-byte magnitude big-endian,
//                         complemented when negative; descending complements only the magnitude
//   GUID                  text-order bytes (Data1..3 big-endian, Data4), encoded as binary
//   Binary                8-byte groups; a full group followed by more data gets 09, the last
//                         group is zero-padded and followed by its length 1-8; descending leaves
//                         the 09 markers uncomplemented
//   Text/Memo             General legacy (Jet4) or General 97 (Jet3), first 255 characters,
//                         trailing spaces removed
//
// General legacy (Jet4) text, for each code unit in turn (rules in collation.h):
//   main part  inline bytes; `pos` counts characters that produced inline bytes
//   extra list one byte per character position up to the last one with an accent; 02 pads the
//              positions without one; a modifier adds its value to the last byte (or becomes a
//              lone lead byte when the list is empty)
//   unprintable records  (0x8000 | 7 + 4u) big-endian, 06, code; u counts positions as below
//   flags      one 2-bit kana/width flag per kana character
// and the value is: main 01 [extra, trailing 00-02 removed] [01 01 [flags FF 02 80 FF 80 [FF]]
// [01 records]] 00; descending complements all of that and appends 00.
//
// General 97 (Jet3) text: main part of inline bytes, then a nibble stream started at the first
// international letter with 0: per international letter one 2 for each significant letter since
// the previous one, then its accent nibble; ended by 0 and padded to a byte. Without accents the
// value ends in 00. Descending complements every byte.
#include "index/index_key.h"

#include <array>
#include <bit>
#include <cstring>

#include "index/collation.h"
#include "jet/error.h"

namespace jet {
namespace {

constexpr uint8_t kNullAscending = 0x00;
constexpr uint8_t kNullDescending = 0xFF;
constexpr uint8_t kFlagAscending = 0x7F;
constexpr uint8_t kFlagDescending = 0x80;

void Complement(Bytes* out, size_t from) {
  for (size_t i = from; i < out->size(); ++i) (*out)[i] = static_cast<uint8_t>(~(*out)[i]);
}

void AppendBigEndian(uint64_t v, int bytes, Bytes* out) {
  for (int i = bytes - 1; i >= 0; --i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void AppendSigned(int64_t v, int bytes, Bytes* out) {
  const size_t start = out->size();
  AppendBigEndian(static_cast<uint64_t>(v), bytes, out);
  (*out)[start] ^= 0x80;
}

void AppendFloatBits(uint64_t bits, int bytes, Bytes* out) {
  const size_t start = out->size();
  AppendBigEndian(bits, bytes, out);
  if ((*out)[start] & 0x80) {
    Complement(out, start);
  } else {
    (*out)[start] ^= 0x80;
  }
}

// Binary layout: 8-byte groups, 09 after each full group that has a successor, the last group
// zero-padded with its length. Descending complements everything but the 09 markers.
void AppendBinary(const uint8_t* data, size_t len, bool ascending, Bytes* out) {
  const uint8_t mask = ascending ? 0x00 : 0xFF;
  size_t i = 0;
  while (i < len) {
    const size_t n = std::min<size_t>(8, len - i);
    for (size_t k = 0; k < 8; ++k) out->push_back((k < n ? data[i + k] : 0) ^ mask);
    i += n;
    out->push_back(i < len ? uint8_t{0x09} : static_cast<uint8_t>(n ^ mask));
  }
}

// The decimal's magnitude at the column's scale; false when digits had to be dropped.
bool ScaledMagnitude(const Decimal& d, uint8_t scale, UInt128* out) {
  if (d.scale <= scale) {
    *out = d.magnitude * Pow10(scale - d.scale);
    return true;
  }
  const UInt128 div = Pow10(d.scale - scale);
  *out = d.magnitude / div;
  return d.magnitude % div == 0;
}

bool AppendDecimal(const Decimal& d, const KeyColumn& col, Bytes* out) {
  UInt128 mag = 0;
  const bool exact = ScaledMagnitude(d, col.scale, &mag);
  const bool negative = d.negative && mag != 0;
  out->push_back(negative ? 0x00 : 0xFF);
  const size_t start = out->size();
  AppendBigEndian(static_cast<uint64_t>(mag >> 64), 8, out);
  AppendBigEndian(static_cast<uint64_t>(mag), 8, out);
  if (negative == col.ascending) Complement(out, start);
  return exact;
}

void AppendGuid(const Guid& g, bool ascending, Bytes* out) {
  const std::array<uint8_t, 16> text_order = g.TextOrder();
  AppendBinary(text_order.data(), 16, ascending, out);
}


[[noreturn]] void BadValue(const KeyColumn& col) {
  throw Error(Error::Kind::kInvalidArgument,
              "A value of the wrong type was given for an index column of type " +
                  std::to_string(static_cast<int>(col.type)) + ".");
}

template <typename T>
const T& Get(const KeyColumn& col, const Value& v) {
  if (!v.is<T>()) BadValue(col);
  return v.as<T>();
}

int64_t IntegerOf(const KeyColumn& col, const Value& v) {
  if (v.is<uint8_t>()) return v.as<uint8_t>();
  if (v.is<int16_t>()) return v.as<int16_t>();
  if (v.is<int32_t>()) return v.as<int32_t>();
  if (v.is<int64_t>()) return v.as<int64_t>();
  if (v.is<Currency>()) return v.as<Currency>().units;
  BadValue(col);
}

bool AppendText(Format format, const KeyColumn& col, const Value& v, Bytes* out) {
  const std::u16string_view text = Get<std::u16string>(col, v);
  const bool known = IsGeneralSortOrder(format, col.sort_order, col.sort_version);
  const bool exact = format == Format::kJet4
                         ? EncodeTextGeneralLegacy(text, col.ascending, out)
                         : EncodeTextGeneral97(text, col.ascending, out);
  return exact && known;
}

// Appends the value bytes (no flag) in ascending form; returns false when approximate.
bool AppendAscendingValue(Format format, const KeyColumn& col, const Value& v, Bytes* out) {
  switch (col.type) {
    case ColumnType::kByte:
      out->push_back(static_cast<uint8_t>(IntegerOf(col, v)));
      return true;
    case ColumnType::kInt:
      AppendSigned(IntegerOf(col, v), 2, out);
      return true;
    case ColumnType::kLong:
      AppendSigned(IntegerOf(col, v), 4, out);
      return true;
    case ColumnType::kMoney:
      AppendSigned(IntegerOf(col, v), 8, out);
      return true;
    case ColumnType::kFloat:
      AppendFloatBits(std::bit_cast<uint32_t>(Get<float>(col, v)), 4, out);
      return true;
    case ColumnType::kDouble:
      AppendFloatBits(std::bit_cast<uint64_t>(Get<double>(col, v)), 8, out);
      return true;
    case ColumnType::kDateTime: {
      const double d = v.is<DateTime>() ? v.as<DateTime>().days : Get<double>(col, v);
      AppendFloatBits(std::bit_cast<uint64_t>(d), 8, out);
      return true;
    }
    default:
      (void)format;
      BadValue(col);
  }
}

}  // namespace

KeyColumn KeyColumn::From(const Column& column, bool ascending) {
  KeyColumn k;
  k.type = column.type;
  k.ascending = ascending;
  k.sort_order = column.sort_order;
  k.sort_version = column.sort_version;
  k.scale = column.scale;
  return k;
}

bool IsGeneralSortOrder(Format format, uint16_t lcid, uint8_t version) {
  if (format == Format::kJet4) return lcid == 0x0409 && version == 0;
  return lcid == 0x0409;
}

bool AppendKeyField(Format format, const KeyColumn& col, const Value& v, Bytes* out) {
  if (col.type == ColumnType::kBoolean) {
    const bool truth = v.is<bool>() && v.as<bool>();
    out->push_back(col.ascending ? kFlagAscending : kFlagDescending);
    out->push_back((truth == col.ascending) ? 0x00 : 0xFF);
    return true;
  }
  if (v.is_null()) {
    out->push_back(col.ascending ? kNullAscending : kNullDescending);
    return true;
  }
  out->push_back(col.ascending ? kFlagAscending : kFlagDescending);
  const size_t start = out->size();
  switch (col.type) {
    case ColumnType::kText:
    case ColumnType::kMemo:
      return AppendText(format, col, v, out);
    case ColumnType::kNumeric:
      return AppendDecimal(Get<Decimal>(col, v), col, out);
    case ColumnType::kGuid:
      AppendGuid(Get<Guid>(col, v), col.ascending, out);
      return true;
    case ColumnType::kBinary:
    case ColumnType::kUnknown0D: {
      const Bytes& b = Get<Bytes>(col, v);
      AppendBinary(b.data(), b.size(), col.ascending, out);
      return true;
    }
    default:
      break;
  }
  const bool exact = AppendAscendingValue(format, col, v, out);
  if (!col.ascending) Complement(out, start);
  return exact;
}

IndexKey EncodeIndexKey(Format format, const std::vector<KeyColumn>& columns,
                        const std::vector<Value>& values) {
  if (columns.size() != values.size()) {
    throw Error(Error::Kind::kInvalidArgument, "Index key: column and value counts differ.");
  }
  IndexKey key;
  key.bytes.reserve(16 * columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    if (!AppendKeyField(format, columns[i], values[i], &key.bytes)) key.exact = false;
  }
  return key;
}

}  // namespace jet
