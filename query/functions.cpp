#include "query/functions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>

#include "jet/error.h"
#include "jet/value.h"
#include "query/translate.h"

namespace query {
namespace {

// ---- text helpers ----

char32_t NextCodePoint(std::string_view s, size_t& i) {
  const unsigned char c = s[i];
  int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
  char32_t cp = extra == 0 ? c : extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
  ++i;
  while (extra-- > 0 && i < s.size()) cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
  return cp;
}

char32_t Fold(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c < 0x80) return c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F && c != 0x131 && c != 0x138 && c != 0x149) {
    // Latin Extended-A pairs: even upper, odd lower (with a shifted run 0x139-0x148, 0x179-0x17E).
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 0) ? c - 1 : c;
    return (c % 2 == 1) ? c - 1 : c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 32;
  return c;
}

char16_t Fold16(char16_t c) { return static_cast<char16_t>(Fold(c)); }

std::string_view Text(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p ? std::string_view(reinterpret_cast<const char*>(p), sqlite3_value_bytes(v))
           : std::string_view();
}

bool IsNull(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

void ResultText(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// Access dates run from 1/1/100 to 12/31/9999.
constexpr double kFirstDay = -657434, kLastDay = 2958466;

[[noreturn]] void Throw(const std::string& message);

void ResultDate(sqlite3_context* ctx, double days) {
  if (!(days >= kFirstDay && days < kLastDay)) Throw("Overflow");
  sqlite3_result_double(ctx, days);
  sqlite3_result_subtype(ctx, kDateSubtype);
}

[[noreturn]] void Throw(const std::string& message) {
  throw jet::Error(jet::Error::Kind::kInvalidArgument, message);
}

// Number text as Access prints it: integers without a fraction, others with up to 15 digits.
std::string NumberText(double d) {
  if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", d);
    return buf;
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", d);
  return buf;
}

// The text of a value as Access converts it to a string.
std::string ValueText(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      return {};
    case SQLITE_INTEGER:
      return std::to_string(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
      if (sqlite3_value_subtype(v) == kDateSubtype)
        return FormatAccessDate(sqlite3_value_double(v));
      return NumberText(sqlite3_value_double(v));
    default:
      return std::string(Text(v));
  }
}

// A number from a value: numbers as they are, text parsed as Access's Val would not (strict).
bool NumberOf(sqlite3_value* v, double* out) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
      *out = static_cast<double>(sqlite3_value_int64(v));
      return true;
    case SQLITE_FLOAT:
      *out = sqlite3_value_double(v);
      return true;
    case SQLITE_TEXT: {
      std::string s(Text(v));
      char* end = nullptr;
      const double d = std::strtod(s.c_str(), &end);
      while (end && *end == ' ') ++end;
      if (end == s.c_str() || (end && *end)) return false;
      *out = d;
      return true;
    }
    default:
      return false;
  }
}

double NumberArg(sqlite3_value* v, const char* function) {
  double d = 0;
  if (!NumberOf(v, &d))
    Throw(std::string("Data type mismatch in criteria expression (") + function + ").");
  return d;
}

// ---- dates ----

// Jet day numbers (days from 1899-12-30) to civil dates and back, through the engine's calendar.
void CivilFromDays(long long z, int* y, unsigned* m, unsigned* d) {
  const jet::CivilDate c = jet::CivilFromDays(z + jet::kJetEpochDays);
  *y = static_cast<int>(c.year);
  *m = static_cast<unsigned>(c.month);
  *d = static_cast<unsigned>(c.day);
}

double DaysFromCivil(long long y, long long m, long long d) {
  // Month overflow as DateSerial allows it; day overflow counts on from the month's first day.
  y += (m - 1) >= 0 ? (m - 1) / 12 : -((12 - m) / 12);
  m = ((m - 1) % 12 + 12) % 12 + 1;
  return static_cast<double>(jet::DaysFromCivil(y, static_cast<int>(m), 1) + (d - 1) -
                             jet::kJetEpochDays);
}

struct Parts {
  int year;
  unsigned month, day;
  int hour, minute, second;
  int weekday;  // 1 = Sunday
};

// Splits a Jet date: the integer part is the day (negative days count back), the fraction the
// time of day whatever the sign.
Parts Split(double days) {
  const double day = std::trunc(days);
  double frac = std::fabs(days - day);
  long long secs = std::llround(frac * 86400.0);
  long long dn = static_cast<long long>(day);
  if (secs >= 86400) {
    secs -= 86400;
    dn += days < 0 ? -1 : 1;
  }
  Parts p{};
  CivilFromDays(dn, &p.year, &p.month, &p.day);
  p.hour = static_cast<int>(secs / 3600);
  p.minute = static_cast<int>(secs / 60 % 60);
  p.second = static_cast<int>(secs % 60);
  p.weekday = static_cast<int>(((dn + 6) % 7 + 7) % 7) + 1;  // 1899-12-30 was a Saturday
  return p;
}

double Join(long long day, double seconds) {
  const double frac = seconds / 86400.0;
  return day >= 0 ? day + frac : day - frac;
}

double Now() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return Join(static_cast<long long>(DaysFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday)),
              tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec);
}

bool DateOf(sqlite3_value* v, double* out) {
  if (sqlite3_value_type(v) == SQLITE_TEXT) return ParseAccessDate(Text(v), out);
  return NumberOf(v, out);
}

