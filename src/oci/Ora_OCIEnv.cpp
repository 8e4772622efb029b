#include "Ora_OCIEnv.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "MUT1.h"
#include "Ora_Wrapper.h"
#include "VelMemManager.h"
#include "VelUtil.h"
#include "Vel_PostEvent.h"
#include "vel00_OCI_Lib.h"

VEL_TRACE_UNIT("ocienv");

using L = vel00_OCI_Lib;

namespace {
unsigned ptrBits(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }
}  // namespace

void* OraMalloc(void* context, size_t size) {
  void* p = VelMemManager::Malloc(static_cast<unsigned>(size));
  VEL_FLOWMSG("size is %d, context ptr is:%X, return ptr is:%X", static_cast<int>(size),
              ptrBits(context), ptrBits(p));
  return p;
}

void* OraRealloc(void* context, void* pointer, size_t size) {
  void* p = VelMemManager::Realloc(pointer, static_cast<unsigned>(size));
  VEL_FLOWMSG("context ptr is:%X, input ptr is:%X, out ptr is:%X, size is:%d", ptrBits(context),
              ptrBits(pointer), ptrBits(p), static_cast<int>(size));
  return p;
}

void OraFree(void* context, void* pointer) {
  VEL_FLOWMSG("context ptr is:%X, ptr is:%X", ptrBits(context), ptrBits(pointer));
  if (pointer != nullptr) VelMemManager::Free(pointer);
}

OCIEnv* Ora_OCIEnv::m_pOCIEnv = nullptr;
OCIError* Ora_OCIEnv::m_pOCIError = nullptr;

namespace {
// Traces the error an environment creation left in the handle it returned anyway, and frees it.
void discardFailedEnv(OCIEnv* env) {
  if (env == nullptr) return;
  char message[512] = {0};
  sb4 code = 0;
  if (L::pMyOCIErrorGet != nullptr &&
      L::pMyOCIErrorGet(env, 1, nullptr, &code, reinterpret_cast<text*>(message), sizeof message,
                        OCI_HTYPE_ENV) == OCI_SUCCESS)
    VEL_ERROR("Error code iis:%d, error message is:%s", code, message);
  Ora_Wrapper::OCIHandleFree(env, OCI_HTYPE_ENV);
}
}  // namespace

