// Commands: the SQL text of one statement and the hooks that bind its inputs (and, for PL/SQL,
// read its outputs). The session drives them in a fixed order: prepare, onAfterPrepare,
// onBindParameters, onDefineParameters, execute, onAfterExecute, then the table's fetch loop.
#ifndef VEL_OCI_ORA_COMMAND_H
#define VEL_OCI_ORA_COMMAND_H

#include <cstdint>

#include "VelMemManager.h"
#include "VelString.h"
#include "ocidefs.h"

class Ora_DefInfoArray;
class Ora_ErrorMsg;

class Ora_BaseCommand : public Vel_BaseMemPool {
 public:
  virtual ~Ora_BaseCommand() = default;
  virtual void setSQL(const char* sql) { m_sql.assign(sql); }
  virtual int onBindParameters(OCIStmt* statement, OCIError* errorHandle) = 0;
  virtual int onAfterPrepare(OCIStmt*, OCIError*) { return 0; }
  virtual int onAfterExecute(OCIStmt*, OCIError*) { return 0; }

  const char* getSQL() const { return m_sql.c_str(); }

  // Binds buffer to the named placeholder (no indicator) and sets its maximum data size.
  int BindParameter(OCIStmt* statement, OCIError* errorHandle, const char* bindName, void* buffer,
                    int size, uint16_t dataType);
  int DefineParameter(OCIStmt* statement, OCIError* errorHandle, int position, void* buffer,
                      int size, uint16_t dataType);

 protected:
  VelString m_sql;
};

// A query.
class Ora_TableCommand : public Ora_BaseCommand {
 public:
  virtual int onDefineParameters(OCIStmt* statement, OCIError* errorHandle) = 0;

 protected:
  int m_reserved = 0;
};

// A query whose result columns are learnt from the statement.
class Ora_DynamicTableCommand : public Ora_TableCommand {};

// A query without binds or own defines.
class Ora_AutoCommand : public Ora_DynamicTableCommand {
 public:
  Ora_AutoCommand() = default;
  explicit Ora_AutoCommand(const char* sql) { m_sql.assign(sql); }
  int onBindParameters(OCIStmt*, OCIError*) override { return 0; }
  int onDefineParameters(OCIStmt*, OCIError*) override { return 0; }
};

// A query limited to a maximum number of rows through the ":maxrownum" bind.
class Ora_SimpleCommand : public Ora_AutoCommand {
 public:
  static constexpr int kDefaultMaxRowNum = 1000;
  // Wraps sql as "select * from (sql) where ROWNUM<= :maxrownum"; a max row number that is not
  // positive becomes 1000.
  Ora_SimpleCommand(const char* sql, int maxRowNum);
  int onBindParameters(OCIStmt* statement, OCIError* errorHandle) override;
  int getMaxRowNum() const { return m_maxRowNum; }

 protected:
  int bindMaxRowNum(OCIStmt* statement, OCIError* errorHandle);
  int m_maxRowNum;
  char m_maxRowNumText[20];
};

// A PL/SQL block; onPLSQLEnd reads its output binds after a successful execution. A hook that
// fails on an Oracle call fills error at the failure (the error handle may be reset before the
// caller could read it); one that leaves error empty has it read from the handle.
class Ora_PLSQLCommand : public Ora_BaseCommand {
 public:
  virtual int onPLSQLEnd(OCISvcCtx* serviceContext, OCIError* errorHandle,
                         Ora_DefInfoArray* defineArray, Ora_ErrorMsg& error) = 0;
};

#endif  // VEL_OCI_ORA_COMMAND_H