double DateArg(sqlite3_value* v) {
  double d = 0;
  if (!DateOf(v, &d)) Throw("Data type mismatch in criteria expression (date expected).");
  if (!(d >= kFirstDay && d < kLastDay)) Throw("Overflow");
  return d;
}

const char* kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                             "July",    "August",   "September", "October", "November", "December"};
const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                           "Thursday", "Friday", "Saturday"};

// ---- scalar functions ----

#define ARGS sqlite3_context *ctx, int argc, sqlite3_value **argv
#define UNUSED_ARGC (void)argc

template <void (*F)(ARGS)>
void Guarded(ARGS) {
  try {
    F(ctx, argc, argv);
  } catch (const std::exception& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
}

void Like(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(ctx);
  sqlite3_result_int(
      ctx, AccessLike(jet::FromUtf8(ValueText(argv[0])), jet::FromUtf8(ValueText(argv[1]))));
}

void Concat(ARGS) {
  UNUSED_ARGC;
  ResultText(ctx, ValueText(argv[0]) + ValueText(argv[1]));
}

void Div(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(ctx);
  const double b = NumberArg(argv[1], "/");
  if (b == 0) Throw("Division by zero");
  sqlite3_result_double(ctx, NumberArg(argv[0], "/") / b);
}

long long RoundedInt(sqlite3_value* v, const char* op) {
  return static_cast<long long>(RoundHalfEven(NumberArg(v, op)));
}

void IntDiv(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(ctx);
  const long long b = RoundedInt(argv[1], "\\");
  if (b == 0) Throw("Division by zero");
  sqlite3_result_int64(ctx, RoundedInt(argv[0], "\\") / b);
}

void Mod(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(ctx);
  const long long b = RoundedInt(argv[1], "Mod");
  if (b == 0) Throw("Division by zero");
  sqlite3_result_int64(ctx, RoundedInt(argv[0], "Mod") % b);
}

void Pow(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(ctx);
  sqlite3_result_double(ctx, std::pow(NumberArg(argv[0], "^"), NumberArg(argv[1], "^")));
}

void Right(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  const std::u16string s = jet::FromUtf8(ValueText(argv[0]));
  const long long n = std::max<long long>(0, RoundedInt(argv[1], "Right"));
  ResultText(ctx, jet::ToUtf8(n >= static_cast<long long>(s.size())
                                  ? std::u16string_view(s)
                                  : std::u16string_view(s).substr(s.size() - n)));
}

void InStr(ARGS) {
  int i = 0;
  long long start = 1;
  if (argc >= 3) {
    if (IsNull(argv[0])) return sqlite3_result_null(ctx);
    start = RoundedInt(argv[0], "InStr");
    i = 1;
  }
  if (IsNull(argv[i]) || IsNull(argv[i + 1])) return sqlite3_result_null(ctx);
  std::u16string hay = jet::FromUtf8(ValueText(argv[i]));
  std::u16string needle = jet::FromUtf8(ValueText(argv[i + 1]));
  const bool binary = argc == 4 && sqlite3_value_int(argv[3]) == 0;
  if (!binary) {
    for (auto& c : hay) c = Fold16(c);
    for (auto& c : needle) c = Fold16(c);
  }
  if (start < 1) Throw("Invalid procedure call or argument (InStr)");
  if (static_cast<size_t>(start - 1) > hay.size()) return sqlite3_result_int(ctx, 0);
  const size_t at = hay.find(needle, start - 1);
  sqlite3_result_int64(ctx, at == std::u16string::npos ? 0 : static_cast<long long>(at) + 1);
}

void Space(ARGS) {
  UNUSED_ARGC;
  ResultText(ctx, std::string(std::max<long long>(0, RoundedInt(argv[0], "Space")), ' '));
}

void StringFn(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[1])) return sqlite3_result_null(ctx);
  std::u16string c = jet::FromUtf8(ValueText(argv[1]));
  if (sqlite3_value_type(argv[1]) != SQLITE_TEXT)
    c = std::u16string(1, static_cast<char16_t>(sqlite3_value_int(argv[1])));
  std::u16string out(std::max<long long>(0, RoundedInt(argv[0], "String")),
                     c.empty() ? u' ' : c[0]);
  ResultText(ctx, jet::ToUtf8(out));
}

void StrComp(ARGS) {
  if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(ctx);
  const std::string a = ValueText(argv[0]), b = ValueText(argv[1]);
  int c = (argc == 3 && sqlite3_value_int(argv[2]) == 0) ? a.compare(b) : CompareAccessText(a, b);
  sqlite3_result_int(ctx, c < 0 ? -1 : c > 0 ? 1 : 0);
}

template <int kWhich>
void DatePartOf(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  const Parts p = Split(DateArg(argv[0]));
  const int values[] = {
      p.year,   static_cast<int>(p.month), static_cast<int>(p.day), p.hour, p.minute, p.second,
      p.weekday};
  int v = values[kWhich];
  if (kWhich == 6 && argc > 1) v = (p.weekday - sqlite3_value_int(argv[1]) + 7) % 7 + 1;
  sqlite3_result_int(ctx, v);
}

void MonthName(ARGS) {
  const long long m = RoundedInt(argv[0], "MonthName");
  if (m < 1 || m > 12) Throw("Invalid procedure call or argument (MonthName)");
  std::string name = kMonthNames[m - 1];
  if (argc > 1 && sqlite3_value_int(argv[1]) != 0) name = name.substr(0, 3);
  ResultText(ctx, name);
}

