#include "sql/compare.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <variant>

#include "sql/convert.h"

namespace jet::sql {
namespace {

constexpr int kFractionDigits = 28;

Number Exact(bool negative, UInt128 magnitude, int scale) {
  Number n;
  const UInt128 unit = Pow10(scale);
  n.whole = magnitude / unit;
  n.fraction = (magnitude % unit) * Pow10(kFractionDigits - scale);
  n.negative = negative && magnitude != 0;
  // The nearest double, as a double column holding the same decimal value would have it. One
  // division of two exactly representable doubles rounds correctly; other values go via text.
  if (magnitude < (UInt128{1} << 53) && scale <= 22) {
    n.approx =
        static_cast<double>(static_cast<uint64_t>(magnitude)) / static_cast<double>(Pow10(scale));
    if (n.negative) n.approx = -n.approx;
    return n;
  }
  std::string text = DigitsOf(magnitude);
  text += "e-" + std::to_string(scale);
  std::from_chars(text.data(), text.data() + text.size(), n.approx);
  if (n.negative) n.approx = -n.approx;
  return n;
}

Number FromInteger(int64_t v) {
  const bool negative = v < 0;
  const UInt128 magnitude =
      negative ? UInt128(0) - static_cast<UInt128>(v) : static_cast<UInt128>(v);
  return Exact(negative, magnitude & ((UInt128{1} << 64) - 1), 0);
}

Number Approx(double v) {
  Number n;
  n.exact = false;
  n.approx = v;
  return n;
}

std::optional<Number> NumberOf(const Value& value) {
  const auto& v = value.storage();
  if (const auto* b = std::get_if<bool>(&v)) return FromInteger(*b ? -1 : 0);
  if (const auto* u8 = std::get_if<uint8_t>(&v)) return FromInteger(*u8);
  if (const auto* i16 = std::get_if<int16_t>(&v)) return FromInteger(*i16);
  if (const auto* i32 = std::get_if<int32_t>(&v)) return FromInteger(*i32);
  if (const auto* i64 = std::get_if<int64_t>(&v)) return FromInteger(*i64);
  if (const auto* c = std::get_if<Currency>(&v)) {
    const bool negative = c->units < 0;
    const UInt128 magnitude =
        negative ? UInt128(0) - static_cast<UInt128>(c->units) : static_cast<UInt128>(c->units);
    return Exact(negative, magnitude & ((UInt128{1} << 64) - 1), 4);
  }
  if (const auto* d = std::get_if<Decimal>(&v)) {
    return Exact(d->negative, d->magnitude, std::min<int>(d->scale, kFractionDigits));
  }
  if (const auto* f = std::get_if<float>(&v)) return Approx(static_cast<double>(*f));
  if (const auto* d = std::get_if<double>(&v)) return Approx(static_cast<double>(*d));
  if (const auto* t = std::get_if<DateTime>(&v)) {
    return Approx(static_cast<double>(LinearDays(t->days)));
  }
  return std::nullopt;
}

int Sign(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

template <typename T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareNumbers(const Number& a, const Number& b) {
  if (!a.exact || !b.exact) {
    const bool a_nan = std::isnan(a.approx), b_nan = std::isnan(b.approx);
    if (a_nan || b_nan) return Order(a_nan, b_nan);  // NaN after every number
    return Sign(a.approx, b.approx);
  }
  if (a.negative != b.negative) return a.negative ? -1 : 1;
  int magnitude = Order(a.whole, b.whole);
  if (magnitude == 0) magnitude = Order(a.fraction, b.fraction);
  return a.negative ? -magnitude : magnitude;
}

std::optional<Number> BooleanText(std::u16string_view text) {
  const std::u16string folded = FoldCase(text);
  if (folded == u"true" || folded == u"yes" || folded == u"on") return FromInteger(-1);
  if (folded == u"false" || folded == u"no" || folded == u"off") return FromInteger(0);
  return std::nullopt;
}

std::optional<Number> LiteralNumber(const Value& literal, Category category) {
  if (!literal.is<std::u16string>()) {
    auto n = NumberOf(literal);
    if (n && category == Category::kDate && !literal.is<DateTime>()) {
      return Approx(static_cast<double>(LinearDays(static_cast<double>(n->approx))));
    }
    return n;
  }
  const auto& text = literal.as<std::u16string>();
  if (category == Category::kDate) {
    if (auto days = ParseDateText(text)) return Approx(static_cast<double>(LinearDays(*days)));
  }
  if (auto number = ParseNumberText(text)) {
    return LiteralNumber(*number, category);
  }
  return BooleanText(text);
}

}  // namespace

Category CategoryOf(ColumnType type) {
  switch (type) {
    case ColumnType::kText:
    case ColumnType::kMemo:
      return Category::kText;
    case ColumnType::kBoolean:
    case ColumnType::kByte:
    case ColumnType::kInt:
    case ColumnType::kLong:
    case ColumnType::kMoney:
    case ColumnType::kFloat:
    case ColumnType::kDouble:
    case ColumnType::kNumeric:
      return Category::kNumber;
    case ColumnType::kDateTime:
      return Category::kDate;
    case ColumnType::kGuid:
      return Category::kGuid;
    default:
      return Category::kBytes;
  }
}

Key KeyOf(const Value& value) {
  Key key;
  if (value.is_null()) return key;
  if (value.is<std::u16string>()) {
    key.kind = Key::Kind::kText;
    key.text = FoldCase(value.as<std::u16string>());
  } else if (value.is<Bytes>()) {
    key.kind = Key::Kind::kBytes;
    key.bytes = value.as<Bytes>();
  } else if (value.is<Guid>()) {
    key.kind = Key::Kind::kBytes;
    const auto& b = value.as<Guid>().bytes;
    key.bytes.assign(b.begin(), b.end());
  } else if (auto number = NumberOf(value)) {
    key.kind = Key::Kind::kNumber;
    key.number = *number;
  }
  return key;
}

bool LiteralKey(const Value& literal, Category category, Key& key) {
  key = Key();
  if (literal.is_null()) return true;
  switch (category) {
    case Category::kText:
      key.kind = Key::Kind::kText;
      key.text = FoldCase(ValueToText(literal));
      return true;
    case Category::kNumber:
    case Category::kDate: {
      auto number = LiteralNumber(literal, category);
      if (!number) return false;
      key.kind = Key::Kind::kNumber;
      key.number = *number;
      return true;
    }
    case Category::kGuid: {
      if (!literal.is<std::u16string>()) return false;
      auto guid = Guid::Parse(literal.as<std::u16string>());
      if (!guid) return false;
      key.kind = Key::Kind::kBytes;
      key.bytes.assign(guid->bytes.begin(), guid->bytes.end());
      return true;
    }
    case Category::kBytes:
      return false;
  }
  return false;
}

int CompareKeys(const Key& a, const Key& b) {
  if (a.kind != b.kind) return Order(a.kind, b.kind);
  switch (a.kind) {
    case Key::Kind::kNull:
      return 0;
    case Key::Kind::kNumber:
      return CompareNumbers(a.number, b.number);
    case Key::Kind::kText:
      return Order(a.text, b.text);
    case Key::Kind::kBytes:
      return Order(a.bytes, b.bytes);
  }
  return 0;
}

int CompareForSort(const Key& a, const Key& b) {
  const bool a_null = a.kind == Key::Kind::kNull, b_null = b.kind == Key::Kind::kNull;
  if (a_null || b_null) return a_null == b_null ? 0 : (a_null ? -1 : 1);
  return CompareKeys(a, b);
}

}  // namespace jet::sql
