#include "Ora_Command.h"

#include <cstdio>
#include <cstring>

#include "MUT1.h"
#include "Ora_OCIEnv.h"
#include "vel00_OCI_Lib.h"

VEL_TRACE_UNIT("command");

using L = vel00_OCI_Lib;

namespace {
unsigned ptrBits(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }
}  // namespace

int Ora_BaseCommand::BindParameter(OCIStmt* statement, OCIError* errorHandle, const char* bindName,
                                   void* buffer, int size, uint16_t dataType) {
  if (statement == nullptr || bindName == nullptr || buffer == nullptr || errorHandle == nullptr)
    return OCI_INVALID_HANDLE;
  VEL_DETAIL("Stmt is %X, bindName is %s, Buffer is %X, buflen is %d, SQL type is %d",
             ptrBits(statement), bindName, ptrBits(buffer), size, dataType);
  OCIBind* bind = nullptr;
  int rc =
      L::pMyOCIBindByName(statement, &bind, errorHandle, reinterpret_cast<const text*>(bindName),
                          static_cast<sb4>(strlen(bindName)), buffer, size, dataType, nullptr,
                          nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  if (Ora_OK(rc)) {
    ub4 maxSize = static_cast<ub4>(size);
    rc = L::pMyOCIAttrSet(bind, OCI_HTYPE_BIND, &maxSize, 0, OCI_ATTR_MAXDATA_SIZE, errorHandle);
  }
  return rc;
}

int Ora_BaseCommand::DefineParameter(OCIStmt* statement, OCIError* errorHandle, int position,
                                     void* buffer, int size, uint16_t dataType) {
  VEL_FLOWMSG("Stmt is %X, BindPos is %d, Buffer is %X, buflen is %d, SQL type is %d",
              ptrBits(statement), position, ptrBits(buffer), size, dataType);
  OCIDefine* define = nullptr;
  return L::pMyOCIDefineByPos(statement, &define, errorHandle, static_cast<ub4>(position), buffer,
                              size, dataType, nullptr, nullptr, nullptr, OCI_DEFAULT);
}

Ora_SimpleCommand::Ora_SimpleCommand(const char* sql, int maxRowNum)
    : m_maxRowNum(maxRowNum > 0 ? maxRowNum : kDefaultMaxRowNum) {
  memset(m_maxRowNumText, 0, sizeof m_maxRowNumText);
  if (sql == nullptr) VEL_ERROR("Input SQL is NULL");
  m_sql.assign("select * from (");
  m_sql.append(sql);
  m_sql.append(") where ROWNUM<= :maxrownum");
  VEL_DETAIL("The SQL is: %s, MaxRowNum is : %d", m_sql.c_str(), m_maxRowNum);
}

int Ora_SimpleCommand::bindMaxRowNum(OCIStmt* statement, OCIError* errorHandle) {
  snprintf(m_maxRowNumText, sizeof m_maxRowNumText, "%d", m_maxRowNum);
  VEL_DETAIL("Binding parameter :maxrownum , value is %s, length is %d", m_maxRowNumText,
             static_cast<int>(sizeof m_maxRowNumText));
  return BindParameter(statement, errorHandle, ":maxrownum", m_maxRowNumText,
                       sizeof m_maxRowNumText, SQLT_STR);
}

int Ora_SimpleCommand::onBindParameters(OCIStmt* statement, OCIError* errorHandle) {
  return bindMaxRowNum(statement, errorHandle);
}