bool Ora_OCIEnv::Init() {
  VEL_FLOW_ENTRY("Ora_OCIEnv::Init");
  if (L::pMyOCIInitialize == nullptr || L::pMyOCIEnvCreate == nullptr ||
      L::pMyOCIEnvNlsCreate == nullptr || L::pMyOCINlsCharSetNameToId == nullptr)
    VEL_RETURN(false);
  int rc = L::pMyOCIInitialize(OCI_THREADED | OCI_OBJECT, nullptr, OraMalloc, OraRealloc, OraFree);
  if (!Ora_OK(rc)) {
    VEL_ERROR(
        "Error, OCIInitialize fail!, return code is %d. \t\t\t\t\t\t  \nPlease check the library "
        "path setting is correct. \t\t\t\t\t\t  \nIf the Oracle database installation library "
        "path is specified, please check whether the ORACLE_HOME environment is set correctly.",
        rc);
    VEL_RETURN(false);
  }
  // A real client may return an error together with an environment handle that then serves only
  // to read the error: the status decides, not the handle.
  OCIEnv* temp = nullptr;
  rc = L::pMyOCIEnvCreate(&temp, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
  if (!Ora_OK(rc) || temp == nullptr) {
    VEL_ERROR("return is %d", rc);
    discardFailedEnv(temp);
    VEL_RETURN(false);
  }
  ub2 charset = L::pMyOCINlsCharSetNameToId(temp, reinterpret_cast<const text*>("AL32UTF8"));
  Ora_Wrapper::OCIHandleFree(temp, OCI_HTYPE_ENV);

  rc = L::pMyOCIEnvNlsCreate(&m_pOCIEnv, OCI_THREADED | OCI_OBJECT, nullptr, OraMalloc, OraRealloc,
                             OraFree, 0, nullptr, charset, charset);
  if (!Ora_OK(rc) || m_pOCIEnv == nullptr) {
    VEL_ERROR("return is %d", rc);
    discardFailedEnv(m_pOCIEnv);
    m_pOCIEnv = nullptr;
    VEL_RETURN(false);
  }
  Ora_Wrapper::OCIHandleAlloc(m_pOCIEnv, reinterpret_cast<void**>(&m_pOCIError), OCI_HTYPE_ERROR, 0,
                              nullptr);
  VEL_RETURN(true);
}

void Ora_OCIEnv::Terminate() {
  VEL_FLOW_ENTRY("Ora_OCIEnv::Terminate");
  if (m_pOCIError != nullptr) {
    Ora_Wrapper::OCIHandleFree(m_pOCIError, OCI_HTYPE_ERROR);
    m_pOCIError = nullptr;
  }
  if (m_pOCIEnv != nullptr) {
    Ora_Wrapper::OCIHandleFree(m_pOCIEnv, OCI_HTYPE_ENV);
    m_pOCIEnv = nullptr;
  }
  if (L::pMyOCITerminate != nullptr) L::pMyOCITerminate(OCI_DEFAULT);
}

void Ora_ErrorMsg::clear() {
  m_status = 0;
  m_errorCode = 0;
  // Only the terminator: every fetched row clears its record, and the text is read as a string.
  m_message[0] = 0;
}

void Ora_ErrorMsg::set(int status, int errorCode, const char* message) {
  clear();
  m_status = status;
  m_errorCode = errorCode;
  snprintf(m_message, sizeof m_message, "%s", message ? message : "");
}

void Ora_ErrorMsg::setOCIError(OCIError* errorHandle, int status) {
  clear();
  m_status = status;
  switch (status) {
    case OCI_SUCCESS:
      return;
    case OCI_ERROR:
    case OCI_SUCCESS_WITH_INFO: {
      if (errorHandle == nullptr) {
        snprintf(m_message, sizeof m_message, "Invalid OCIError pointer");
        return;
      }
      sb4 code = 0;
      int rc = L::pMyOCIErrorGet ? L::pMyOCIErrorGet(errorHandle, 1, nullptr, &code,
                                                     reinterpret_cast<text*>(m_message),
                                                     kMessageSize - 1, OCI_HTYPE_ERROR)
                                 : OCI_INVALID_HANDLE;
      if (rc != OCI_SUCCESS) VEL_ERROR("Error, failed at OCIErrorGet, return code is:%d", rc);
      m_errorCode = code;
      m_message[kMessageSize - 1] = 0;
      // Oracle's messages end with a line feed and may hold more: keep the record on one line.
      for (char* p = m_message; *p; ++p)
        if (*p == '\r' || *p == '\n') *p = ' ';
      return;
    }
    case OCI_NEED_DATA:
      snprintf(m_message, sizeof m_message, "Warning - OCI_NEED_DATA");
      return;
    case OCI_NO_DATA:
      snprintf(m_message, sizeof m_message, "Warning - OCI_NO_DATA");
      return;
    case OCI_INVALID_HANDLE:
      snprintf(m_message, sizeof m_message, "Error - OCI_INVALID_HANDLE");
      return;
    case OCI_STILL_EXECUTING:
      snprintf(m_message, sizeof m_message, "Error - OCI_STILL_EXECUTING");
      return;
    case OCI_CONTINUE:
      snprintf(m_message, sizeof m_message, "Info - OCI_CONTINUE");
      return;
    default:
      snprintf(m_message, sizeof m_message, "Error - Uncatched Error Code %d", status);
      VEL_ERROR("Error - Uncatched Error Code %d", status);
      return;
  }
}

void Ora_ErrorMsg::printOCIError(OCIError* errorHandle, int status, const char* instance,
                                 const char* where, const char* sql) {
  if (!VEL_TRACE_ON(MUT1_ERROR)) return;
  VEL_ERROR("Oracle error at %s, Instance is %s", where ? where : "", instance ? instance : "");
  VEL_ERROR("Status code is %d", status);
  if (errorHandle != nullptr && L::pMyOCIErrorGet != nullptr) {
    for (ub4 record = 1;; ++record) {
      char buffer[512] = {0};
      sb4 code = 0;
      if (L::pMyOCIErrorGet(errorHandle, record, nullptr, &code, reinterpret_cast<text*>(buffer),
                            sizeof buffer, OCI_HTYPE_ERROR) != OCI_SUCCESS)
        break;
      VEL_ERROR("Error code iis:%d, error message is:%s", code, buffer);
    }
  }
  VEL_ERROR("SQL content is:%s", sql ? sql : "");
}

int Ora_ErrorMsg::fromOCI(OCIError* errorHandle, int status, const char* instance,
                          const char* where, const char* sql) {
  setOCIError(errorHandle, status);
  printOCIError(errorHandle, status, instance, where, sql);
  return status;
}

bool Ora_ErrorMsg::okOrTrace(OCIError* errorHandle, int status, const char* instance,
                             const char* where) {
  if (Ora_OK(status)) return true;
  printOCIError(errorHandle, status, instance, where, nullptr);
  return false;
}

const char* OraNum::ToTextFmt = "TM9";

OraNum::OraNum() { memset(&m_number, 0, sizeof m_number); }

bool OraNum::getInt(int& out) const {
  int rc = L::pMyOCINumberToInt(Ora_OCIEnv::m_pOCIError, &m_number, sizeof(int), OCI_NUMBER_SIGNED,
                                &out);
  return Ora_ErrorMsg::okOrTrace(Ora_OCIEnv::m_pOCIError, rc, "", "OraNum::getInt");
}

bool OraNum::getInt64(int64_t& out) const {
  int rc = L::pMyOCINumberToInt(Ora_OCIEnv::m_pOCIError, &m_number, sizeof(int64_t),
                                OCI_NUMBER_SIGNED, &out);
  return Ora_OK(rc);
}

bool OraNum::getString(char* buffer, unsigned size) const {
  if (buffer == nullptr || size == 0) return false;
  memset(buffer, 0, size);
  text work[100] = {0};
  ub4 workSize = sizeof work;
  int rc = L::pMyOCINumberToText(Ora_OCIEnv::m_pOCIError, &m_number,
                                 reinterpret_cast<const text*>(ToTextFmt), 3, nullptr, 0, &workSize,
                                 work);
  if (!Ora_OK(rc)) return false;
  snprintf(buffer, size, "%.*s", static_cast<int>(workSize < sizeof work ? workSize : 99),
           reinterpret_cast<const char*>(work));
  return true;
}

namespace {

// The number times 10^shift through the client's own shift, round and integer conversion, with
// the traces of each failure; -1 when one fails or the result does not fit 64 bits.
long long convertThroughClient(const OCINumber* number, OCIError* errorHandle, int shift) {
  long long result = -1;
  OCINumber shifted;
  const OCINumber* source = number;
  if (shift != 0) {
    L::pMyOCINumberSetZero(errorHandle, &shifted);
    int rc = L::pMyOCINumberShift(errorHandle, number, shift, &shifted);
    if (!Ora_ErrorMsg::okOrTrace(errorHandle, rc, "", "OCINumberShift")) return -1;
    source = &shifted;
  }
  OCINumber rounded;
  L::pMyOCINumberSetZero(errorHandle, &rounded);
  int rc = L::pMyOCINumberRound(errorHandle, source, 0, &rounded);
  if (!Ora_ErrorMsg::okOrTrace(errorHandle, rc, "", "OCINumberRound")) return -1;
  int64_t value = 0;
  rc = L::pMyOCINumberToInt(errorHandle, &rounded, sizeof value, OCI_NUMBER_SIGNED, &value);
  if (Ora_OK(rc)) {
    result = value;
  } else if (VEL_TRACE_ON(MUT1_DETAIL)) {
    text work[100] = {0};
    ub4 workSize = sizeof work;
    int trc = L::pMyOCINumberToText(errorHandle, &rounded,
                                    reinterpret_cast<const text*>(OraNum::ToTextFmt), 3, nullptr, 0,
                                    &workSize, work);
    if (!Ora_ErrorMsg::okOrTrace(errorHandle, trc, "", "getOCINumberString"))
      VEL_DUMP(rounded.OCINumberPart, OCI_NUMBER_SIZE, "Dump of OCINumber");
    Ora_ErrorMsg::printOCIError(errorHandle, rc, "", "getOCINumberString", nullptr);
    VEL_DETAIL("Converting Oracle number from %s to int64 failed ",
               reinterpret_cast<const char*>(work));
  }
  return result;
}

// The number times 10^shift, rounded half away from zero, read straight from the 22 number
// bytes (length, exponent, base-100 digits) as OCINumberShift, OCINumberRound and OCINumberToInt
// would compute it. False for bytes that are no valid number and for a result beyond 64 bits: the
// caller then takes the client's own conversions, which trace the failure.
bool numberToInt64(const OCINumber* number, int shift, long long* out) {
  const ub1* b = number->OCINumberPart;
  int length = b[0];
  if (length < 1 || length > 21) return false;
  if (length == 1) {
    if (b[1] != 0x80) return false;
    *out = 0;
    return true;
  }
  bool negative = (b[1] & 0x80) == 0;
  int exponent = (negative ? static_cast<ub1>(~b[1]) : b[1]) - 193;
  int count = length - 1;
  if (negative && b[length] == 102) --count;
  // Decimal digits before the point: two per base-100 digit up to the exponent, plus the shift.
  long point = (static_cast<long>(exponent) + 1) * 2 + shift;
  if (point > 19) return false;  // at least 10^19: beyond 64 bits
  unsigned long long magnitude = 0;
  int roundDigit = 0;
  long position = 0;  // index of the next decimal digit of the mantissa
  for (int k = 0; k < count; ++k) {
    int raw = b[2 + k];
    int digit = negative ? 101 - raw : raw - 1;
    if (digit < 0 || digit > 99) return false;
    const int decimals[2] = {digit / 10, digit % 10};
    for (int d : decimals) {
      if (position < point)
        magnitude = magnitude * 10 + static_cast<unsigned>(d);
      else if (position == point)
        roundDigit = d;
      ++position;
    }
  }
  // Zeros after the last mantissa digit, up to the point.
  for (; position < point; ++position) magnitude *= 10;
  if (roundDigit >= 5) ++magnitude;
  const unsigned long long limit = negative ? 0x8000000000000000ULL : 0x7FFFFFFFFFFFFFFFULL;
  if (magnitude > limit) return false;
  *out = negative ? static_cast<long long>(0ULL - magnitude) : static_cast<long long>(magnitude);
  return true;
}

// Two decimal digits of v (0..99).
char* put2(char* p, unsigned v) {
  p[0] = static_cast<char>('0' + v / 10);
  p[1] = static_cast<char>('0' + v % 10);
  return p + 2;
}

}  // namespace

void getOCINumberString(const OCINumber* number, char* buffer, unsigned size, OCIError* errorHandle,
                        int shift) {
  if (number == nullptr || buffer == nullptr || errorHandle == nullptr || size < 2) return;
  VEL_DETAIL("Shift current OCINumber to %d", shift);
  long long result = -1;
  // The common case, a number that fits 64 bits, is converted from its bytes: one value of every
  // row goes through here, and three client calls per value cost more than the fetch itself.
  if (!numberToInt64(number, shift, &result))
    result = convertThroughClient(number, errorHandle, shift);
  char text64[32];
  vel_strncpy(buffer, vel_lltoa(text64, result), size);
}

void getOCIDateString(const OCIDate* date, char* buffer, unsigned size) {
  if (date == nullptr || buffer == nullptr || size < 21) return;
  int years = date->OCIDateYYYY - 1900;
  const OCITime& t = date->OCIDateTime;
  if (years < 0 || years > 999 || date->OCIDateMM > 99 || date->OCIDateDD > 99 ||
      t.OCITimeHH > 99 || t.OCITimeMI > 99 || t.OCITimeSS > 99) {
    // Outside the 16-character form: the formatted fields widen as printf widens them.
    memset(buffer, 0, size);
    snprintf(buffer, size, "%03d%02d%02d%02d%02d%02d000", years, date->OCIDateMM, date->OCIDateDD,
             t.OCITimeHH, t.OCITimeMI, t.OCITimeSS);
    return;
  }
  // CYYMMDDHHMMSS000, written digit by digit (one date of every row goes through here).
  char* p = buffer;
  *p++ = static_cast<char>('0' + years / 100);
  p = put2(p, static_cast<unsigned>(years % 100));
  p = put2(p, date->OCIDateMM);
  p = put2(p, date->OCIDateDD);
  p = put2(p, t.OCITimeHH);
  p = put2(p, t.OCITimeMI);
  p = put2(p, t.OCITimeSS);
  memcpy(p, "000", 4);
}

void Ora_DumpStatement(OCIStmt* statement, OCIError* errorHandle) {
  if (statement == nullptr || errorHandle == nullptr || L::pMyOCIAttrGet == nullptr) return;
  ub2 fnCode = 0, type = 0;
  ub4 state = 0;
  L::pMyOCIAttrGet(statement, OCI_HTYPE_STMT, &fnCode, nullptr, OCI_ATTR_SQLFNCODE, errorHandle);
  L::pMyOCIAttrGet(statement, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, errorHandle);
  L::pMyOCIAttrGet(statement, OCI_HTYPE_STMT, &state, nullptr, OCI_ATTR_STMT_STATE, errorHandle);
  VEL_ERROR("Statement type is %d, state is %d, sql function code is %d", type, state, fnCode);
  text* sql = nullptr;
  ub4 length = 0;
  L::pMyOCIAttrGet(statement, OCI_HTYPE_STMT, &sql, &length, OCI_ATTR_STATEMENT, errorHandle);
  VEL_ERROR("SQL is %.*s", sql ? static_cast<int>(length) : 0,
            sql ? reinterpret_cast<const char*>(sql) : "");
}

int DefineParameter(OCIStmt* statement, OCIError* errorHandle, int position, void* buffer, int size,
                    uint16_t dataType, short* indicator) {
  OCIDefine* defined = nullptr;
  int rc = L::pMyOCIDefineByPos(statement, &defined, errorHandle, static_cast<ub4>(position),
                                buffer, size, dataType, indicator, nullptr, nullptr, OCI_DEFAULT);
  VEL_DETAIL(
      "Stmt is %X, pDefined is:%X, BindPos is %d, Buffer is %X, buflen is %d, SQL type is %d",
      ptrBits(statement), ptrBits(defined), position, ptrBits(buffer), size, dataType);
  return rc;
}

Ora_OCIStmtHandler::Ora_OCIStmtHandler() {
  Ora_Wrapper::OCIHandleAlloc(Ora_OCIEnv::m_pOCIEnv, reinterpret_cast<void**>(&m_pStmt),
                              OCI_HTYPE_STMT, 0, nullptr);
  if (m_pStmt == nullptr)
    VEL_ERROR("Can not allocate the memory for OCIStmt");
  else
    VEL_DETAIL("Allocate %X for OCI_HTYPE_STMT", ptrBits(m_pStmt));
}

Ora_OCIStmtHandler::~Ora_OCIStmtHandler() {
  if (m_pStmt == nullptr) return;
  VEL_DETAIL("OCIHandleFree for STMT at %X", ptrBits(m_pStmt));
  Ora_Wrapper::OCIHandleFree(m_pStmt, OCI_HTYPE_STMT);
}

Ora_OCIHandleAutoPtr::Ora_OCIHandleAutoPtr(unsigned type) : m_type(type) {
  Ora_Wrapper::OCIHandleAlloc(Ora_OCIEnv::m_pOCIEnv, &m_pHandle, type, 0, nullptr);
  if (m_pHandle == nullptr)
    VEL_ERROR("Can not allocate the memory for handle type:%d", type);
  else
    VEL_DETAIL("Allocate %X for handle type %d", ptrBits(m_pHandle), type);
}

Ora_OCIHandleAutoPtr::~Ora_OCIHandleAutoPtr() {
  if (m_pHandle != nullptr) Ora_Wrapper::OCIHandleFree(m_pHandle, m_type);
}

// Declared with the other event posts; defined here, beside the error record it reads, so that
// event posting (a lower layer) needs nothing of the database access.
void Vel_PostEvent::postOraEvent(const Ora_ErrorMsg& error, const char* subnode, const char* detail,
                                 const char* category, const char* suggestion) {
  postOraEvent(error.getStatus(), error.getErrorCode(), error.getMessage(), subnode, detail,
               category, suggestion);
}
