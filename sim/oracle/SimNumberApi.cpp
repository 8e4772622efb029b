// The OCINumber entry points of the client stand-in.
#include <cctype>
#include <cstring>

#include "SimNumber.h"
#include "SimOci.h"

using namespace vsim;

namespace {

// Reads a number argument; fails with ORA-22060 when the bytes are no NUMBER.
bool readNumber(OCIError* err, const void* num, Decimal* d) {
  if (num == nullptr || !decodeNumber(static_cast<const ub1*>(num), d)) {
    failCode(err, 22060, "argument [1] is an invalid or uninitialized number");
    return false;
  }
  return true;
}

sword writeNumber(OCIError* err, const Decimal& d, void* result) {
  if (result == nullptr)
    return failCode(err, 22060, "argument [2] is an invalid or uninitialized number");
  ub1 bytes[kNumberSize];
  if (!encodeNumber(d, bytes)) return failCode(err, 22053);
  std::memcpy(result, bytes, kNumberSize);
  return kSuccess;
}

}  // namespace

VSIM_API void OCINumberSetZero(OCIError* /*err*/, OCINumber* num) {
  if (num == nullptr) return;
  ub1 zero[kNumberSize] = {1, 0x80};
  std::memcpy(num, zero, kNumberSize);
}

VSIM_API sword OCINumberToInt(OCIError* err, const OCINumber* number, uword rslLength,
                              uword rslFlag, void* rsl) {
  if (!isHandle(err, kHtError)) return kInvalidHandle;
  Decimal d;
  if (!readNumber(err, number, &d)) return kError;
  if (rsl == nullptr || (rslLength != 1 && rslLength != 2 && rslLength != 4 && rslLength != 8)) {
    return failCode(err, 22050, "invalid integer length");
  }
  // The fraction is cut off (toward zero), as the client does.
  const int bits = static_cast<int>(rslLength) * 8;
  if (rslFlag == kNumberSigned) {
    int64_t v = 0;
    if (!decimalToInt64(d, &v)) return failCode(err, 22053);
    if (bits < 64) {
      const int64_t hi = (int64_t{1} << (bits - 1)) - 1;
      if (v > hi || v < -hi - 1) return failCode(err, 22053);
    }
    switch (rslLength) {
      case 1: {
        const int8_t x = static_cast<int8_t>(v);
        std::memcpy(rsl, &x, 1);
        break;
      }
      case 2: {
        const int16_t x = static_cast<int16_t>(v);
        std::memcpy(rsl, &x, 2);
        break;
      }
      case 4: {
        const int32_t x = static_cast<int32_t>(v);
        std::memcpy(rsl, &x, 4);
        break;
      }
      default:
        std::memcpy(rsl, &v, 8);
        break;
    }
  } else if (rslFlag == kNumberUnsigned) {
    Decimal mag = d;
    mag.neg = false;
    uint64_t v = 0;
    if (!decimalToUint64(mag, &v)) return failCode(err, 22053);
    if (d.neg && v != 0) return failCode(err, 22053);  // no unsigned form; above -1 gives 0
    if (bits < 64 && v > (uint64_t{1} << bits) - 1) return failCode(err, 22053);
    switch (rslLength) {
      case 1: {
        const uint8_t x = static_cast<uint8_t>(v);
        std::memcpy(rsl, &x, 1);
        break;
      }
      case 2: {
        const uint16_t x = static_cast<uint16_t>(v);
        std::memcpy(rsl, &x, 2);
        break;
      }
      case 4: {
        const uint32_t x = static_cast<uint32_t>(v);
        std::memcpy(rsl, &x, 4);
        break;
      }
      default:
        std::memcpy(rsl, &v, 8);
        break;
    }
  } else {
    return failCode(err, 22051, "invalid integer sign flag");
  }
  return kSuccess;
}

VSIM_API sword OCINumberToText(OCIError* err, const OCINumber* number, const text* fmt,
                               ub4 fmtLength, const text* /*nlsParams*/, ub4 /*nlsLength*/,
                               ub4* bufSize, text* buf) {
  if (!isHandle(err, kHtError)) return kInvalidHandle;
  Decimal d;
  if (!readNumber(err, number, &d)) return kError;
  const std::string f(fmt != nullptr ? reinterpret_cast<const char*>(fmt) : "",
                      fmt != nullptr ? fmtLength : 0);
  // Only the text-minimum formats are understood here.
  if (strcasecmp(f.c_str(), "TM9") != 0 && strcasecmp(f.c_str(), "TM") != 0) {
    return failCode(err, 22061, "invalid format text [" + f + "]");
  }
  if (bufSize == nullptr || buf == nullptr) return failCode(err, 22065);
  const std::string s = decimalText(d);
  if (s.size() + 1 > *bufSize) return failCode(err, 22065);
  std::memcpy(buf, s.c_str(), s.size() + 1);
  *bufSize = static_cast<ub4>(s.size());
  return kSuccess;
}

VSIM_API sword OCINumberRound(OCIError* err, const OCINumber* number, sword decplace,
                              OCINumber* result) {
  if (!isHandle(err, kHtError)) return kInvalidHandle;
  Decimal d;
  if (!readNumber(err, number, &d)) return kError;
  return writeNumber(err, roundDecimal(d, decplace), result);
}

VSIM_API sword OCINumberShift(OCIError* err, const OCINumber* number, sword nDig,
                              OCINumber* result) {
  if (!isHandle(err, kHtError)) return kInvalidHandle;
  Decimal d;
  if (!readNumber(err, number, &d)) return kError;
  return writeNumber(err, shiftDecimal(d, nDig), result);
}
