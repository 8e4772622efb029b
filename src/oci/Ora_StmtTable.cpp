#include "Ora_StmtTable.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "MUT1.h"
#include "OraErrors.h"
#include "Ora_Wrapper.h"
#include "VelUtil.h"
#include "vel00_OCI_Lib.h"

VEL_TRACE_UNIT("stmttable");

using L = vel00_OCI_Lib;

namespace {
// What the client may read ahead of the fetches of one statement: rows, and bytes.
constexpr ub4 kPrefetchRows = 100;
constexpr ub4 kPrefetchMemory = 102400;
}  // namespace

void Ora_DefInfo::set(uint16_t dataType, int columnSize) {
  m_indicator = 0;
  switch (dataType) {
    case SQLT_CHR:
    case SQLT_AFC:
    case SQLT_CLOB: {
      // Three bytes a character leave room for UTF-8. One more byte for the terminator that a
      // null-terminated define writes inside the buffer, so that a value of the full width (a
      // 4000-byte VARCHAR2) is not cut; the described sizes leave no room for it.
      long length = 3L * (columnSize > 0 ? columnSize : 0);
      m_bufferLength = static_cast<int>(length > kMaxTextBytes ? kMaxTextBytes : length) + 1;
      m_kind = kText;
      m_pData = m_text;
      memset(m_text, 0, sizeof m_text);
      break;
    }
    case SQLT_LNG:
      // LONG (a view's text, for example) is text of up to 2 GB, which a real client reports as
      // type 8 with no size: the first 4000 bytes are kept. The described type table files 8
      // with the numbers; a LONG value is text, so it is defined as text here.
      m_bufferLength = kTextAreaSize;
      m_kind = kText;
      m_pData = m_text;
      memset(m_text, 0, sizeof m_text);
      break;
    case SQLT_BIN:
      m_bufferLength = 64 + 1;  // 64 characters and the terminator, as above
      m_kind = kText;
      m_pData = m_text;
      memset(m_text, 0, sizeof m_text);
      break;
    case SQLT_NUM:
    case SQLT_IBFLOAT:
    case SQLT_IBDOUBLE:
      m_bufferLength = OCI_NUMBER_SIZE;
      m_kind = kNumber;
      m_pData = &m_number;
      break;
    case SQLT_DAT:
    case SQLT_TIMESTAMP:
    case SQLT_TIMESTAMP_TZ:
    case SQLT_TIMESTAMP_LTZ:
      m_bufferLength = sizeof(OCIDate);
      m_kind = kDate;
      m_pData = &m_date;
      break;
    default:
      m_bufferLength = 0;
      m_kind = kUnsupported;
      m_pData = nullptr;
      break;
  }
}

int Ora_DefInfo::getBufferLen() const {
  switch (m_kind) {
    case kText:
      return (m_indicator != -1 && m_pData != nullptr) ? static_cast<int>(strlen(m_text)) + 1 : 8;
    case kNumber:
      return 24;
    case kDate:
      return 20;
    default:
      VEL_ERROR("Unhandled type is: %d", m_kind);
      return 1;
  }
}

const char* Ora_DefInfo::getWXAString(OCIError* errorHandle, int shift, const char* nullText) {
  if (errorHandle == nullptr) return nullptr;
  switch (m_kind) {
    case kText:
      // A NULL leaves the area as the previous row left it: hand out an empty text instead.
      if (m_indicator == -1) m_text[0] = 0;
      return m_text;
    case kNumber:
      // The area is not zero-filled per value: each conversion writes its terminator.
      if (m_indicator == -1) {
        if (nullText != nullptr) {
          vel_strncpy(m_text, nullText, kTextAreaSize);
        } else {
          long long v = -1;
          for (int i = 0; i < shift && i < 18; ++i) v *= 10;
          vel_lltoa(m_text, v);
        }
      } else {
        getOCINumberString(&m_number, m_text, kTextAreaSize, errorHandle, shift);
      }
      return m_text;
    case kDate:
      if (m_indicator == -1)
        m_text[0] = 0;
      else
        getOCIDateString(&m_date, m_text, kTextAreaSize);
      return m_text;
    default:
      VEL_ERROR("Unhandled type is: %d", m_kind);
      return nullptr;
  }
}

