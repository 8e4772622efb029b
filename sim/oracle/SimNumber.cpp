// NUMBER and DATE values of the client stand-in.
#include "SimNumber.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vsim {
namespace {

void normalize(Decimal* d) {
  size_t lead = 0;
  while (lead < d->digits.size() && d->digits[lead] == '0') ++lead;
  d->digits.erase(0, lead);
  d->point -= static_cast<int>(lead);
  while (!d->digits.empty() && d->digits.back() == '0') d->digits.pop_back();
  if (d->digits.empty()) {
    d->neg = false;
    d->point = 0;
  }
}

// Keeps the first `keep` digits, rounding half away from zero on the next one.
void roundDigits(Decimal* d, long keep) {
  if (keep >= static_cast<long>(d->digits.size())) return;
  if (keep < 0) {
    *d = Decimal();
    return;
  }
  const bool up = d->digits[keep] >= '5';
  d->digits.resize(keep);
  if (up) {
    long i = keep - 1;
    while (i >= 0 && d->digits[i] == '9') d->digits[i--] = '0';
    if (i < 0) {
      d->digits.insert(d->digits.begin(), '1');
      d->point += 1;
    } else {
      d->digits[i] = static_cast<char>(d->digits[i] + 1);
    }
  }
  normalize(d);
}

}  // namespace

bool parseDecimal(const std::string& s, Decimal* out) {
  Decimal d;
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  if (i < n && (s[i] == '+' || s[i] == '-')) d.neg = s[i++] == '-';
  bool any = false;
  int intDigits = 0;
  while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) {
    d.digits += s[i++];
    ++intDigits;
    any = true;
  }
  if (i < n && s[i] == '.') {
    ++i;
    while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) {
      d.digits += s[i++];
      any = true;
    }
  }
  if (!any) return false;
  long exp = 0;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool eneg = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) eneg = s[i++] == '-';
    if (i >= n || !std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) {
      if (exp < 100000) exp = exp * 10 + (s[i] - '0');
      ++i;
    }
    if (eneg) exp = -exp;
  }
  while (i < n && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  if (i != n) return false;
  d.point = intDigits + static_cast<int>(exp);
  normalize(&d);
  *out = d;
  return true;
}

Decimal decimalFromUint(uint64_t v) {
  Decimal d;
  char buf[24];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v > 0);
  d.digits.assign(buf, static_cast<size_t>(n));
  std::reverse(d.digits.begin(), d.digits.end());
  d.point = n;
  normalize(&d);
  return d;
}

Decimal decimalFromInt(int64_t v) {
  const bool neg = v < 0;
  const uint64_t mag = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  Decimal d = decimalFromUint(mag);
  d.neg = neg && !d.digits.empty();
  return d;
}

