// Oracle's built-in functions on a SQLite connection. Dates are text "YYYY-MM-DD HH:MM:SS"
// (optionally with a fraction); an empty text counts as NULL where Oracle's NVL family would see
// one. Errors are reported as "ORA-nnnnn: text" so that mapSqliteError keeps Oracle's code.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "SimDialect.h"

namespace vsim {
namespace {

const char* const kMonths[] = {"JANUARY",   "FEBRUARY", "MARCH",    "APRIL",
                               "MAY",       "JUNE",     "JULY",     "AUGUST",
                               "SEPTEMBER", "OCTOBER",  "NOVEMBER", "DECEMBER"};
const char* const kDays[] = {"SUNDAY",   "MONDAY", "TUESDAY", "WEDNESDAY",
                             "THURSDAY", "FRIDAY", "SATURDAY"};

// A double as a 64-bit integer, truncated and clamped (NaN gives 0): casting an out-of-range
// double is undefined.
long long clampToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 9.2e18) return 9200000000000000000LL;
  if (v <= -9.2e18) return -9200000000000000000LL;
  return static_cast<long long>(v);
}

struct DateTime {
  int y = 1, mo = 1, d = 1, h = 0, mi = 0, s = 0;
  long nanos = 0;
};

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
long long daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, int* y, int* m, int* d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (*m <= 2));
}

int daysInMonth(int y, int m) {
  static const int kLen[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kLen[m - 1];
}

bool digitsAt(const char* p, int n, int* v) {
  *v = 0;
  for (int i = 0; i < n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(p[i]))) return false;
    *v = *v * 10 + (p[i] - '0');
  }
  return true;
}

// Stored form: "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or with ".f..." (a 'T' may separate).
bool parseStored(const char* t, DateTime* dt) {
  if (!t) return false;
  const size_t n = std::strlen(t);
  DateTime r;
  if (n < 10 || t[4] != '-' || t[7] != '-' || !digitsAt(t, 4, &r.y) || !digitsAt(t + 5, 2, &r.mo) ||
      !digitsAt(t + 8, 2, &r.d))
    return false;
  if (n > 10) {
    if ((t[10] != ' ' && t[10] != 'T') || n < 19 || t[13] != ':' || t[16] != ':' ||
        !digitsAt(t + 11, 2, &r.h) || !digitsAt(t + 14, 2, &r.mi) || !digitsAt(t + 17, 2, &r.s))
      return false;
    if (n > 19) {
      if (t[19] != '.') return false;
      long scale = 100000000;
      for (size_t i = 20; i < n; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(t[i]))) return false;
        r.nanos += (t[i] - '0') * scale;
        scale /= 10;
      }
    }
  }
  if (r.mo < 1 || r.mo > 12 || r.d < 1 || r.d > daysInMonth(r.y, r.mo) || r.h > 23 || r.mi > 59 ||
      r.s > 59)
    return false;
  *dt = r;
  return true;
}

std::string storedText(const DateTime& dt, int fracDigits = 0) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", dt.y, dt.mo, dt.d, dt.h, dt.mi,
                dt.s);
  std::string r(buf);
  if (fracDigits > 0) {
    char f[16];
    std::snprintf(f, sizeof f, "%09ld", dt.nanos);
    r += '.';
    r.append(f, static_cast<size_t>(fracDigits > 9 ? 9 : fracDigits));
  }
  return r;
}

double toSeconds(const DateTime& dt) {
  return static_cast<double>(daysFromCivil(dt.y, dt.mo, dt.d)) * 86400.0 + dt.h * 3600.0 +
         dt.mi * 60.0 + dt.s + dt.nanos / 1e9;
}

DateTime fromSeconds(double secs) {
  DateTime dt;
  const long long whole = static_cast<long long>(std::floor(secs + 0.5));  // DATE: whole seconds
  long long days = whole / 86400;
  long long rest = whole % 86400;
  if (rest < 0) rest += 86400, --days;
  civilFromDays(days, &dt.y, &dt.mo, &dt.d);
  dt.h = static_cast<int>(rest / 3600);
  dt.mi = static_cast<int>(rest / 60 % 60);
  dt.s = static_cast<int>(rest % 60);
  return dt;
}

bool isNullish(sqlite3_value* v) {
  const int t = sqlite3_value_type(v);
  return t == SQLITE_NULL || (t == SQLITE_TEXT && sqlite3_value_bytes(v) == 0);
}

bool isNumeric(sqlite3_value* v) {
  const int t = sqlite3_value_type(v);
  return t == SQLITE_INTEGER || t == SQLITE_FLOAT;
}

std::string textOf(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? std::string(reinterpret_cast<const char*>(t),
                         static_cast<size_t>(sqlite3_value_bytes(v)))
           : std::string();
}

void oraError(sqlite3_context* ctx, const char* text) { sqlite3_result_error(ctx, text, -1); }