Ora_DefInfoArray::Ora_DefInfoArray() {
  m_infos = new (std::nothrow) Ora_DefInfo[kVelMaxColumns];
  if (m_infos == nullptr)
    VEL_ERROR("Error, memory allocation failed for allocating %d DefInfo", kVelMaxColumns);
}

Ora_DefInfoArray::~Ora_DefInfoArray() { delete[] m_infos; }

Ora_DefInfo* Ora_DefInfoArray::getDefInfo(unsigned index) {
  if (m_infos != nullptr && index < m_count) return &m_infos[index];
  VEL_DETAIL("Column number is:%d, required index is:%d", m_count, index);
  return nullptr;
}

char* Ora_SimpleTable::take(size_t n) {
  if (n > m_freeSize) {
    // A block starts with the pointer to the block before it, so clear() walks them all.
    size_t need = n + sizeof(void*);
    size_t blockSize = need > m_nextBlockSize ? need : m_nextBlockSize;
    void* block = VelMemManager::Malloc(blockSize);
    if (block == nullptr) return nullptr;
    *static_cast<void**>(block) = m_lastBlock;
    m_lastBlock = block;
    m_free = static_cast<char*>(block) + sizeof(void*);
    m_freeSize = blockSize - sizeof(void*);
    if (m_nextBlockSize < kLargestBlock) m_nextBlockSize *= 2;
  }
  char* p = m_free;
  m_free += n;
  m_freeSize -= n;
  return p;
}

bool Ora_SimpleTable::append(const char** values, unsigned count) {
  if (values == nullptr) {
    VEL_ERROR("Error, Invalid pointer");
    return false;
  }
  if (count < 1 || count > kVelMaxColumns) return false;
  size_t lengths[kVelMaxColumns];
  size_t textSize = 0;
  bool detail = VEL_TRACE_ON(MUT1_DETAIL);
  for (unsigned i = 0; i < count; ++i) {
    if (detail) VEL_DETAIL("index is:%d, value is:%s", i, values[i] ? values[i] : "");
    lengths[i] = values[i] ? strlen(values[i]) : 0;
    textSize += lengths[i] + 1;
  }
  VEL_DETAIL("Allocate memory size:%d", static_cast<int>(textSize));
  // The value pointers first, then the texts, rounded up so the next row's pointers stay aligned.
  size_t pointerSize = count * sizeof(const char*);
  size_t total = (pointerSize + textSize + sizeof(void*) - 1) & ~(sizeof(void*) - 1);
  char* storage = take(total);
  if (storage == nullptr) {
    VEL_ERROR("Error! Can not allocate memory for size:%d", static_cast<int>(total));
    return false;
  }
  Ora_SimpleRow row;
  row.m_values = reinterpret_cast<const char**>(storage);
  row.m_count = count;
  char* p = storage + pointerSize;
  for (unsigned i = 0; i < count; ++i) {
    if (lengths[i] != 0) memcpy(p, values[i], lengths[i]);
    p[lengths[i]] = 0;
    row.m_values[i] = p;
    p += lengths[i] + 1;
  }
  m_rows.push_back(row);
  return true;
}

void Ora_SimpleTable::clear() {
  VEL_DETAIL("size is %d", static_cast<int>(m_rows.size()));
  m_rows.clear();
  while (m_lastBlock != nullptr) {
    void* previous = *static_cast<void**>(m_lastBlock);
    VelMemManager::Free(m_lastBlock);
    m_lastBlock = previous;
  }
  m_free = nullptr;
  m_freeSize = 0;
  m_nextBlockSize = kFirstBlock;
}

bool Ora_SimpleTable::get(unsigned index, const char** out, int count) const {
  const Ora_SimpleRow* row = at(index);
  if (row == nullptr || out == nullptr || count < 0 ||
      static_cast<unsigned>(count) != row->getCount())
    return false;
  for (unsigned i = 0; i < row->getCount(); ++i) out[i] = row->getValue(i);
  return true;
}