int Quarter(const Parts& p) { return static_cast<int>((p.month - 1) / 3 + 1); }

int DayOfYear(const Parts& p) {
  return static_cast<int>(DaysFromCivil(p.year, p.month, p.day) - DaysFromCivil(p.year, 1, 1)) + 1;
}

void DatePart(ARGS) {
  if (IsNull(argv[1])) return sqlite3_result_null(ctx);
  const std::string iv = AsciiLower(ValueText(argv[0]));
  const double d = DateArg(argv[1]);
  const Parts p = Split(d);
  const int first = argc > 2 ? std::max(1, sqlite3_value_int(argv[2])) : 1;
  long long v;
  if (iv == "yyyy")
    v = p.year;
  else if (iv == "q")
    v = Quarter(p);
  else if (iv == "m")
    v = p.month;
  else if (iv == "y")
    v = DayOfYear(p);
  else if (iv == "d")
    v = p.day;
  else if (iv == "w")
    v = (p.weekday - first + 7) % 7 + 1;
  else if (iv == "ww") {
    const Parts jan1 = Split(DaysFromCivil(p.year, 1, 1));
    const int offset = (jan1.weekday - first + 7) % 7;
    v = (DayOfYear(p) - 1 + offset) / 7 + 1;
  } else if (iv == "h")
    v = p.hour;
  else if (iv == "n")
    v = p.minute;
  else if (iv == "s")
    v = p.second;
  else
    Throw("Invalid procedure call or argument (DatePart interval '" + iv + "')");
  sqlite3_result_int64(ctx, v);
}

double AddMonths(double d, long long months) {
  const Parts p = Split(d);
  const double base = DaysFromCivil(p.year, static_cast<long long>(p.month) + months, 1);
  const Parts first = Split(base);
  const long long day =
      std::min<long long>(p.day, jet::DaysInMonth(first.year, static_cast<int>(first.month)));
  return Join(static_cast<long long>(base) + day - 1, p.hour * 3600 + p.minute * 60 + p.second);
}

void DateAdd(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[1]) || IsNull(argv[2])) return sqlite3_result_null(ctx);
  const std::string iv = AsciiLower(ValueText(argv[0]));
  const double n = std::trunc(NumberArg(argv[1], "DateAdd"));
  const double d = DateArg(argv[2]);
  const Parts p = Split(d);
  const double secs_of_day = p.hour * 3600 + p.minute * 60 + p.second;
  const long long day = static_cast<long long>(DaysFromCivil(p.year, p.month, p.day));
  double out;
  auto shift_seconds = [&](double secs) {
    const double total = day * 86400.0 + secs_of_day + secs;
    const double nd = std::floor(total / 86400.0);
    return Join(static_cast<long long>(nd), total - nd * 86400.0);
  };
  if (iv == "yyyy")
    out = AddMonths(d, static_cast<long long>(n) * 12);
  else if (iv == "q")
    out = AddMonths(d, static_cast<long long>(n) * 3);
  else if (iv == "m")
    out = AddMonths(d, static_cast<long long>(n));
  else if (iv == "y" || iv == "d" || iv == "w")
    out = shift_seconds(n * 86400);
  else if (iv == "ww")
    out = shift_seconds(n * 7 * 86400);
  else if (iv == "h")
    out = shift_seconds(n * 3600);
  else if (iv == "n")
    out = shift_seconds(n * 60);
  else if (iv == "s")
    out = shift_seconds(n);
  else
    Throw("Invalid procedure call or argument (DateAdd interval '" + iv + "')");
  ResultDate(ctx, out);
}

void DateDiff(ARGS) {
  if (IsNull(argv[1]) || IsNull(argv[2])) return sqlite3_result_null(ctx);
  const std::string iv = AsciiLower(ValueText(argv[0]));
  const Parts a = Split(DateArg(argv[1])), b = Split(DateArg(argv[2]));
  const long long da = static_cast<long long>(DaysFromCivil(a.year, a.month, a.day));
  const long long db = static_cast<long long>(DaysFromCivil(b.year, b.month, b.day));
  const long long sa = da * 86400 + a.hour * 3600 + a.minute * 60 + a.second;
  const long long sb = db * 86400 + b.hour * 3600 + b.minute * 60 + b.second;
  long long v;
  if (iv == "yyyy")
    v = b.year - a.year;
  else if (iv == "q")
    v = (b.year - a.year) * 4LL + Quarter(b) - Quarter(a);
  else if (iv == "m")
    v = (b.year - a.year) * 12LL + b.month - a.month;
  else if (iv == "y" || iv == "d")
    v = db - da;
  else if (iv == "w")
    v = (db - da) / 7;
  else if (iv == "ww") {
    const int first = argc > 3 ? std::max(1, sqlite3_value_int(argv[3])) : 1;
    auto week_start = [&](long long dn) {
      const int wd = static_cast<int>(((dn + 6) % 7 + 7) % 7) + 1;
      return dn - (wd - first + 7) % 7;
    };
    v = (week_start(db) - week_start(da)) / 7;
  } else if (iv == "h")
    v = sb / 3600 - sa / 3600;
  else if (iv == "n")
    v = sb / 60 - sa / 60;
  else if (iv == "s")
    v = sb - sa;
  else
    Throw("Invalid procedure call or argument (DateDiff interval '" + iv + "')");
  sqlite3_result_int64(ctx, v);
}

