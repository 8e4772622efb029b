// Oracle NUMBER and DATE values of the client stand-in: exact decimal arithmetic for the few
// operations OCI offers, the 22-byte NUMBER encoding and the 8-byte OCIDate layout.
#pragma once

#include <cstdint>
#include <string>

#include "SimOci.h"

namespace vsim {

// value = (neg ? -1 : 1) * 0.digits * 10^point. digits has no leading or trailing '0'; an empty
// digits is zero (neg false).
struct Decimal {
  bool neg = false;
  std::string digits;
  int point = 0;
};

// Parses "[ ]+|-digits[.digits][E[+|-]digits][ ]"; false for anything else.
bool parseDecimal(const std::string& s, Decimal* out);
Decimal decimalFromInt(int64_t v);
Decimal decimalFromUint(uint64_t v);
// The shortest decimal that reads back as v (12.345 stays 12.345); false for NaN or infinity.
bool decimalFromDouble(double v, Decimal* out);

// Oracle's minimal text ("TM9"): "42", "-1.5", ".5", fixed notation up to 64 characters, then
// scientific ("1.5E+70").
std::string decimalText(const Decimal& d);

// Rounds half away from zero to `places` digits after the point (negative: before it).
Decimal roundDecimal(const Decimal& d, int places);
// Multiplies by 10^n.
Decimal shiftDecimal(const Decimal& d, int n);
// Truncates toward zero into the integer types; false when the value does not fit.
bool decimalToInt64(const Decimal& d, int64_t* out);
bool decimalToUint64(const Decimal& d, uint64_t* out);
double decimalToDouble(const Decimal& d);
// An integer value when the number is integral and fits 64 bits, else a REAL.
Val decimalToVal(const Decimal& d);

constexpr int kNumberSize = 22;
// Encodes into the 22-byte NUMBER form (rounded to 40 significant digits); false when the
// magnitude exceeds Oracle's range (ORA-01426).
bool encodeNumber(const Decimal& d, ub1* out);
// Encodes an integer (the common case, without going through decimal text).
void encodeInt(int64_t v, ub1* out);
// Decodes; false for bytes that are no valid NUMBER.
bool decodeNumber(const ub1* in, Decimal* out);

// The OCIDate layout: 8 bytes, alignment 2.
struct SimDate {
  sb2 year;
  ub1 month;
  ub1 day;
  ub1 hour;
  ub1 minute;
  ub1 second;
  ub1 pad;
};
static_assert(sizeof(SimDate) == 8 && alignof(SimDate) == 2, "OCIDate layout");
static_assert(sizeof(SimDate) == sizeof(OCIDate) && kNumberSize == OCI_NUMBER_SIZE,
              "the program's value layouts");

// Reads "YYYY-MM-DD[ HH:MM[:SS[.fff]]]" (also with 'T'); false otherwise.
bool parseDate(const std::string& s, SimDate* out);
// "YYYY-MM-DD HH:MM:SS"
std::string dateText(const SimDate& d);

}  // namespace vsim