// Strict Oracle number text: blanks around, sign, digits, point, exponent.
bool parseNumber(const std::string& in, double* v, bool* integral, long long* iv) {
  size_t a = 0, b = in.size();
  while (a < b && std::isspace(static_cast<unsigned char>(in[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(in[b - 1]))) --b;
  const std::string s = in.substr(a, b - a);
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  bool point = false, exp = false;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    point = true;
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    exp = true;
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t ed = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++ed;
    if (ed == 0) return false;
  }
  if (i != s.size()) return false;
  *v = std::strtod(s.c_str(), nullptr);
  *integral = false;
  if (!point && !exp && s.size() < 19) {
    *integral = true;
    *iv = std::strtoll(s.c_str(), nullptr, 10);
  }
  return true;
}

bool numberOf(sqlite3_value* v, double* out) {
  if (sqlite3_value_type(v) == SQLITE_INTEGER) {
    *out = static_cast<double>(sqlite3_value_int64(v));
    return true;
  }
  if (sqlite3_value_type(v) == SQLITE_FLOAT) {
    *out = sqlite3_value_double(v);
    return true;
  }
  bool integral = false;
  long long iv = 0;
  return parseNumber(textOf(v), out, &integral, &iv);
}

// Shortest decimal digits and exponent of a double: value = 0.d1d2d3... * 10^exp.
void shortestDigits(double v, std::string* digits, int* exp10) {
  char buf[64];
  for (int prec = 15; prec <= 17; ++prec) {
    std::snprintf(buf, sizeof buf, "%.*e", prec - 1, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  // buf: [-]d.ddddde[+-]xx
  const char* p = buf;
  if (*p == '-') ++p;
  std::string d;
  for (; *p && *p != 'e'; ++p)
    if (std::isdigit(static_cast<unsigned char>(*p))) d += *p;
  const int e = *p == 'e' ? std::atoi(p + 1) : 0;
  while (d.size() > 1 && d.back() == '0') d.pop_back();
  *digits = d;
  *exp10 = e + 1;
  if (d == "0") *exp10 = 1;
}

// A double as Oracle prints a NUMBER without a format: no exponent, no leading zero before
// the decimal point (0.5 is ".5").
std::string numberText(double v) {
  if (v == 0) return "0";
  if (std::isnan(v) || std::isinf(v)) return v > 0 ? "~" : "-~";
  std::string digits;
  int e = 0;
  shortestDigits(v, &digits, &e);
  std::string r = v < 0 ? "-" : "";
  if (e > 40 || e < -129) {
    // Beyond Oracle's plain range: scientific form.
    r += digits.substr(0, 1);
    if (digits.size() > 1) r += "." + digits.substr(1);
    char ex[16];
    std::snprintf(ex, sizeof ex, "E%+03d", e - 1);
    return r + ex;
  }
  if (e <= 0) {
    r += "." + std::string(static_cast<size_t>(-e), '0') + digits;
  } else if (static_cast<size_t>(e) >= digits.size()) {
    r += digits + std::string(static_cast<size_t>(e) - digits.size(), '0');
  } else {
    r += digits.substr(0, static_cast<size_t>(e)) + "." + digits.substr(static_cast<size_t>(e));
  }
  return r;
}

// Rounds (or truncates) a double to n decimal places on its decimal digits, so that
// ROUND(2.675, 2) is 2.68 as in decimal arithmetic.
double decimalRound(double v, int n, bool truncate) {
  if (v == 0 || std::isnan(v) || std::isinf(v)) return v;
  std::string digits;
  int e = 0;
  shortestDigits(v, &digits, &e);
  const int keep = e + n;  // digits kept
  if (keep >= static_cast<int>(digits.size())) return v;
  if (keep < 0) return 0.0;
  std::string kept = digits.substr(0, static_cast<size_t>(keep));
  bool up = !truncate && digits[static_cast<size_t>(keep)] >= '5';
  if (up) {
    int i = keep - 1;
    while (i >= 0 && kept[static_cast<size_t>(i)] == '9') kept[static_cast<size_t>(i--)] = '0';
    if (i >= 0) {
      ++kept[static_cast<size_t>(i)];
    } else {
      kept.insert(kept.begin(), '1');
      ++e;
    }
  }
  if (kept.empty()) return 0.0;
  char buf[128];
  std::snprintf(buf, sizeof buf, "%s0.%se%d", v < 0 ? "-" : "", kept.c_str(), e);
  return std::strtod(buf, nullptr);
}

void resultNumber(sqlite3_context* ctx, double v) {
  if (std::fabs(v) < 9.2e18 && v == std::floor(v)) {
    sqlite3_result_int64(ctx, static_cast<long long>(v));
  } else {
    sqlite3_result_double(ctx, v);
  }
}

// ---------------------------------------------------------------------------------------------
// Number formats: 9 0 . D , G $ S MI FM X, and TM/TM9.

bool formatNumber(double v, const std::string& fmtIn, std::string* out) {
  std::string fmt;
  for (char c : fmtIn) fmt += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  bool fm = false;
  if (fmt.compare(0, 2, "FM") == 0) {
    fm = true;
    fmt = fmt.substr(2);
  }
  if (fmt == "TM" || fmt == "TM9" || fmt == "TME") {
    *out = numberText(v);
    return true;
  }
  if (fmt.find('X') != std::string::npos) {
    for (char c : fmt)
      if (c != 'X' && c != '0') return false;
    const double r = std::floor(v + 0.5);
    if (v < 0 || r > 1.8e19) {
      *out = std::string(fmt.size() + 1, '#');
      return true;
    }
    char buf[32];
    const bool lower = fmtIn.find('x') != std::string::npos;
    std::snprintf(buf, sizeof buf, lower ? "%llx" : "%llX", static_cast<unsigned long long>(r));
    std::string h(buf);
    if (h.size() > fmt.size()) {
      *out = std::string(fmt.size() + 1, '#');
      return true;
    }
    if (fmt[0] == '0') h = std::string(fmt.size() - h.size(), '0') + h;
    if (!fm) h = std::string(fmt.size() + 1 - h.size(), ' ') + h;
    *out = h;
    return true;
  }
  bool dollar = false, signS = false, signMI = false;
  std::string mask;
  for (size_t i = 0; i < fmt.size(); ++i) {
    const char c = fmt[i];
    if (c == '$') {
      dollar = true;
    } else if (c == 'S' && (i == 0 || i + 1 == fmt.size())) {
      signS = true;
    } else if (c == 'M' && i + 1 < fmt.size() && fmt[i + 1] == 'I' && i + 2 == fmt.size()) {
      signMI = true;
      ++i;
    } else if (c == '9' || c == '0' || c == ',' || c == 'G') {
      mask += c == 'G' ? ',' : c;
    } else if (c == '.' || c == 'D') {
      if (mask.find('.') != std::string::npos) return false;
      mask += '.';
    } else {
      return false;
    }
  }
  const size_t point = mask.find('.');
  const std::string intMask = mask.substr(0, point);
  const std::string fracMask = point == std::string::npos ? std::string() : mask.substr(point + 1);
  int intDigits = 0, zeroFrom = -1;
  for (char c : intMask) {
    if (c == '9' || c == '0') {
      if (c == '0' && zeroFrom < 0) zeroFrom = intDigits;
      ++intDigits;
    }
  }
  const int fracDigits = static_cast<int>(fracMask.size());
  const double r = decimalRound(std::fabs(v), fracDigits, false);
  const bool negative = v < 0 && r != 0;
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*f", fracDigits, r);
  std::string all(buf);
  const size_t dot = all.find('.');
  std::string ip = all.substr(0, dot);
  std::string fp = dot == std::string::npos ? std::string() : all.substr(dot + 1);
  if (ip == "0") ip.clear();
  const int minInt = zeroFrom < 0 ? 0 : intDigits - zeroFrom;
  while (static_cast<int>(ip.size()) < minInt) ip.insert(ip.begin(), '0');
  if (ip.empty() && fracDigits == 0) ip = "0";
  const size_t width = fmt.size() + (signS || signMI ? 0 : 1);
  if (static_cast<int>(ip.size()) > intDigits) {
    *out = std::string(width, '#');
    return true;
  }
  // Digits right to left into the integer mask; group separators only between digits.
  std::string left;
  size_t di = ip.size();
  for (size_t m = intMask.size(); m-- > 0 && di > 0;) {
    if (intMask[m] == ',') {
      left.insert(left.begin(), ',');
    } else {
      left.insert(left.begin(), ip[--di]);
    }
  }
  if (!left.empty() && left[0] == ',') left.erase(left.begin());
  std::string text = left;
  if (point != std::string::npos) {
    if (fm) {
      // Fill mode drops the trailing zeros of '9' positions.
      size_t keep = fp.size();
      while (keep > 0 && fp[keep - 1] == '0' && fracMask[keep - 1] == '9') --keep;
      fp.resize(keep);
    }
    text += "." + fp;
  }
  if (dollar) text = "$" + text;
  if (signS) {
    text = (negative ? "-" : "+") + text;
  } else if (signMI) {
    text += negative ? "-" : (fm ? "" : " ");
  } else if (negative) {
    text = "-" + text;
  }
  if (!fm && text.size() < width) text = std::string(width - text.size(), ' ') + text;
  *out = text;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Date formats.

// Applies the case of a format element to a name: "MON" upper, "Mon" capitalised, "mon" lower.
std::string caseLike(const std::string& name, const std::string& elem) {
  std::string r = name;
  const bool firstUpper = std::isupper(static_cast<unsigned char>(elem[0]));
  const bool secondUpper = elem.size() > 1 && std::isupper(static_cast<unsigned char>(elem[1]));
  for (size_t i = 0; i < r.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(r[i]);
    if (!firstUpper || (i > 0 && !secondUpper)) r[i] = static_cast<char>(std::tolower(c));
  }
  return r;
}

bool startsWithCi(const std::string& s, size_t at, const char* w) {
  const size_t n = std::strlen(w);
  if (at + n > s.size()) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::toupper(static_cast<unsigned char>(s[at + i])) != w[i]) return false;
  return true;
}

const char* const kElements[] = {"SSSSS", "MONTH", "YYYY", "RRRR", "HH24", "HH12", "A.M.", "P.M.",
                                 "YYY",   "MON",   "DDD",  "DAY",  "FF1",  "FF2",  "FF3",  "FF4",
                                 "FF5",   "FF6",   "FF7",  "FF8",  "FF9",  "YY",   "RR",   "MM",
                                 "DD",    "DY",    "HH",   "MI",   "SS",   "FF",   "AM",   "PM",
                                 "FM",    "Y",     "D",    "Q",    "J"};

// The element at s[i] (longest first), or null.
const char* elementAt(const std::string& s, size_t i) {
  for (const char* e : kElements)
    if (startsWithCi(s, i, e)) return e;
  return nullptr;
}

bool formatDate(const DateTime& dt, const std::string& fmt, std::string* out) {
  std::string r;
  bool fm = false;
  const int dow = static_cast<int>((daysFromCivil(dt.y, dt.mo, dt.d) % 7 + 11) % 7);  // 0 = Sunday
  const int doy =
      static_cast<int>(daysFromCivil(dt.y, dt.mo, dt.d) - daysFromCivil(dt.y, 1, 1)) + 1;
  size_t i = 0;
  while (i < fmt.size()) {
    const char c = fmt[i];
    if (c == '"') {
      const size_t e = fmt.find('"', i + 1);
      if (e == std::string::npos) return false;
      r += fmt.substr(i + 1, e - i - 1);
      i = e + 1;
      continue;
    }
    const char* el = elementAt(fmt, i);
    if (!el) {
      if (std::isalnum(static_cast<unsigned char>(c))) return false;
      r += c;
      ++i;
      continue;
    }
    const std::string elem = fmt.substr(i, std::strlen(el));
    const std::string E(el);
    i += E.size();
    char buf[64];
    auto num = [&](int v, int width) {
      if (fm) {
        std::snprintf(buf, sizeof buf, "%d", v);
      } else {
        std::snprintf(buf, sizeof buf, "%0*d", width, v);
      }
      r += buf;
    };
    if (E == "FM") {
      fm = !fm;
    } else if (E == "YYYY" || E == "RRRR") {
      num(dt.y, 4);
    } else if (E == "YYY") {
      num(dt.y % 1000, 3);
    } else if (E == "YY" || E == "RR") {
      num(dt.y % 100, 2);
    } else if (E == "Y") {
      num(dt.y % 10, 1);
    } else if (E == "MM") {
      num(dt.mo, 2);
    } else if (E == "MON") {
      r += caseLike(std::string(kMonths[dt.mo - 1]).substr(0, 3), elem);
    } else if (E == "MONTH") {
      std::string m = caseLike(kMonths[dt.mo - 1], elem);
      if (!fm) m.resize(9, ' ');
      r += m;
    } else if (E == "DD") {
      num(dt.d, 2);
    } else if (E == "DDD") {
      num(doy, 3);
    } else if (E == "D") {
      num(dow + 1, 1);
    } else if (E == "DY") {
      r += caseLike(std::string(kDays[dow]).substr(0, 3), elem);
    } else if (E == "DAY") {
      std::string d = caseLike(kDays[dow], elem);
      if (!fm) d.resize(9, ' ');
      r += d;
    } else if (E == "HH24") {
      num(dt.h, 2);
    } else if (E == "HH" || E == "HH12") {
      num(dt.h % 12 == 0 ? 12 : dt.h % 12, 2);
    } else if (E == "MI") {
      num(dt.mi, 2);
    } else if (E == "SS") {
      num(dt.s, 2);
    } else if (E == "SSSSS") {
      num(dt.h * 3600 + dt.mi * 60 + dt.s, 5);
    } else if (E == "AM" || E == "PM") {
      r += caseLike(dt.h < 12 ? "AM" : "PM", elem);
    } else if (E == "A.M." || E == "P.M.") {
      r += caseLike(dt.h < 12 ? "A.M." : "P.M.", elem);
    } else if (E == "Q") {
      num((dt.mo - 1) / 3 + 1, 1);
    } else if (E == "J") {
      num(static_cast<int>(daysFromCivil(dt.y, dt.mo, dt.d) + 2440588), 7);
    } else if (E.compare(0, 2, "FF") == 0) {
      const int digits = E.size() == 3 ? E[2] - '0' : 6;
      std::snprintf(buf, sizeof buf, "%09ld", dt.nanos);
      r.append(buf, static_cast<size_t>(digits));
    }
  }
  *out = r;
  return true;
}

// TO_DATE: reads text by a format; fields not in the format default to the first day of the
// current month at midnight, as Oracle does.
bool parseDateByFormat(const std::string& s, const std::string& fmt, DateTime* out,
                       const char** errText) {
  const std::time_t now = std::time(nullptr);
  std::tm tmNow{};
  localtime_r(&now, &tmNow);
  DateTime dt;
  dt.y = tmNow.tm_year + 1900;
  dt.mo = tmNow.tm_mon + 1;
  bool pm = false, ampm = false;
  size_t si = 0, fi = 0;
  auto skipBlanks = [&]() {
    while (si < s.size() && std::isspace(static_cast<unsigned char>(s[si]))) ++si;
  };
  auto readNum = [&](int maxDigits, int* v) {
    skipBlanks();
    int n = 0;
    *v = 0;
    while (si < s.size() && n < maxDigits && std::isdigit(static_cast<unsigned char>(s[si]))) {
      *v = *v * 10 + (s[si++] - '0');
      ++n;
    }
    return n > 0;
  };
  *errText = "ORA-01861: literal does not match format string";
  while (fi < fmt.size()) {
    const char* el = elementAt(fmt, fi);
    if (!el) {
      const char c = fmt[fi++];
      if (std::isalnum(static_cast<unsigned char>(c))) {
        *errText = "ORA-01821: date format not recognized";
        return false;
      }
      skipBlanks();
      if (si < s.size() && !std::isalnum(static_cast<unsigned char>(s[si]))) ++si;
      continue;
    }
    const std::string E(el);
    fi += E.size();
    int v = 0;
    bool ok = true;
    if (E == "FM") continue;
    if (E == "YYYY" || E == "RRRR") {
      ok = readNum(4, &dt.y);
    } else if (E == "YY" || E == "RR") {
      ok = readNum(2, &v);
      dt.y = E == "RR" ? (v < 50 ? 2000 + v : 1900 + v) : (tmNow.tm_year + 1900) / 100 * 100 + v;
    } else if (E == "MM") {
      ok = readNum(2, &dt.mo);
    } else if (E == "MON" || E == "MONTH") {
      skipBlanks();
      ok = false;
      for (int m = 0; m < 12 && !ok; ++m) {
        const std::string full(kMonths[m]);
        if (E == "MONTH" && startsWithCi(s, si, full.c_str())) {
          si += full.size(), dt.mo = m + 1, ok = true;
        } else if (startsWithCi(s, si, full.substr(0, 3).c_str())) {
          si += 3, dt.mo = m + 1, ok = true;
        }
      }
      if (!ok) *errText = "ORA-01843: not a valid month";
      if (!ok) return false;
    } else if (E == "DD") {
      ok = readNum(2, &dt.d);
    } else if (E == "HH24") {
      ok = readNum(2, &dt.h);
    } else if (E == "HH" || E == "HH12") {
      ok = readNum(2, &dt.h);
      ampm = true;
    } else if (E == "MI") {
      ok = readNum(2, &dt.mi);
    } else if (E == "SS") {
      ok = readNum(2, &dt.s);
    } else if (E == "AM" || E == "PM") {
      skipBlanks();
      if (startsWithCi(s, si, "PM")) pm = true;
      ok = startsWithCi(s, si, "AM") || startsWithCi(s, si, "PM");
      si += 2;
    } else if (E.compare(0, 2, "FF") == 0) {
      long scale = 100000000;
      while (si < s.size() && std::isdigit(static_cast<unsigned char>(s[si]))) {
        dt.nanos += (s[si++] - '0') * scale;
        scale /= 10;
      }
    } else {
      *errText = "ORA-01821: date format not recognized";
      return false;
    }
    if (!ok) {
      *errText = "ORA-01858: a non-numeric character was found where a numeric was expected";
      return false;
    }
  }
  skipBlanks();
  if (si != s.size()) return false;
  if (ampm) {
    if (dt.h < 1 || dt.h > 12) {
      *errText = "ORA-01849: hour must be between 1 and 12";
      return false;
    }
    dt.h = dt.h % 12 + (pm ? 12 : 0);
  }
  if (dt.mo < 1 || dt.mo > 12) {
    *errText = "ORA-01843: not a valid month";
    return false;
  }
  if (dt.d < 1 || dt.d > daysInMonth(dt.y, dt.mo)) {
    *errText = "ORA-01847: day of month must be between 1 and last day of month";
    return false;
  }
  if (dt.h > 23 || dt.mi > 59 || dt.s > 59) {
    *errText = "ORA-01850: hour must be between 0 and 23";
    return false;
  }
  *out = dt;
  return true;
}

// Truncates a date to a unit named by an Oracle format ("DD" default).
bool truncDate(DateTime* dt, const std::string& unitIn, bool round) {
  std::string unit;
  for (char c : unitIn) unit += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  DateTime r = *dt;
  r.nanos = 0;
  if (unit.empty() || unit == "DD" || unit == "DDD" || unit == "J") {
    r.h = r.mi = r.s = 0;
    if (round && dt->h >= 12) r = fromSeconds(toSeconds(r) + 86400);
  } else if (unit == "MM" || unit == "MON" || unit == "MONTH") {
    r.d = 1, r.h = r.mi = r.s = 0;
    if (round && dt->d >= 16) {
      r.mo = r.mo == 12 ? 1 : r.mo + 1;
      if (r.mo == 1) ++r.y;
    }
  } else if (unit == "YYYY" || unit == "YEAR" || unit == "Y" || unit == "YY" || unit == "RRRR") {
    r.mo = r.d = 1, r.h = r.mi = r.s = 0;
    if (round && dt->mo >= 7) ++r.y;
  } else if (unit == "HH" || unit == "HH24" || unit == "HH12") {
    r.mi = r.s = 0;
    if (round && dt->mi >= 30) r = fromSeconds(toSeconds(r) + 3600);
  } else if (unit == "MI") {
    r.s = 0;
    if (round && dt->s >= 30) r = fromSeconds(toSeconds(r) + 60);
  } else {
    return false;
  }
  *dt = r;
  return true;
}

// UTF-8 character start offsets of s (plus the end).
std::vector<size_t> charStarts(const std::string& s) {
  std::vector<size_t> r;
  for (size_t i = 0; i < s.size(); ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) r.push_back(i);
  r.push_back(s.size());
  return r;
}

// ---------------------------------------------------------------------------------------------
// The SQL functions.

void fnNvl(sqlite3_context* ctx, int, sqlite3_value** a) {
  sqlite3_result_value(ctx, isNullish(a[0]) ? a[1] : a[0]);
}

void fnNvl2(sqlite3_context* ctx, int, sqlite3_value** a) {
  sqlite3_result_value(ctx, isNullish(a[0]) ? a[2] : a[1]);
}

bool sameValue(sqlite3_value* x, sqlite3_value* y) {
  const bool xn = isNullish(x), yn = isNullish(y);
  if (xn || yn) return xn && yn;
  if (isNumeric(x) || isNumeric(y)) {
    double dx = 0, dy = 0;
    if (numberOf(x, &dx) && numberOf(y, &dy)) return dx == dy;
  }
  return textOf(x) == textOf(y);
}

void fnDecode(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (n < 3) {
    oraError(ctx, "ORA-00938: not enough arguments for function");
    return;
  }
  int i = 1;
  for (; i + 1 < n; i += 2) {
    if (sameValue(a[0], a[i])) {
      sqlite3_result_value(ctx, a[i + 1]);
      return;
    }
  }
  if (i < n) {
    sqlite3_result_value(ctx, a[i]);
  } else {
    sqlite3_result_null(ctx);
  }
}

void resultText(sqlite3_context* ctx, const std::string& s) {
  if (s.empty()) {
    sqlite3_result_null(ctx);  // Oracle has no empty text
  } else {
    sqlite3_result_text(ctx, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  }
}

void fnToChar(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (isNullish(a[0])) {
    sqlite3_result_null(ctx);
    return;
  }
  const std::string fmt = n > 1 && !isNullish(a[1]) ? textOf(a[1]) : std::string();
  const int type = sqlite3_value_type(a[0]);
  if (type == SQLITE_TEXT) {
    const std::string t = textOf(a[0]);
    DateTime dt;
    if (parseStored(t.c_str(), &dt)) {
      std::string r;
      if (fmt.empty()) {
        resultText(ctx, t);
      } else if (formatDate(dt, fmt, &r)) {
        resultText(ctx, r);
      } else {
        oraError(ctx, "ORA-01821: date format not recognized");
      }
      return;
    }
    if (fmt.empty()) {
      resultText(ctx, t);
      return;
    }
  }
  double v = 0;
  if (!numberOf(a[0], &v)) {
    oraError(ctx, "ORA-01722: invalid number");
    return;
  }
  if (fmt.empty()) {
    resultText(ctx,
               type == SQLITE_INTEGER ? std::to_string(sqlite3_value_int64(a[0])) : numberText(v));
    return;
  }
  std::string r;
  if (!formatNumber(v, fmt, &r)) {
    oraError(ctx, "ORA-01481: invalid number format model");
    return;
  }
  resultText(ctx, r);
}

void fnToNumber(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (isNullish(a[0])) {
    sqlite3_result_null(ctx);
    return;
  }
  if (isNumeric(a[0])) {
    sqlite3_result_value(ctx, a[0]);
    return;
  }
  std::string t = textOf(a[0]);
  const std::string fmt = n > 1 && !isNullish(a[1]) ? textOf(a[1]) : std::string();
  if (fmt.find_first_of("Xx") != std::string::npos) {
    char* end = nullptr;
    const unsigned long long v = std::strtoull(t.c_str(), &end, 16);
    if (t.empty() || !end || *end != '\0' || t.size() > fmt.size()) {
      oraError(ctx, "ORA-01722: invalid number");
      return;
    }
    sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(v));
    return;
  }
  if (!fmt.empty()) {
    std::string cleaned;
    for (char c : t)
      if (c != ',' && c != '$') cleaned += c;
    t = cleaned;
  }
  double v = 0;
  bool integral = false;
  long long iv = 0;
  if (!parseNumber(t, &v, &integral, &iv)) {
    oraError(ctx, "ORA-01722: invalid number");
    return;
  }
  if (integral) {
    sqlite3_result_int64(ctx, iv);
  } else {
    resultNumber(ctx, v);
  }
}

void fnToDate(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (isNullish(a[0])) {
    sqlite3_result_null(ctx);
    return;
  }
  const std::string t = textOf(a[0]);
  DateTime dt;
  const char* err = "ORA-01861: literal does not match format string";
  if (n > 1 && !isNullish(a[1])) {
    if (!parseDateByFormat(t, textOf(a[1]), &dt, &err)) {
      oraError(ctx, err);
      return;
    }
  } else if (!parseStored(t.c_str(), &dt) && !parseDateByFormat(t, "DD-MON-RR", &dt, &err) &&
             !parseDateByFormat(t, "DD-MON-YYYY", &dt, &err)) {
    oraError(ctx, err);
    return;
  }
  resultText(ctx, storedText(dt));
}

DateTime nowLocal(long* nanos) {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  localtime_r(&ts.tv_sec, &tm);
  DateTime dt;
  dt.y = tm.tm_year + 1900, dt.mo = tm.tm_mon + 1, dt.d = tm.tm_mday;
  dt.h = tm.tm_hour, dt.mi = tm.tm_min, dt.s = tm.tm_sec;
  *nanos = ts.tv_nsec;
  return dt;
}

void fnSysdate(sqlite3_context* ctx, int, sqlite3_value**) {
  long ns = 0;
  resultText(ctx, storedText(nowLocal(&ns)));
}

void fnSystimestamp(sqlite3_context* ctx, int, sqlite3_value**) {
  long ns = 0;
  DateTime dt = nowLocal(&ns);
  dt.nanos = ns;
  resultText(ctx, storedText(dt, 6));
}

void fnSubstr(sqlite3_context* ctx, int n, sqlite3_value** a) {
  if (isNullish(a[0]) || sqlite3_value_type(a[1]) == SQLITE_NULL ||
      (n > 2 && sqlite3_value_type(a[2]) == SQLITE_NULL)) {
    sqlite3_result_null(ctx);
    return;
  }
  const std::string s = textOf(a[0]);
  const std::vector<size_t> cs = charStarts(s);
  const long long chars = static_cast<long long>(cs.size()) - 1;
  double posD = 0, lenD = 0;
  if (!numberOf(a[1], &posD) || (n > 2 && !numberOf(a[2], &lenD))) {
    oraError(ctx, "ORA-01722: invalid number");
    return;
  }
  long long pos = clampToInt(posD);
  long long start = pos > 0 ? pos - 1 : pos == 0 ? 0 : chars + pos;
  if (start < 0 || start >= chars) {
    sqlite3_result_null(ctx);
    return;
  }
  long long len = chars - start;
  if (n > 2) {
    const long long want = clampToInt(lenD);
    if (want < 1) {
      sqlite3_result_null(ctx);
      return;
    }
    if (want < len) len = want;
  }
  const size_t from = cs[static_cast<size_t>(start)];
  const size_t to = cs[static_cast<size_t>(start + len)];
  resultText(ctx, s.substr(from, to - from));
}

void fnInstr(sqlite3_context* ctx, int n, sqlite3_value** a) {
  for (int i = 0; i < n; ++i) {
    if (isNullish(a[i])) {
      sqlite3_result_null(ctx);
      return;
    }
  }
  const std::string s = textOf(a[0]);
  const std::string sub = textOf(a[1]);
  double posD = 1, occD = 1;
  if ((n > 2 && !numberOf(a[2], &posD)) || (n > 3 && !numberOf(a[3], &occD))) {
    oraError(ctx, "ORA-01722: invalid number");
    return;
  }
  const long long pos = clampToInt(posD);
  const long long occ = clampToInt(occD);
  if (occ < 1) {
    char msg[80];
    std::snprintf(msg, sizeof msg, "ORA-01428: argument '%lld' is out of range", occ);
    oraError(ctx, msg);
    return;
  }
  const std::vector<size_t> cs = charStarts(s);
  const long long chars = static_cast<long long>(cs.size()) - 1;
  if (pos == 0 || chars == 0) {
    sqlite3_result_int(ctx, 0);
    return;
  }
  long long found = 0;
  if (pos > 0) {
    for (long long c = pos - 1; c < chars; ++c) {
      if (s.compare(cs[static_cast<size_t>(c)], sub.size(), sub) == 0 && ++found == occ) {
        sqlite3_result_int64(ctx, c + 1);
        return;
      }
    }
  } else {
    for (long long c = chars + pos; c >= 0; --c) {
      if (c < chars && s.compare(cs[static_cast<size_t>(c)], sub.size(), sub) == 0 &&
          ++found == occ) {
        sqlite3_result_int64(ctx, c + 1);
        return;
      }
    }
  }
  sqlite3_result_int(ctx, 0);
}

void roundOrTrunc(sqlite3_context* ctx, int n, sqlite3_value** a, bool truncate) {
  if (sqlite3_value_type(a[0]) == SQLITE_NULL ||
      (n > 1 && sqlite3_value_type(a[1]) == SQLITE_NULL)) {
    sqlite3_result_null(ctx);
    return;
  }
  if (sqlite3_value_type(a[0]) == SQLITE_TEXT) {
    DateTime dt;
    if (parseStored(textOf(a[0]).c_str(), &dt)) {
      if (!truncDate(&dt, n > 1 ? textOf(a[1]) : std::string(), !truncate)) {
        oraError(ctx, "ORA-01899: bad precision specifier");
        return;
      }
      resultText(ctx, storedText(dt));
      return;
    }
  }
  double places = 0;
  if (n > 1 && !numberOf(a[1], &places)) {
    oraError(ctx, "ORA-01722: invalid number");
    return;
  }
  const int p = static_cast<int>(std::max(-400.0, std::min(400.0, places)));
  if (sqlite3_value_type(a[0]) == SQLITE_INTEGER && p >= 0) {
    sqlite3_result_int64(ctx, sqlite3_value_int64(a[0]));
    return;
  }
  double v = 0;
  if (!numberOf(a[0], &v)) {
    oraError(ctx, "ORA-01722: invalid number");
    return;
  }
  resultNumber(ctx, decimalRound(v, p, truncate));
}

void fnRound(sqlite3_context* ctx, int n, sqlite3_value** a) { roundOrTrunc(ctx, n, a, false); }
void fnTrunc(sqlite3_context* ctx, int n, sqlite3_value** a) { roundOrTrunc(ctx, n, a, true); }

void pad(sqlite3_context* ctx, int n, sqlite3_value** a, bool left) {
  if (isNullish(a[0]) || sqlite3_value_type(a[1]) == SQLITE_NULL || (n > 2 && isNullish(a[2]))) {
    sqlite3_result_null(ctx);
    return;
  }
  const std::string s = textOf(a[0]);
  const std::string fill = n > 2 ? textOf(a[2]) : std::string(" ");
  const long long want = sqlite3_value_int64(a[1]);
  if (want < 1) {
    sqlite3_result_null(ctx);
    return;
  }
  std::vector<size_t> cs = charStarts(s);
  const long long have = static_cast<long long>(cs.size()) - 1;
  if (have >= want) {
    resultText(ctx, s.substr(0, cs[static_cast<size_t>(want)]));
    return;
  }
  const std::vector<size_t> fs = charStarts(fill);
  const size_t fillChars = fs.size() - 1;
  std::string padding;
  for (long long i = 0; i < want - have; ++i) {
    const size_t k = static_cast<size_t>(i) % fillChars;
    padding += fill.substr(fs[k], fs[k + 1] - fs[k]);
  }
  resultText(ctx, left ? padding + s : s + padding);
}

void fnLpad(sqlite3_context* ctx, int n, sqlite3_value** a) { pad(ctx, n, a, true); }
void fnRpad(sqlite3_context* ctx, int n, sqlite3_value** a) { pad(ctx, n, a, false); }

void extreme(sqlite3_context* ctx, int n, sqlite3_value** a, bool greatest) {
  bool numeric = true;
  for (int i = 0; i < n; ++i) {
    if (isNullish(a[i])) {
      sqlite3_result_null(ctx);
      return;
    }
    numeric = numeric && isNumeric(a[i]);
  }
  int best = 0;
  for (int i = 1; i < n; ++i) {
    bool better = false;
    if (numeric) {
      const double x = sqlite3_value_double(a[i]), b = sqlite3_value_double(a[best]);
      better = greatest ? x > b : x < b;
    } else {
      const int c = textOf(a[i]).compare(textOf(a[best]));
      better = greatest ? c > 0 : c < 0;
    }
    if (better) best = i;
  }
  sqlite3_result_value(ctx, a[best]);
}

void fnGreatest(sqlite3_context* ctx, int n, sqlite3_value** a) { extreme(ctx, n, a, true); }
void fnLeast(sqlite3_context* ctx, int n, sqlite3_value** a) { extreme(ctx, n, a, false); }

bool twoNumbers(sqlite3_context* ctx, sqlite3_value** a, double* x, double* y) {
  if (sqlite3_value_type(a[0]) == SQLITE_NULL || sqlite3_value_type(a[1]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return false;
  }
  if (!numberOf(a[0], x) || !numberOf(a[1], y)) {
    oraError(ctx, "ORA-01722: invalid number");
    return false;
  }
  return true;
}

void fnMod(sqlite3_context* ctx, int, sqlite3_value** a) {
  double x = 0, y = 0;
  if (!twoNumbers(ctx, a, &x, &y)) return;
  if (sqlite3_value_type(a[0]) == SQLITE_INTEGER && sqlite3_value_type(a[1]) == SQLITE_INTEGER) {
    const long long ix = sqlite3_value_int64(a[0]), iy = sqlite3_value_int64(a[1]);
    sqlite3_result_int64(ctx, iy == 0 ? ix : (iy == -1 ? 0 : ix % iy));
    return;
  }
  resultNumber(ctx, y == 0 ? x : std::fmod(x, y));
}

void fnBitand(sqlite3_context* ctx, int, sqlite3_value** a) {
  double x = 0, y = 0;
  if (!twoNumbers(ctx, a, &x, &y)) return;
  sqlite3_result_int64(ctx, clampToInt(x) & clampToInt(y));
}

void unaryMath(sqlite3_context* ctx, sqlite3_value** a, double (*f)(double)) {
  if (sqlite3_value_type(a[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  double v = 0;
  if (!numberOf(a[0], &v)) {
    oraError(ctx, "ORA-01722: invalid number");
    return;
  }
  resultNumber(ctx, f(v));
}

double signOf(double v) { return v > 0 ? 1 : v < 0 ? -1 : 0; }
void fnCeil(sqlite3_context* ctx, int, sqlite3_value** a) { unaryMath(ctx, a, std::ceil); }
void fnFloor(sqlite3_context* ctx, int, sqlite3_value** a) { unaryMath(ctx, a, std::floor); }
void fnSign(sqlite3_context* ctx, int, sqlite3_value** a) { unaryMath(ctx, a, signOf); }

bool dateArg(sqlite3_context* ctx, sqlite3_value* v, DateTime* dt) {
  if (!parseStored(textOf(v).c_str(), dt)) {
    oraError(ctx, "ORA-01861: literal does not match format string");
    return false;
  }
  return true;
}

void fnAddMonths(sqlite3_context* ctx, int, sqlite3_value** a) {
  double months = 0;
  DateTime dt;
  if (isNullish(a[0]) || sqlite3_value_type(a[1]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  if (!dateArg(ctx, a[0], &dt)) return;
  if (!numberOf(a[1], &months)) {
    oraError(ctx, "ORA-01722: invalid number");
    return;
  }
  const bool lastDay = dt.d == daysInMonth(dt.y, dt.mo);
  long long total = static_cast<long long>(dt.y) * 12 + (dt.mo - 1) +
                    clampToInt(std::max(-200000.0, std::min(200000.0, months)));
  if (total < 12 || total >= 12 * 10000) {
    oraError(ctx, "ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
    return;
  }
  dt.y = static_cast<int>(total / 12);
  dt.mo = static_cast<int>(total % 12) + 1;
  const int dim = daysInMonth(dt.y, dt.mo);
  if (lastDay || dt.d > dim) dt.d = dim;
  dt.nanos = 0;
  resultText(ctx, storedText(dt));
}

// SYSDATE + n and SYSDATE - n (days), and SYSDATE - date (days between).
void dateArith(sqlite3_context* ctx, sqlite3_value** a, bool subtract) {
  if (isNullish(a[0]) || isNullish(a[1])) {
    sqlite3_result_null(ctx);
    return;
  }
  DateTime dt;
  if (isNumeric(a[0])) {
    // A difference of dates already computed: plain number arithmetic.
    double x = 0, y = 0;
    if (!twoNumbers(ctx, a, &x, &y)) return;
    resultNumber(ctx, subtract ? x - y : x + y);
    return;
  }
  if (!dateArg(ctx, a[0], &dt)) return;
  DateTime other;
  if (subtract && sqlite3_value_type(a[1]) == SQLITE_TEXT &&
      parseStored(textOf(a[1]).c_str(), &other)) {
    resultNumber(ctx, (toSeconds(dt) - toSeconds(other)) / 86400.0);
    return;
  }
  double days = 0;
  if (!numberOf(a[1], &days)) {
    oraError(ctx, "ORA-01722: invalid number");
    return;
  }
  const double secs = toSeconds(dt) + (subtract ? -days : days) * 86400.0;
  DateTime lo, hi;
  lo.y = 1;
  hi.y = 9999, hi.mo = 12, hi.d = 31, hi.h = 23, hi.mi = 59, hi.s = 59;
  if (!(secs >= toSeconds(lo) && secs <= toSeconds(hi))) {
    oraError(ctx, "ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
    return;
  }
  resultText(ctx, storedText(fromSeconds(secs)));
}

void fnDateAdd(sqlite3_context* ctx, int, sqlite3_value** a) { dateArith(ctx, a, false); }
void fnDateSub(sqlite3_context* ctx, int, sqlite3_value** a) { dateArith(ctx, a, true); }

void fnChr(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (sqlite3_value_type(a[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const long long c = sqlite3_value_int64(a[0]);
  const char ch = static_cast<char>(c & 0xff);
  sqlite3_result_text(ctx, &ch, 1, SQLITE_TRANSIENT);
}

// RAWTOHEX: a RAW stored as bytes comes back as upper-case hexadecimal text; one stored as text
// (the seeds write RAW values as their hexadecimal form) is upper-cased.
void fnRawToHex(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNullish(a[0])) {
    sqlite3_result_null(ctx);
    return;
  }
  std::string r;
  if (sqlite3_value_type(a[0]) == SQLITE_BLOB) {
    static const char kHex[] = "0123456789ABCDEF";
    const unsigned char* p = static_cast<const unsigned char*>(sqlite3_value_blob(a[0]));
    for (int i = 0, n = sqlite3_value_bytes(a[0]); i < n; ++i) {
      r += kHex[p[i] >> 4];
      r += kHex[p[i] & 0x0f];
    }
  } else {
    for (char c : textOf(a[0])) r += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  resultText(ctx, r);
}

// Oracle's concatenation: NULL operands count as empty texts; an empty result is NULL.
void fnConcat(sqlite3_context* ctx, int n, sqlite3_value** a) {
  std::string r;
  for (int i = 0; i < n; ++i) {
    switch (sqlite3_value_type(a[i])) {
      case SQLITE_NULL:
        break;
      case SQLITE_INTEGER:
        r += std::to_string(sqlite3_value_int64(a[i]));
        break;
      case SQLITE_FLOAT:
        r += numberText(sqlite3_value_double(a[i]));
        break;
      default:
        r += textOf(a[i]);
    }
  }
  resultText(ctx, r);
}

// One value of the simulated instance, read from its own views ("" when there is none).
std::string instanceFact(sqlite3_context* ctx, const char* sql) {
  sqlite3_stmt* st = nullptr;
  std::string r;
  if (sqlite3_prepare_v2(sqlite3_context_db_handle(ctx), sql, -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0)) {
    r = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  }
  sqlite3_finalize(st);
  return r;
}

// SYS_CONTEXT('USERENV', name) for the names that describe the instance.
void userenv(sqlite3_context* ctx, const std::string& nameIn) {
  std::string name;
  for (char c : nameIn) name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const struct {
    const char* name;
    const char* sql;
  } kFacts[] = {
      {"INSTANCE", "SELECT inst_id FROM sim_local"},
      {"INSTANCE_NAME", "SELECT instance_name FROM \"v$instance\""},
      {"SERVER_HOST", "SELECT host_name FROM \"v$instance\""},
      {"DB_NAME", "SELECT name FROM \"v$database\""},
      {"DB_UNIQUE_NAME", "SELECT db_unique_name FROM \"v$database\""},
      {"DATABASE_ROLE", "SELECT database_role FROM \"v$database\""},
      {"CON_ID", "SELECT 0"},
  };
  for (const auto& f : kFacts) {
    if (name == f.name) {
      resultText(ctx, instanceFact(ctx, f.sql));
      return;
    }
  }
  oraError(ctx, "ORA-02003: invalid USERENV parameter");
}

void fnSysContext(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNullish(a[0]) || isNullish(a[1])) {
    sqlite3_result_null(ctx);
    return;
  }
  std::string ns = textOf(a[0]);
  for (char& c : ns) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (ns != "USERENV") {
    sqlite3_result_null(ctx);  // an application context nobody set
    return;
  }
  userenv(ctx, textOf(a[1]));
}

void fnUserenv(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (isNullish(a[0])) {
    sqlite3_result_null(ctx);
    return;
  }
  userenv(ctx, textOf(a[0]));
}

// Every bind goes through SIM_BIND: a text bind holding a number in its canonical form becomes
// that number, so that a NUMBER expression compares with it numerically as in Oracle. Only the
// canonical form is converted, so a text column still compares with the very same text.
void fnBind(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (sqlite3_value_type(a[0]) != SQLITE_TEXT) {
    sqlite3_result_value(ctx, a[0]);
    return;
  }
  const std::string t = textOf(a[0]);
  double v = 0;
  bool integral = false;
  long long iv = 0;
  if (!t.empty() && t.size() < 40 && !std::isspace(static_cast<unsigned char>(t[0])) &&
      t[0] != '+' && parseNumber(t, &v, &integral, &iv)) {
    if (integral && std::to_string(iv) == t) {
      sqlite3_result_int64(ctx, iv);
      return;
    }
    char* back = sqlite3_mprintf("%!.15g", v);
    const bool same = back && t == back;
    sqlite3_free(back);
    if (same && !integral) {
      sqlite3_result_double(ctx, v);
      return;
    }
  }
  sqlite3_result_value(ctx, a[0]);
}

struct FunctionDef {
  const char* name;
  int args;  // -1: variable
  bool deterministic;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
};

const FunctionDef kFunctions[] = {
    {"NVL", 2, true, fnNvl},
    {"NVL2", 3, true, fnNvl2},
    {"DECODE", -1, true, fnDecode},
    {"TO_CHAR", 1, true, fnToChar},
    {"TO_CHAR", 2, true, fnToChar},
    {"TO_NUMBER", 1, true, fnToNumber},
    {"TO_NUMBER", 2, true, fnToNumber},
    {"TO_DATE", 1, true, fnToDate},
    {"TO_DATE", 2, true, fnToDate},
    {"SYSDATE", 0, false, fnSysdate},
    {"SYSTIMESTAMP", 0, false, fnSystimestamp},
    {"SUBSTR", 2, true, fnSubstr},
    {"SUBSTR", 3, true, fnSubstr},
    {"INSTR", 2, true, fnInstr},
    {"INSTR", 3, true, fnInstr},
    {"INSTR", 4, true, fnInstr},
    {"ROUND", 1, true, fnRound},
    {"ROUND", 2, true, fnRound},
    {"TRUNC", 1, true, fnTrunc},
    {"TRUNC", 2, true, fnTrunc},
    {"LPAD", 2, true, fnLpad},
    {"LPAD", 3, true, fnLpad},
    {"RPAD", 2, true, fnRpad},
    {"RPAD", 3, true, fnRpad},
    {"GREATEST", -1, true, fnGreatest},
    {"LEAST", -1, true, fnLeast},
    {"MOD", 2, true, fnMod},
    {"BITAND", 2, true, fnBitand},
    {"CEIL", 1, true, fnCeil},
    {"FLOOR", 1, true, fnFloor},
    {"SIGN", 1, true, fnSign},
    {"ADD_MONTHS", 2, true, fnAddMonths},
    {"CHR", 1, true, fnChr},
    {"RAWTOHEX", 1, true, fnRawToHex},
    {"SIM_DATE_ADD", 2, true, fnDateAdd},
    {"SIM_DATE_SUB", 2, true, fnDateSub},
    {"SIM_CONCAT", -1, true, fnConcat},
    {"SIM_BIND", 1, true, fnBind},
    {"SYS_CONTEXT", 2, false, fnSysContext},
    {"USERENV", 1, false, fnUserenv},
};

}  // namespace

bool registerFunctions(sqlite3* db) {
  if (!db) return false;
  for (const FunctionDef& f : kFunctions) {
    const int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
    if (sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.fn, nullptr, nullptr,
                                   nullptr) != SQLITE_OK)
      return false;
  }
  return true;
}

}  // namespace vsim