void DateSerial(ARGS) {
  UNUSED_ARGC;
  for (int i = 0; i < 3; ++i) {
    if (IsNull(argv[i])) return sqlite3_result_null(ctx);
  }
  long long y = RoundedInt(argv[0], "DateSerial");
  if (y >= 0 && y < 30)
    y += 2000;
  else if (y >= 30 && y < 100)
    y += 1900;
  const double base = DaysFromCivil(y, RoundedInt(argv[1], "DateSerial"), 1);
  ResultDate(ctx, base + static_cast<double>(RoundedInt(argv[2], "DateSerial") - 1));
}

void Today(ARGS) {
  UNUSED_ARGC;
  (void)argv;
  ResultDate(ctx, std::floor(Now()));
}
void NowFn(ARGS) {
  UNUSED_ARGC;
  (void)argv;
  ResultDate(ctx, Now());
}
void TimeFn(ARGS) {
  UNUSED_ARGC;
  (void)argv;
  const double n = Now();
  ResultDate(ctx, n - std::floor(n));
}

void CCur(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  const double v = RoundHalfEven(NumberArg(argv[0], "CCur"), 4);
  if (!(std::fabs(v) <= 922337203685477.0)) Throw("Overflow");
  sqlite3_result_double(ctx, v);
}

template <long long kMin, long long kMax>
void CInteger(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  const double v = RoundHalfEven(NumberArg(argv[0], "CLng"));
  if (v < static_cast<double>(kMin) || v > static_cast<double>(kMax)) Throw("Overflow");
  sqlite3_result_int64(ctx, static_cast<long long>(v));
}

void CDbl(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  sqlite3_result_double(ctx, NumberArg(argv[0], "CDbl"));
}

void CStr(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  ResultText(ctx, ValueText(argv[0]));
}

void CDate(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  ResultDate(ctx, DateArg(argv[0]));
}

void CBool(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  sqlite3_result_int(ctx, NumberArg(argv[0], "CBool") != 0 ? -1 : 0);
}

// The text literal argv[1] as compared with argv[0]: Access compares a number with a text that
// reads as a number as two numbers. SQLite converts the text only beside a column of a numeric
// type, so the translation passes the value of any other side here.
void TextAgainst(ARGS) {
  UNUSED_ARGC;
  const int other = sqlite3_value_type(argv[0]);
  double d = 0;
  if ((other == SQLITE_INTEGER || other == SQLITE_FLOAT) && NumberOf(argv[1], &d)) {
    return sqlite3_result_double(ctx, d);
  }
  sqlite3_result_value(ctx, argv[1]);
}

void Val(ARGS) {
  UNUSED_ARGC;
  std::string s;
  for (char c : ValueText(argv[0])) {
    if (c != ' ' && c != '\t' && c != '\n') s += c;
  }
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
      while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
      i = j;
    }
  }
  const double d = std::strtod(s.substr(0, i).c_str(), nullptr);
  sqlite3_result_double(ctx, d);
}

template <double (*F)(double), bool kIntegral = false>
void Math(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  const double v = NumberArg(argv[0], "math");
  if (kIntegral && sqlite3_value_type(argv[0]) == SQLITE_INTEGER) {
    return sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
  }
  const double r = F(v);
  if (std::isnan(r)) Throw("Invalid procedure call or argument");
  sqlite3_result_double(ctx, r);
}

double Sign(double v) { return v > 0 ? 1 : v < 0 ? -1 : 0; }
double Floor(double v) { return std::floor(v); }
double Trunc(double v) { return std::trunc(v); }
double Sqrt(double v) { return std::sqrt(v); }
double Exp(double v) { return std::exp(v); }
double Log(double v) { return std::log(v); }

void Round(ARGS) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  const int n = argc > 1 ? sqlite3_value_int(argv[1]) : 0;
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER)
    return sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
  sqlite3_result_double(ctx, RoundHalfEven(NumberArg(argv[0], "Round"), n));
}

// Format(value, format): the named formats and the date and number patterns queries use.
std::string FormatNumber(double v, const std::string& fmt) {
  const std::string f = AsciiLower(fmt);
  char buf[64];
  auto grouped = [](double x, int decimals) {
    char b[64];
    std::snprintf(b, sizeof b, "%.*f", decimals, std::fabs(x));
    std::string s = b;
    const size_t dot = s.find('.');
    std::string ip = s.substr(0, dot), fp = dot == std::string::npos ? "" : s.substr(dot);
    std::string g;
    for (size_t i = 0; i < ip.size(); ++i) {
      if (i > 0 && (ip.size() - i) % 3 == 0) g += ',';
      g += ip[i];
    }
    return (x < 0 && std::stod(b) != 0 ? "-" : "") + g + fp;
  };
  if (f == "general number" || f.empty()) return NumberText(v);
  if (f == "currency") return (v < 0 ? "-$" : "$") + grouped(std::fabs(v), 2);
  if (f == "fixed") {
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
  }
  if (f == "standard") return grouped(v, 2);
  if (f == "percent") {
    std::snprintf(buf, sizeof buf, "%.2f%%", v * 100);
    return buf;
  }
  if (f == "scientific") {
    std::snprintf(buf, sizeof buf, "%.2E", v);
    return buf;
  }
  if (f == "yes/no") return v != 0 ? "Yes" : "No";
  if (f == "true/false") return v != 0 ? "True" : "False";
  if (f == "on/off") return v != 0 ? "On" : "Off";
  // A pattern of 0, #, ',' and '.', with an optional % suffix.
  const size_t dot = fmt.find('.');
  int decimals = 0;
  if (dot != std::string::npos) {
    for (size_t i = dot + 1; i < fmt.size() && (fmt[i] == '0' || fmt[i] == '#'); ++i) ++decimals;
  }
  const bool percent = fmt.find('%') != std::string::npos;
  const double x = percent ? v * 100 : v;
  std::string s = fmt.find(',') != std::string::npos ? grouped(x, decimals) : [&] {
    std::snprintf(buf, sizeof buf, "%.*f", decimals, x);
    return std::string(buf);
  }();
  return percent ? s + "%" : s;
}