int Ora_BaseStmtTable::executeFetch(OCISvcCtx* serviceContext, OCIStmt* statement,
                                    OCIError* errorHandle, Ora_ErrorMsg& error,
                                    Ora_DefInfoArray* defineArray) {
  VEL_FLOW_ENTRY("Ora_BaseStmtTable::executeFetch");
  if (serviceContext == nullptr || statement == nullptr || errorHandle == nullptr ||
      defineArray == nullptr)
    VEL_RETURN(OCI_INVALID_HANDLE);
  m_pDefineArray = defineArray;
  int status = onBeforeFetch(statement, errorHandle);
  if (!Ora_OK(status)) {
    error.fromOCI(errorHandle, status, "", "beforeFetch", nullptr);
    Ora_DumpStatement(statement, errorHandle);
    VEL_RETURN(status);
  }
  long start = static_cast<long>(time(nullptr));
  status =
      Ora_Wrapper::StmtFetch2(serviceContext, statement, errorHandle, start, kFetchTimeout, error);
  while (isOKFetch(error)) {
    onFetch(errorHandle);
    status = Ora_Wrapper::StmtFetch2(serviceContext, statement, errorHandle, start, kFetchTimeout,
                                     error);
  }
  // The wrapper filled the record (or the cancellation error) before its statement dump reset the
  // error handle; reading the handle again here would lose the error.
  if (status != OCI_NO_DATA && !Ora_ErrorMsg::okOrTrace(errorHandle, status, "", "executeFetch")) {
    Ora_DumpStatement(statement, errorHandle);
    onFetchFail();
    VEL_RETURN(status);
  }
  onAfterFetch(errorHandle);
  if (error.getStatus() == OCI_NO_DATA) error.clear();
  VEL_RETURN(0);
}

bool Ora_BaseStmtTable::isOKFetch(Ora_ErrorMsg& error) {
  int status = error.getStatus();
  if (Ora_OK(status)) return true;
  int code = error.getErrorCode();
  if (status == OCI_ERROR && (code == kOraValueTruncated || code == kOraFetchWarning)) {
    VEL_DETAIL("Ignore and continue fetching on error %d, with error message:%s ", code,
               error.getMessage());
    return true;
  }
  return false;
}

int Ora_DynamicStmtTable::describeColumn(OCIStmt* statement, OCIError* errorHandle, ub4 position,
                                         void* param) {
  ub2 dataType = 0, dataSize = 0, charSize = 0;
  ub1 charUsed = 0;
  text* name = nullptr;
  ub4 nameLength = 0;
  int status =
      L::pMyOCIAttrGet(param, OCI_DTYPE_PARAM, &dataType, nullptr, OCI_ATTR_DATA_TYPE, errorHandle);
  int rc = L::pMyOCIAttrGet(param, OCI_DTYPE_PARAM, &name, &nameLength, OCI_ATTR_NAME, errorHandle);
  if (!Ora_OK(rc)) status = rc;
  char columnName[100] = {0};
  if (name != nullptr)
    snprintf(columnName, sizeof columnName, "%.*s", static_cast<int>(nameLength),
             reinterpret_cast<const char*>(name));
  rc =
      L::pMyOCIAttrGet(param, OCI_DTYPE_PARAM, &charUsed, nullptr, OCI_ATTR_CHAR_USED, errorHandle);
  if (!Ora_OK(rc)) status = rc;
  L::pMyOCIAttrGet(param, OCI_DTYPE_PARAM, &charSize, nullptr, OCI_ATTR_CHAR_SIZE, errorHandle);
  L::pMyOCIAttrGet(param, OCI_DTYPE_PARAM, &dataSize, nullptr, OCI_ATTR_DATA_SIZE, errorHandle);
  int columnSize = charUsed ? charSize : dataSize;

  Ora_DefInfo* def = m_pDefineArray->getDefInfo(position - 1);
  if (def == nullptr) {
    VEL_ERROR("Error at get pDef for index:%d", position - 1);
  } else {
    def->set(dataType, columnSize);
    // The fetch buffer's form by kind: text, number or date.
    static const uint16_t kDefineTypes[] = {0, SQLT_STR, SQLT_VNU, SQLT_ODT};
    uint16_t defineType = kDefineTypes[def->m_kind];
    if (defineType == 0) {
      VEL_ERROR("Error! Unhandled type is: %d", dataType);
    } else {
      OCIDefine* define = nullptr;
      rc = L::pMyOCIDefineByPos(statement, &define, errorHandle, position, def->m_pData,
                                def->m_bufferLength, defineType, &def->m_indicator, nullptr,
                                nullptr, OCI_DEFAULT);
      if (!Ora_OK(rc)) status = rc;
    }
  }
  if (position <= kVelMaxColumns)
    snprintf(m_columns[position - 1].m_name, sizeof m_columns[position - 1].m_name, "%.32s",
             columnName);
  if (VEL_TRACE_ON(MUT1_DETAIL)) {
    ub4 maxCharSize = 0, maxDataSize = 0;
    L::pMyOCIAttrGet(param, OCI_DTYPE_PARAM, &maxCharSize, nullptr, OCI_ATTR_MAX_CHARSIZE,
                     errorHandle);
    L::pMyOCIAttrGet(param, OCI_DTYPE_PARAM, &maxDataSize, nullptr, OCI_ATTR_MAXDATA_SIZE,
                     errorHandle);
    VEL_DETAIL(
        "Column %s, type is %d, uiCharUsed is %d, length is %d,charsize is %d, datasize is %d, "
        "max char is %d, max data is %d",
        columnName, dataType, charUsed, columnSize, charSize, dataSize, maxCharSize, maxDataSize);
  }
  return status;
}