bool decimalFromDouble(double v, Decimal* out) {
  if (!std::isfinite(v)) return false;
  // Values with few decimals (money, percentages, ratios) take a fast path: when v * 10^k is an
  // integer m below 2^50 that divides back to v, m * 10^-k is the one decimal of that scale for v,
  // and no shorter one exists.
  static const double kPow10[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
  for (int k = 0; k < 7; ++k) {
    const double m = v * kPow10[k];
    if (std::fabs(m) < 1125899906842624.0 && m == std::floor(m) && m / kPow10[k] == v) {
      *out = decimalFromInt(static_cast<int64_t>(m));
      if (!out->digits.empty()) out->point -= k;
      return true;
    }
  }
  // 15 significant digits read back exactly for nearly every value that came from decimal
  // text; the digits beyond a shorter form are zeros and drop out.
  char buf[64];
  for (int prec = 15; prec <= 17; ++prec) {
    std::snprintf(buf, sizeof buf, "%.*e", prec - 1, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  return parseDecimal(buf, out);
}

std::string decimalText(const Decimal& d) {
  if (d.digits.empty()) return "0";
  std::string r = d.neg ? "-" : "";
  const int len = static_cast<int>(d.digits.size());
  std::string fixed;
  if (d.point <= 0) {
    fixed = "." + std::string(-d.point, '0') + d.digits;
  } else if (d.point >= len) {
    fixed = d.digits + std::string(d.point - len, '0');
  } else {
    fixed = d.digits.substr(0, d.point) + "." + d.digits.substr(d.point);
  }
  if (r.size() + fixed.size() <= 64) return r + fixed;
  // Scientific: one digit before the point, at least one after it.
  std::string mant = d.digits.substr(0, 1) + ".";
  mant += len > 1 ? d.digits.substr(1) : "0";
  const int e = d.point - 1;
  char ebuf[16];
  std::snprintf(ebuf, sizeof ebuf, "E%c%02d", e < 0 ? '-' : '+', e < 0 ? -e : e);
  return r + mant + ebuf;
}

Decimal roundDecimal(const Decimal& d, int places) {
  Decimal r = d;
  roundDigits(&r, static_cast<long>(r.point) + places);
  return r;
}

Decimal shiftDecimal(const Decimal& d, int n) {
  Decimal r = d;
  if (!r.digits.empty()) r.point += n;
  return r;
}

bool decimalToUint64(const Decimal& d, uint64_t* out) {
  if (d.digits.empty() || d.point <= 0) {
    *out = 0;
    return true;
  }
  if (d.neg || d.point > 20) return false;
  uint64_t v = 0;
  for (int i = 0; i < d.point; ++i) {
    const unsigned dig = i < static_cast<int>(d.digits.size()) ? d.digits[i] - '0' : 0;
    if (v > (UINT64_MAX - dig) / 10) return false;
    v = v * 10 + dig;
  }
  *out = v;
  return true;
}

bool decimalToInt64(const Decimal& d, int64_t* out) {
  Decimal mag = d;
  mag.neg = false;
  uint64_t v = 0;
  if (!decimalToUint64(mag, &v)) return false;
  if (d.neg) {
    if (v > static_cast<uint64_t>(INT64_MAX) + 1) return false;
    *out = v == static_cast<uint64_t>(INT64_MAX) + 1 ? INT64_MIN : -static_cast<int64_t>(v);
  } else {
    if (v > static_cast<uint64_t>(INT64_MAX)) return false;
    *out = static_cast<int64_t>(v);
  }
  return true;
}

double decimalToDouble(const Decimal& d) {
  if (d.digits.empty()) return 0;
  char buf[128];
  std::snprintf(buf, sizeof buf, "%s0.%.60se%d", d.neg ? "-" : "", d.digits.c_str(), d.point);
  return std::strtod(buf, nullptr);
}

Val decimalToVal(const Decimal& d) {
  Val v;
  int64_t i = 0;
  if (static_cast<int>(d.digits.size()) <= d.point && decimalToInt64(d, &i)) {
    v.type = Val::Int;
    v.i = i;
  } else if (d.digits.size() <= 15) {
    v.type = Val::Real;
    v.d = decimalToDouble(d);
  } else {
    // More digits than a double keeps: the exact text, which SQLite still reads as a number.
    v.type = Val::Text;
    v.s = decimalText(d);
  }
  return v;
}

bool encodeNumber(const Decimal& in, ub1* out) {
  std::memset(out, 0, kNumberSize);
  Decimal d = in;
  roundDigits(&d, 40);
  if (d.digits.empty()) {
    out[0] = 1;
    out[1] = 0x80;
    return true;
  }
  // Align to base 100: value = 0.(pairs) * 100^e100.
  std::string digs = d.digits;
  int point = d.point;
  if (point % 2 != 0) {
    digs.insert(digs.begin(), '0');
    point += 1;
  }
  if (digs.size() % 2 != 0) digs += '0';
  if (digs.size() > 40) {
    // An odd alignment can add one digit beyond 20 pairs: round it away.
    Decimal t;
    t.digits = digs;
    t.point = point;
    roundDigits(&t, 40);
    return encodeNumber(t, out);
  }
  const int exp = point / 2 - 1;  // exponent of the first base-100 digit
  if (exp > 62) return false;
  if (exp < -65) {
    out[0] = 1;
    out[1] = 0x80;
    return true;
  }
  const int ndig = static_cast<int>(digs.size() / 2);
  const ub1 expByte = static_cast<ub1>(exp + 193);
  out[1] = d.neg ? static_cast<ub1>(~expByte) : expByte;
  for (int k = 0; k < ndig; ++k) {
    const int v = (digs[2 * k] - '0') * 10 + (digs[2 * k + 1] - '0');
    out[2 + k] = static_cast<ub1>(d.neg ? 101 - v : v + 1);
  }
  int len = 1 + ndig;
  if (d.neg && ndig < 20) out[1 + len++] = 102;
  out[0] = static_cast<ub1>(len);
  return true;
}

void encodeInt(int64_t v, ub1* out) {
  std::memset(out, 0, kNumberSize);
  if (v == 0) {
    out[0] = 1;
    out[1] = 0x80;
    return;
  }
  const bool neg = v < 0;
  uint64_t mag = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  int pairs[10];  // base-100 digits, least significant first
  int n = 0;
  while (mag > 0) {
    pairs[n++] = static_cast<int>(mag % 100);
    mag /= 100;
  }
  const int exp = n - 1;
  int last = 0;  // trailing zero pairs are not stored
  while (pairs[last] == 0) ++last;
  const ub1 expByte = static_cast<ub1>(exp + 193);
  out[1] = neg ? static_cast<ub1>(~expByte) : expByte;
  int len = 1;
  for (int k = n - 1; k >= last; --k) {
    out[1 + len++] = static_cast<ub1>(neg ? 101 - pairs[k] : pairs[k] + 1);
  }
  if (neg) out[1 + len++] = 102;
  out[0] = static_cast<ub1>(len);
}

bool decodeNumber(const ub1* in, Decimal* out) {
  const int len = in[0];
  if (len < 1 || len > 21) return false;
  *out = Decimal();
  if (len == 1) return in[1] == 0x80;
  const bool neg = (in[1] & 0x80) == 0;
  const int exp = (neg ? static_cast<ub1>(~in[1]) : in[1]) - 193;
  int ndig = len - 1;
  if (neg && in[len] == 102) --ndig;
  Decimal d;
  d.neg = neg;
  for (int k = 0; k < ndig; ++k) {
    const int raw = in[2 + k];
    const int v = neg ? 101 - raw : raw - 1;
    if (v < 0 || v > 99) return false;
    d.digits += static_cast<char>('0' + v / 10);
    d.digits += static_cast<char>('0' + v % 10);
  }
  d.point = (exp + 1) * 2;
  normalize(&d);
  *out = d;
  return true;
}

namespace {

// Reads 1 to maxDigits decimal digits at *p (as "%<maxDigits>d" would, without a sign); false when
// there is none.
bool readDigits(const char** p, int maxDigits, int* out) {
  int v = 0, n = 0;
  while (n < maxDigits && std::isdigit(static_cast<unsigned char>((*p)[n])))
    v = v * 10 + ((*p)[n++] - '0');
  if (n == 0) return false;
  *p += n;
  *out = v;
  return true;
}

}  // namespace

bool parseDate(const std::string& s, SimDate* out) {
  // Read by hand rather than with sscanf: every DATE value of a fetch comes through here.
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
  const char* p = s.c_str();
  while (*p == ' ') ++p;
  if (!readDigits(&p, 4, &y) || *p++ != '-' || !readDigits(&p, 2, &mo) || *p++ != '-' ||
      !readDigits(&p, 2, &d))
    return false;
  if (*p == ' ' || *p == 'T') {
    ++p;
    if (!readDigits(&p, 2, &h) || *p++ != ':' || !readDigits(&p, 2, &mi)) return false;
    if (*p == ':') {
      ++p;
      if (!readDigits(&p, 2, &sec)) return false;
      if (*p == '.') {
        ++p;
        while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
      }
    }
  }
  while (*p == ' ') ++p;
  if (*p != 0) return false;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || sec > 59) return false;
  out->year = static_cast<sb2>(y);
  out->month = static_cast<ub1>(mo);
  out->day = static_cast<ub1>(d);
  out->hour = static_cast<ub1>(h);
  out->minute = static_cast<ub1>(mi);
  out->second = static_cast<ub1>(sec);
  out->pad = 0;
  return true;
}

std::string dateText(const SimDate& d) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u", d.year, d.month, d.day, d.hour,
                d.minute, d.second);
  return buf;
}

}  // namespace vsim