std::string FormatDate(double d, const std::string& fmt) {
  const std::string f = AsciiLower(fmt);
  const Parts p = Split(d);
  char buf[64];
  if (f == "general date" || f.empty()) return FormatAccessDate(d);
  if (f == "short date") {
    std::snprintf(buf, sizeof buf, "%u/%u/%04d", p.month, p.day, p.year);
    return buf;
  }
  if (f == "medium date") {
    std::snprintf(buf, sizeof buf, "%02u-%.3s-%02d", p.day, kMonthNames[p.month - 1], p.year % 100);
    return buf;
  }
  if (f == "long date") {
    std::snprintf(buf, sizeof buf, "%s, %s %u, %d", kDayNames[p.weekday - 1],
                  kMonthNames[p.month - 1], p.day, p.year);
    return buf;
  }
  if (f == "short time") {
    std::snprintf(buf, sizeof buf, "%02d:%02d", p.hour, p.minute);
    return buf;
  }
  if (f == "medium time") {
    std::snprintf(buf, sizeof buf, "%02d:%02d %s", (p.hour + 11) % 12 + 1, p.minute,
                  p.hour < 12 ? "AM" : "PM");
    return buf;
  }
  if (f == "long time") {
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", (p.hour + 11) % 12 + 1, p.minute, p.second,
                  p.hour < 12 ? "AM" : "PM");
    return buf;
  }
  std::string out;
  const bool ampm = f.find("am/pm") != std::string::npos;
  for (size_t i = 0; i < fmt.size();) {
    auto run = [&](char c) {
      size_t n = 0;
      while (i + n < fmt.size() && std::tolower(static_cast<unsigned char>(fmt[i + n])) == c) ++n;
      return n;
    };
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(fmt[i])));
    size_t n;
    if (c == 'y' && (n = run('y'))) {
      std::snprintf(buf, sizeof buf,
                    n >= 4   ? "%04d"
                    : n >= 2 ? "%02d"
                             : "%d",
                    n >= 4   ? p.year
                    : n >= 2 ? p.year % 100
                             : DayOfYear(p));
      out += buf;
    } else if (c == 'm' && (n = run('m'))) {
      if (n >= 4)
        out += kMonthNames[p.month - 1];
      else if (n == 3)
        out += std::string(kMonthNames[p.month - 1]).substr(0, 3);
      else {
        std::snprintf(buf, sizeof buf, n == 2 ? "%02u" : "%u", p.month);
        out += buf;
      }
    } else if (c == 'd' && (n = run('d'))) {
      if (n >= 4)
        out += kDayNames[p.weekday - 1];
      else if (n == 3)
        out += std::string(kDayNames[p.weekday - 1]).substr(0, 3);
      else {
        std::snprintf(buf, sizeof buf, n == 2 ? "%02u" : "%u", p.day);
        out += buf;
      }
    } else if (c == 'h' && (n = run('h'))) {
      const int h = ampm ? (p.hour + 11) % 12 + 1 : p.hour;
      std::snprintf(buf, sizeof buf, n >= 2 ? "%02d" : "%d", h);
      out += buf;
    } else if (c == 'n' && (n = run('n'))) {
      std::snprintf(buf, sizeof buf, n >= 2 ? "%02d" : "%d", p.minute);
      out += buf;
    } else if (c == 's' && (n = run('s'))) {
      std::snprintf(buf, sizeof buf, n >= 2 ? "%02d" : "%d", p.second);
      out += buf;
    } else if (c == 'q') {
      out += std::to_string(Quarter(p));
      n = 1;
    } else if (c == 'w' && (n = run('w'))) {
      out += std::to_string(p.weekday);
    } else if (c == 'a' && AsciiLower(fmt.substr(i, 5)) == "am/pm") {
      out += p.hour < 12 ? "AM" : "PM";
      n = 5;
    } else {
      out += fmt[i];
      n = 1;
    }
    i += n;
  }
  return out;
}

bool LooksLikeDateFormat(const std::string& fmt) {
  const std::string f = AsciiLower(fmt);
  if (f.find("date") != std::string::npos || f.find("time") != std::string::npos) return true;
  return f.find_first_of("ymdhns") != std::string::npos &&
         f.find_first_of("0#") == std::string::npos;
}