int Ora_DynamicStmtTable::onBeforeFetch(OCIStmt* statement, OCIError* errorHandle) {
  VEL_FLOW_ENTRY("Ora_DynamicStmtTable::onBeforeFetch");
  ub4 prefetchRows = kPrefetchRows;
  int status = L::pMyOCIAttrSet(statement, OCI_HTYPE_STMT, &prefetchRows, 0, OCI_ATTR_PREFETCH_ROWS,
                                errorHandle);
  if (!Ora_OK(status)) VEL_RETURN(status);
  ub4 prefetchMemory = kPrefetchMemory;
  status = L::pMyOCIAttrSet(statement, OCI_HTYPE_STMT, &prefetchMemory, 0, OCI_ATTR_PREFETCH_MEMORY,
                            errorHandle);
  if (!Ora_OK(status)) VEL_RETURN(status);
  ub4 columns = 0;
  status = L::pMyOCIAttrGet(statement, OCI_HTYPE_STMT, &columns, nullptr, OCI_ATTR_PARAM_COUNT,
                            errorHandle);
  if (!Ora_OK(status)) VEL_RETURN(status);

  m_rowCount = 0;
  if (columns > kVelMaxColumns) {
    VEL_ERROR(
        "Warning, SQL exceeds the max column %d, current column is %d, extra column data will "
        "not be fetched",
        kVelMaxColumns, columns);
    Ora_DumpStatement(statement, errorHandle);
    columns = kVelMaxColumns;
  }
  m_columnCount = columns;
  m_pDefineArray->setCount(columns);
  VEL_DETAIL("Column number is %d", columns);

  for (ub4 position = 1; position <= columns; ++position) {
    void* param = nullptr;
    if (L::pMyOCIParamGet(statement, OCI_HTYPE_STMT, errorHandle, &param, position) != OCI_SUCCESS)
      break;
    status = describeColumn(statement, errorHandle, position, param);
    L::pMyOCIDescriptorFree(param, OCI_DTYPE_PARAM);
  }
  VEL_RETURN(status);
}

void Ora_AutoStmtTable::onFetch(OCIError* errorHandle) {
  if (m_pDefineArray == nullptr) return;
  ++m_rowCount;
  bool detail = VEL_TRACE_ON(MUT1_DETAIL);
  for (unsigned i = 0; i < m_columnCount; ++i) {
    Ora_DefInfo* def = m_pDefineArray->getDefInfo(i);
    m_rowValues[i] = def ? def->getWXAString(errorHandle, 0, nullptr) : nullptr;
    if (detail) VEL_DETAIL("%s:%s", m_columns[i].m_name, m_rowValues[i] ? m_rowValues[i] : "");
  }
  // A row the pool refuses is dropped (append traced it); the fetch goes on.
  if (m_columnCount != 0) (void)m_table.append(m_rowValues, m_columnCount);
}

void Ora_AutoStmtTable::onAfterFetch(OCIError*) { VEL_FLOWMSG("Fetched row %d", m_rowCount); }

bool Ora_AutoStmtTable::getRow(unsigned index, const char** out, int count) const {
  return m_table.get(index, out, count);
}
