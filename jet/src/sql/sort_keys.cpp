#include "sql/sort_keys.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <variant>

#include "sql/convert.h"

namespace jet::sql {
namespace {

bool IsInteger(const Value& v) {
  return v.is<bool>() || v.is<uint8_t>() || v.is<int16_t>() || v.is<int32_t>() || v.is<int64_t>();
}

int64_t IntegerOf(const Value& v) {
  if (v.is<bool>()) return v.as<bool>() ? -1 : 0;
  if (v.is<uint8_t>()) return v.as<uint8_t>();
  if (v.is<int16_t>()) return v.as<int16_t>();
  if (v.is<int32_t>()) return v.as<int32_t>();
  if (v.is<int64_t>()) return v.as<int64_t>();
  return v.as<Currency>().units;
}

double RealOf(const Value& v) {
  if (v.is<float>()) return static_cast<double>(v.as<float>());
  if (v.is<double>()) return v.as<double>();
  return LinearDays(v.as<DateTime>().days);
}

template <typename T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

SortKeys::Kind SortKeys::KindOf(const std::vector<std::vector<Value>>& rows, size_t column) {
  bool integers = true, currency = true, reals = true, dates = true, texts = true;
  for (const auto& row : rows) {
    const Value& v = row[column];
    if (v.is_null()) continue;
    integers = integers && IsInteger(v);
    currency = currency && v.is<Currency>();
    reals = reals && (v.is<float>() || v.is<double>());
    dates = dates && v.is<DateTime>();
    texts = texts && v.is<std::u16string>();
  }
  if (integers || currency) return Kind::kInteger;  // all NULL lands here too
  if (reals || dates) return Kind::kReal;
  return texts ? Kind::kText : Kind::kGeneric;
}

SortKeys::SortKeys(const std::vector<std::vector<Value>>& rows, size_t column)
    : kind_(KindOf(rows, column)), null_(rows.size(), 0) {
  if (kind_ == Kind::kText) text_start_.reserve(rows.size() + 1);
  for (size_t i = 0; i < rows.size(); ++i) {
    const Value& v = rows[i][column];
    null_[i] = v.is_null() ? 1 : 0;
    switch (kind_) {
      case Kind::kInteger:
        integers_.push_back(v.is_null() ? 0 : IntegerOf(v));
        break;
      case Kind::kReal:
        reals_.push_back(v.is_null() ? 0 : RealOf(v));
        break;
      case Kind::kText:
        text_start_.push_back(text_.size());
        if (!v.is_null()) {
          for (char16_t c : v.as<std::u16string>()) text_ += FoldCase(c);
        }
        break;
      case Kind::kGeneric:
        generic_.push_back(KeyOf(v));
        break;
    }
  }
  if (kind_ == Kind::kText) text_start_.push_back(text_.size());
}

int SortKeys::Compare(size_t a, size_t b) const {
  if (null_[a] != 0 || null_[b] != 0) return Order(null_[b], null_[a]);
  switch (kind_) {
    case Kind::kInteger:
      return Order(integers_[a], integers_[b]);
    case Kind::kReal: {
      const double x = reals_[a], y = reals_[b];
      if (std::isnan(x) || std::isnan(y)) return Order(std::isnan(x), std::isnan(y));
      return Order(x, y);
    }
    case Kind::kText: {
      const int c = Text(a).compare(Text(b));
      return (c > 0) - (c < 0);
    }
    case Kind::kGeneric:
      return CompareForSort(generic_[a], generic_[b]);
  }
  return 0;
}

std::vector<size_t> SortedPositions(size_t n, const std::vector<SortKeys>& keys,
                                    const std::vector<SortColumn>& terms) {
  std::vector<size_t> positions(n);
  std::iota(positions.begin(), positions.end(), size_t{0});
  std::stable_sort(positions.begin(), positions.end(), [&](size_t a, size_t b) {
    for (size_t c = 0; c < terms.size(); ++c) {
      const int cmp = keys[c].Compare(a, b);
      if (cmp != 0) return terms[c].ascending ? cmp < 0 : cmp > 0;
    }
    return false;
  });
  return positions;
}

}  // namespace jet::sql