void Format(ARGS) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  const std::string fmt = argc > 1 ? ValueText(argv[1]) : "";
  const bool is_date = sqlite3_value_subtype(argv[0]) == kDateSubtype;
  double v = 0;
  if (is_date || (LooksLikeDateFormat(fmt) && DateOf(argv[0], &v))) {
    if (is_date) v = sqlite3_value_double(argv[0]);
    return ResultText(ctx, FormatDate(v, fmt));
  }
  if (NumberOf(argv[0], &v)) return ResultText(ctx, FormatNumber(v, fmt));
  const std::string s = ValueText(argv[0]);
  const std::string f = AsciiLower(fmt);
  if (f == ">")
    return ResultText(ctx, jet::ToUtf8([&] {
                        auto u = jet::FromUtf8(s);
                        for (auto& c : u) c = Fold16(c);
                        return u;
                      }()));
  if (f == "<") {
    sqlite3_str* str = sqlite3_str_new(nullptr);
    sqlite3_str_appendall(str, s.c_str());
    char* z = sqlite3_str_finish(str);
    std::string lower = z ? z : "";
    sqlite3_free(z);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ResultText(ctx, lower);
  }
  ResultText(ctx, s);
}

// ---- aggregates ----

// An exact sum: integers in 128 bits; other numbers as decimals of up to 15 significant digits
// with 18 decimals, so Currency values (4 decimals) and the like add up without binary error.
// SQLite's aggregate context is only 8-byte aligned: the 128-bit sum is kept in bytes.
struct SumState {
  unsigned char scaled_bytes[16] = {};  // value * 10^18, a __int128
  __int128 scaled() const {
    __int128 v;
    std::memcpy(&v, scaled_bytes, sizeof v);
    return v;
  }
  void add(__int128 x) {
    const __int128 v = scaled() + x;
    std::memcpy(scaled_bytes, &v, sizeof v);
  }
  double fallback = 0;  // numbers beyond the exact range
  bool any = false, real = false, inexact = false;
  long long count = 0;
};

constexpr int kScale = 18;

bool ToScaled(double d, __int128* out) {
  if (!std::isfinite(d) || std::fabs(d) >= 1e19) return false;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15e", d);  // d.ddddddddddddddde±XX
  const char* p = buf;
  bool neg = false;
  if (*p == '-') {
    neg = true;
    ++p;
  }
  __int128 digits = 0;
  int ndigits = 0;
  for (; *p && *p != 'e'; ++p) {
    if (*p == '.') continue;
    digits = digits * 10 + (*p - '0');
    ++ndigits;
  }
  const int exp = std::atoi(p + 1);
  // value = digits * 10^(exp - (ndigits - 1))
  int shift = exp - (ndigits - 1) + kScale;
  if (shift < 0) {
    if (shift < -30) {
      *out = 0;
      return d == 0;
    }
    // Dropping digits that are zero keeps it exact; otherwise report it.
    for (; shift < 0; ++shift) {
      if (digits % 10 != 0) return false;
      digits /= 10;
    }
  }
  for (; shift > 0; --shift) digits *= 10;
  *out = neg ? -digits : digits;
  return true;
}

std::string ScaledText(__int128 v) {
  const bool neg = v < 0;
  unsigned __int128 m =
      neg ? static_cast<unsigned __int128>(-v) : static_cast<unsigned __int128>(v);
  std::string digits = jet::DigitsOf(m);
  while (digits.size() <= kScale) digits.insert(digits.begin(), '0');
  return (neg ? "-" : "") + digits.substr(0, digits.size() - kScale) + "." +
         digits.substr(digits.size() - kScale);
}

void SumStep(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0])) return;
  auto* s = static_cast<SumState*>(sqlite3_aggregate_context(ctx, sizeof(SumState)));
  if (!s) return sqlite3_result_error_nomem(ctx);
  s->any = true;
  ++s->count;
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER) {
    s->add(static_cast<__int128>(sqlite3_value_int64(argv[0])) *
           static_cast<__int128>(1000000000000000000LL));
    return;
  }
  double d = 0;
  if (!NumberOf(argv[0], &d)) {
    sqlite3_result_error(ctx, "Data type mismatch in criteria expression (Sum of text).", -1);
    return;
  }
  s->real = true;
  __int128 scaled = 0;
  if (ToScaled(d, &scaled))
    s->add(scaled);
  else {
    s->inexact = true;
    s->fallback += d;
  }
}

double SumValue(const SumState& s) {
  return std::strtod(ScaledText(s.scaled()).c_str(), nullptr) + s.fallback;
}

void SumFinal(sqlite3_context* ctx) {
  auto* s = static_cast<SumState*>(sqlite3_aggregate_context(ctx, 0));
  if (!s || !s->any) return sqlite3_result_null(ctx);
  if (!s->real && !s->inexact) {
    const __int128 whole = s->scaled() / static_cast<__int128>(1000000000000000000LL);
    if (whole >= INT64_MIN && whole <= INT64_MAX)
      return sqlite3_result_int64(ctx, static_cast<long long>(whole));
  }
  sqlite3_result_double(ctx, SumValue(*s));
}

void AvgFinal(sqlite3_context* ctx) {
  auto* s = static_cast<SumState*>(sqlite3_aggregate_context(ctx, 0));
  if (!s || !s->any) return sqlite3_result_null(ctx);
  if (!s->inexact) {
    const __int128 q = s->scaled() / s->count;
    if (q * s->count == s->scaled())
      return sqlite3_result_double(ctx, std::strtod(ScaledText(q).c_str(), nullptr));
  }
  sqlite3_result_double(ctx, SumValue(*s) / static_cast<double>(s->count));
}

struct PickState {
  sqlite3_value* value = nullptr;
};

