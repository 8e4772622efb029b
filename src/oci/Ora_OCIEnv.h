// The process-wide OCI environment, error records, small handle owners and the conversions of
// Oracle numbers and dates into the text forms sent to the agent.
#ifndef VEL_OCI_ORA_OCIENV_H
#define VEL_OCI_ORA_OCIENV_H

#include <cstdint>

#include "ocidefs.h"

// True when an OCI call did what was asked: OCI_SUCCESS or OCI_SUCCESS_WITH_INFO.
inline bool Ora_OK(int status) { return status == OCI_SUCCESS || status == OCI_SUCCESS_WITH_INFO; }

// Memory callbacks handed to OCI: the client's own allocations come from the pool.
void* OraMalloc(void* context, size_t size);
void* OraRealloc(void* context, void* pointer, size_t size);
void OraFree(void* context, void* pointer);

class Ora_OCIEnv {
 public:
  // Creates the environment (threaded and object mode, AL32UTF8 for both character sets, the
  // pool's memory callbacks) and the shared error handle. Main thread, once, after the client
  // library was loaded.
  static bool Init();
  // Frees the shared error handle and the environment and terminates OCI.
  static void Terminate();

  static OCIEnv* m_pOCIEnv;
  // Used by number conversions and by callers without an error handle of their own.
  static OCIError* m_pOCIError;
};

// One error: OCI status, Oracle error code and text (at most 255 characters, one line).
class Ora_ErrorMsg {
 public:
  static constexpr unsigned kMessageSize = 256;

  Ora_ErrorMsg() { clear(); }
  Ora_ErrorMsg(OCIError* errorHandle, int status) {
    clear();
    setOCIError(errorHandle, status);
  }

  void clear();
  // Fills the record from an OCI status and, for errors, the first record of the error handle.
  void setOCIError(OCIError* errorHandle, int status);
  // Fills the record with a program error.
  void set(int status, int errorCode, const char* message);

  // setOCIError, then printOCIError: the record of a failed call, filled and traced. Returns
  // status.
  int fromOCI(OCIError* errorHandle, int status, const char* instance, const char* where,
              const char* sql);

  // Traces every error record of the handle with where the error happened and the statement.
  static void printOCIError(OCIError* errorHandle, int status, const char* instance,
                            const char* where, const char* sql);
  // Ora_OK(status); otherwise printOCIError without a statement first.
  static bool okOrTrace(OCIError* errorHandle, int status, const char* instance, const char* where);

  int getStatus() const { return m_status; }
  int getErrorCode() const { return m_errorCode; }
  const char* getMessage() const { return m_message; }

 private:
  int m_status = 0;
  int m_errorCode = 0;
  char m_message[kMessageSize] = {};
};

// One Oracle number value, defined or bound directly as an OCI number.
class OraNum {
 public:
  static const char* ToTextFmt;  // "TM9"

  OraNum();
  [[nodiscard]] bool getInt(int& out) const;
  [[nodiscard]] bool getInt64(int64_t& out) const;
  // The number as its shortest text ("TM9"); false on failure or a null buffer.
  [[nodiscard]] bool getString(char* buffer, unsigned size) const;

  OCINumber* number() { return &m_number; }
  const OCINumber* number() const { return &m_number; }

 private:
  OCINumber m_number;
};

// The number times 10^shift, rounded to an integer, as decimal text; "-1" when it does not fit
// 64 bits or a conversion fails. Does nothing for null arguments or a size below 2.
void getOCINumberString(const OCINumber* number, char* buffer, unsigned size, OCIError* errorHandle,
                        int shift);

// The date as the agent's 16-character timestamp (CYYMMDDHHMMSS000); needs a buffer of 21 bytes.
void getOCIDateString(const OCIDate* date, char* buffer, unsigned size);

// Traces a statement's type, state, function code and text (after a failed call).
void Ora_DumpStatement(OCIStmt* statement, OCIError* errorHandle);

// OCIDefineByPos without length or return-code arrays, mode 0.
int DefineParameter(OCIStmt* statement, OCIError* errorHandle, int position, void* buffer, int size,
                    uint16_t dataType, short* indicator);

// Owns one statement handle for the life of the object; handle() is null when the allocation
// failed.
class Ora_OCIStmtHandler {
 public:
  Ora_OCIStmtHandler();
  ~Ora_OCIStmtHandler();
  Ora_OCIStmtHandler(const Ora_OCIStmtHandler&) = delete;
  Ora_OCIStmtHandler& operator=(const Ora_OCIStmtHandler&) = delete;
  OCIStmt* handle() const { return m_pStmt; }

 private:
  OCIStmt* m_pStmt = nullptr;
};

// Owns one handle of the given OCI handle type, allocated from the process environment.
class Ora_OCIHandleAutoPtr {
 public:
  explicit Ora_OCIHandleAutoPtr(unsigned type);
  ~Ora_OCIHandleAutoPtr();
  Ora_OCIHandleAutoPtr(const Ora_OCIHandleAutoPtr&) = delete;
  Ora_OCIHandleAutoPtr& operator=(const Ora_OCIHandleAutoPtr&) = delete;
  void* handle() const { return m_pHandle; }
  unsigned type() const { return m_type; }

 private:
  void* m_pHandle = nullptr;
  unsigned m_type;
};

#endif  // VEL_OCI_ORA_OCIENV_H