// First and Last take the row's value even when it is Null. A crosstab cell passes whether the
// row belongs to its column as a second argument, so the pick follows row order among those rows.
template <bool kLast>
void PickStep(ARGS) {
  if (argc > 1 && sqlite3_value_int(argv[1]) == 0) return;
  auto* s = static_cast<PickState*>(sqlite3_aggregate_context(ctx, sizeof(PickState)));
  if (!s) return sqlite3_result_error_nomem(ctx);
  if (s->value && !kLast) return;
  sqlite3_value_free(s->value);
  s->value = sqlite3_value_dup(argv[0]);
}

void PickFinal(sqlite3_context* ctx) {
  auto* s = static_cast<PickState*>(sqlite3_aggregate_context(ctx, 0));
  if (!s || !s->value) return sqlite3_result_null(ctx);
  sqlite3_result_value(ctx, s->value);
  sqlite3_value_free(s->value);
  s->value = nullptr;
}

struct VarState {
  long long n = 0;
  double mean = 0, m2 = 0;
};

void VarStep(ARGS) {
  UNUSED_ARGC;
  if (IsNull(argv[0])) return;
  auto* s = static_cast<VarState*>(sqlite3_aggregate_context(ctx, sizeof(VarState)));
  if (!s) return sqlite3_result_error_nomem(ctx);
  double x = 0;
  if (!NumberOf(argv[0], &x)) return;
  ++s->n;
  const double delta = x - s->mean;
  s->mean += delta / static_cast<double>(s->n);
  s->m2 += delta * (x - s->mean);
}

template <bool kSample, bool kRoot>
void VarFinal(sqlite3_context* ctx) {
  auto* s = static_cast<VarState*>(sqlite3_aggregate_context(ctx, 0));
  const long long need = kSample ? 2 : 1;
  if (!s || s->n < need) return sqlite3_result_null(ctx);
  const double v = s->m2 / static_cast<double>(kSample ? s->n - 1 : s->n);
  sqlite3_result_double(ctx, kRoot ? std::sqrt(v) : v);
}

int CollateAccess(void*, int la, const void* a, int lb, const void* b) {
  return CompareAccessText(std::string_view(static_cast<const char*>(a), la),
                           std::string_view(static_cast<const char*>(b), lb));
}

void Add(sqlite3* db, const char* name, int args, void (*fn)(ARGS), bool deterministic = true) {
  const int flags = SQLITE_UTF8 | (deterministic ? SQLITE_DETERMINISTIC : 0);
  if (sqlite3_create_function_v2(db, name, args, flags, nullptr, fn, nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    throw jet::Error(jet::Error::Kind::kIo, std::string("cannot register ") + name);
  }
}

void AddAggregate(sqlite3* db, const char* name, void (*step)(ARGS),
                  void (*final)(sqlite3_context*), int nargs = 1) {
  if (sqlite3_create_function_v2(db, name, nargs, SQLITE_UTF8, nullptr, nullptr, step, final,
                                 nullptr) != SQLITE_OK) {
    throw jet::Error(jet::Error::Kind::kIo, std::string("cannot register ") + name);
  }
}

}  // namespace

int CompareAccessText(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const char32_t ca = Fold(NextCodePoint(a, i)), cb = Fold(NextCodePoint(b, j));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

std::string FoldForKey(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const char32_t c = Fold(NextCodePoint(text, i));
    // Code points as fixed-width bytes: distinct folds stay distinct.
    out.push_back(static_cast<char>(c >> 16));
    out.push_back(static_cast<char>((c >> 8) & 0xFF));
    out.push_back(static_cast<char>(c & 0xFF));
  }
  return out;
}

bool AccessLike(std::u16string_view text, std::u16string_view pattern) {
  // Iterative match with one backtrack point for the last '*'.
  size_t t = 0, p = 0, star = std::u16string_view::npos, mark = 0;
  auto one = [&](size_t& pi, char16_t c) -> bool {
    const char16_t pc = pattern[pi];
    if (pc == u'?') {
      ++pi;
      return true;
    }
    if (pc == u'#') {
      ++pi;
      return c >= u'0' && c <= u'9';
    }
    if (pc == u'[') {
      const size_t close = pattern.find(u']', pi + 1);
      if (close == std::u16string_view::npos) Throw("Invalid pattern string");
      std::u16string_view cls = pattern.substr(pi + 1, close - pi - 1);
      pi = close + 1;
      bool negate = false;
      if (!cls.empty() && cls[0] == u'!') {
        negate = true;
        cls.remove_prefix(1);
      }
      bool hit = false;
      const char16_t fc = Fold16(c);
      for (size_t k = 0; k < cls.size(); ++k) {
        if (k + 2 < cls.size() && cls[k + 1] == u'-') {
          if (fc >= Fold16(cls[k]) && fc <= Fold16(cls[k + 2])) hit = true;
          k += 2;
        } else if (Fold16(cls[k]) == fc) {
          hit = true;
        }
      }
      return hit != negate;
    }
    ++pi;
    return Fold16(pc) == Fold16(c);
  };
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = ++p;
      mark = t;
      continue;
    }
    size_t np = p;
    if (p < pattern.size() && one(np, text[t])) {
      p = np;
      ++t;
      continue;
    }
    if (star == std::u16string_view::npos) return false;
    p = star;
    t = ++mark;
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

double RoundHalfEven(double v, int decimals) {
  const double scale = std::pow(10.0, decimals);
  const double x = v * scale;
  double r = std::nearbyint(x);  // the default rounding mode rounds half to even
  // x may sit a hair off the half because of binary fractions (2.675 * 100).
  const double diff = std::fabs(x - std::trunc(x));
  if (std::fabs(diff - 0.5) < 1e-9) {
    const double lo = std::floor(x), hi = lo + 1;
    r = std::fmod(lo, 2) == 0 ? lo : hi;
  }
  return r / scale;
}

std::string FormatAccessDate(double days) {
  const Parts p = Split(days);
  char buf[64];
  const bool has_date = std::trunc(days) != 0;
  const bool has_time = p.hour || p.minute || p.second;
  std::string out;
  if (has_date || !has_time) {
    std::snprintf(buf, sizeof buf, "%u/%u/%04d", p.month, p.day, p.year);
    out = buf;
  }
  if (has_time) {
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", (p.hour + 11) % 12 + 1, p.minute, p.second,
                  p.hour < 12 ? "AM" : "PM");
    out += (out.empty() ? "" : " ") + std::string(buf);
  }
  return out;
}

void RegisterAccessFunctions(sqlite3* db) {
  if (sqlite3_create_collation_v2(db, "ACCESS", SQLITE_UTF8, nullptr, CollateAccess, nullptr) !=
      SQLITE_OK) {
    throw jet::Error(jet::Error::Kind::kIo, "cannot register the ACCESS collation");
  }
  Add(db, "acc_like", 2, Guarded<Like>);
  Add(db, "acc_concat", 2, Guarded<Concat>);
  Add(db, "acc_div", 2, Guarded<Div>);
  Add(db, "acc_intdiv", 2, Guarded<IntDiv>);
  Add(db, "acc_mod", 2, Guarded<Mod>);
  Add(db, "acc_pow", 2, Guarded<Pow>);
  Add(db, "acc_right", 2, Guarded<Right>);
  Add(db, "acc_instr", -1, Guarded<InStr>);
  Add(db, "acc_space", 1, Guarded<Space>);
  Add(db, "acc_string", 2, Guarded<StringFn>);
  Add(db, "acc_strcomp", -1, Guarded<StrComp>);
  Add(db, "acc_format", -1, Guarded<Format>);
  Add(db, "acc_year", 1, Guarded<DatePartOf<0>>);
  Add(db, "acc_month", 1, Guarded<DatePartOf<1>>);
  Add(db, "acc_day", 1, Guarded<DatePartOf<2>>);
  Add(db, "acc_hour", 1, Guarded<DatePartOf<3>>);
  Add(db, "acc_minute", 1, Guarded<DatePartOf<4>>);
  Add(db, "acc_second", 1, Guarded<DatePartOf<5>>);
  Add(db, "acc_weekday", -1, Guarded<DatePartOf<6>>);
  Add(db, "acc_monthname", -1, Guarded<MonthName>);
  Add(db, "acc_datepart", -1, Guarded<DatePart>);
  Add(db, "acc_dateadd", 3, Guarded<DateAdd>);
  Add(db, "acc_datediff", -1, Guarded<DateDiff>);
  Add(db, "acc_dateserial", 3, Guarded<DateSerial>);
  Add(db, "acc_date", 0, Guarded<Today>, false);
  Add(db, "acc_now", 0, Guarded<NowFn>, false);
  Add(db, "acc_time", 0, Guarded<TimeFn>, false);
  Add(db, "acc_ccur", 1, Guarded<CCur>);
  Add(db, "acc_clng", 1, Guarded<CInteger<INT32_MIN, INT32_MAX>>);
  Add(db, "acc_cint", 1, Guarded<CInteger<INT16_MIN, INT16_MAX>>);
  Add(db, "acc_cdbl", 1, Guarded<CDbl>);
  Add(db, "acc_cstr", 1, Guarded<CStr>);
  Add(db, "acc_cdate", 1, Guarded<CDate>);
  Add(db, "acc_cbool", 1, Guarded<CBool>);
  Add(db, "acc_val", 1, Guarded<Val>);
  Add(db, "acc_text_against", 2, Guarded<TextAgainst>);
  Add(db, "acc_int", 1, Guarded<Math<Floor, true>>);
  Add(db, "acc_fix", 1, Guarded<Math<Trunc, true>>);
  Add(db, "acc_sgn", 1, Guarded<Math<Sign>>);
  Add(db, "acc_sqr", 1, Guarded<Math<Sqrt>>);
  Add(db, "acc_exp", 1, Guarded<Math<Exp>>);
  Add(db, "acc_log", 1, Guarded<Math<Log>>);
  Add(db, "acc_round", -1, Guarded<Round>);
  AddAggregate(db, "acc_sum", SumStep, SumFinal);
  AddAggregate(db, "acc_avg", SumStep, AvgFinal);
  AddAggregate(db, "acc_first", PickStep<false>, PickFinal);
  AddAggregate(db, "acc_last", PickStep<true>, PickFinal);
  AddAggregate(db, "acc_first", PickStep<false>, PickFinal, 2);
  AddAggregate(db, "acc_last", PickStep<true>, PickFinal, 2);
  AddAggregate(db, "acc_var", VarStep, VarFinal<true, false>);
  AddAggregate(db, "acc_varp", VarStep, VarFinal<false, false>);
  AddAggregate(db, "acc_stdev", VarStep, VarFinal<true, true>);
  AddAggregate(db, "acc_stdevp", VarStep, VarFinal<false, true>);
}

}  // namespace query
