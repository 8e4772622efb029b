#include "Vel_CustomSQLRequest.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "MUT1.h"
#include "Ora_Database.h"
#include "VelCachedInstanceList.h"
#include "VelEncoding.h"
#include "VelUtil.h"

VEL_TRACE_UNIT("Vel_CustomSQLRequest");

// ---- Ora_CustomCommand ---------------------------------------------------------------------

Ora_CustomCommand::Ora_CustomCommand(const char* sql) {
  snprintf(m_maxRowNumText, sizeof m_maxRowNumText, "%d",
           vel_getEnvAsInt("VEL_DEFAULT_MAXROWNUM", 1000));
  if (sql == nullptr) VEL_ERROR("Input SQL is NULL");
  m_sql.assign("select * from (");
  m_sql.append(sql != nullptr ? sql : "");
  m_sql.append(") where ROWNUM<= :velmaxrownum");
  VEL_DETAIL("The SQL is: %s, MaxRowNum is : %s", m_sql.c_str(), m_maxRowNumText);
}

int Ora_CustomCommand::onBindParameters(OCIStmt* statement, OCIError* errorHandle) {
  return BindParameter(statement, errorHandle, ":velmaxrownum", m_maxRowNumText,
                       sizeof m_maxRowNumText, SQLT_STR);
}

// ---- Ora_CustomTable -----------------------------------------------------------------------

void Ora_CustomTable::buildSlots(const Ora_DefInfo::Kind* kinds, unsigned count) {
  int text = 0, number = 0, date = 0;
  for (int& s : m_slotColumn) s = -1;
  for (unsigned c = 0; c < count; ++c) {
    int slot = -1;
    if (kinds[c] == Ora_DefInfo::kText && text < kTextSlots) {
      slot = text++;
    } else if (kinds[c] == Ora_DefInfo::kNumber && number < kNumberSlots) {
      slot = kTextSlots + number++;
    } else if (kinds[c] == Ora_DefInfo::kDate && date < kDateSlots) {
      slot = kTextSlots + kNumberSlots + date++;
    }
    if (slot >= 0) m_slotColumn[slot] = static_cast<int>(c);
  }
  m_mapped = true;
}

const char* Ora_CustomTable::getColumnName(int slot) const {
  int column = getSlotColumn(slot);
  return column >= 0 ? Ora_DynamicStmtTable::getColumnName(static_cast<unsigned>(column)) : nullptr;
}

void Ora_CustomTable::onFetch(OCIError* errorHandle) {
  if (m_pDefineArray == nullptr) return;
  ++m_rowCount;
  if (!m_mapped) {
    Ora_DefInfo::Kind kinds[kVelMaxColumns];
    for (unsigned c = 0; c < m_columnCount; ++c) {
      Ora_DefInfo* def = m_pDefineArray->getDefInfo(c);
      kinds[c] = def != nullptr ? def->m_kind : Ora_DefInfo::kUnsupported;
    }
    buildSlots(kinds, m_columnCount);
  }
  const char* values[kSlots];
  for (int slot = 0; slot < kSlots; ++slot) {
    int column = m_slotColumn[slot];
    Ora_DefInfo* def =
        column >= 0 ? m_pDefineArray->getDefInfo(static_cast<unsigned>(column)) : nullptr;
    if (def != nullptr) {
      values[slot] = def->getWXAString(errorHandle, 0, nullptr);
    } else {
      values[slot] = slot >= kTextSlots && slot < kTextSlots + kNumberSlots ? kNoNumber : "";
    }
  }
  // A row the pool refuses is dropped (append traced it); the fetch goes on.
  (void)m_rows.append(values, kSlots);
}

// ---- Summary -------------------------------------------------------------------------------

void Vel_CustomSQLSummaryRequest::send(VelMutex& sendMutex, const Vel_CustomizedSQLList& list,
                                       const VelCachedInstanceList& instances) {
  VEL_FLOW_ENTRY("Vel_CustomSQLSummaryRequest::send");
  if (m_pRequest == nullptr) return;
  VelMutexHandler lock(sendMutex);
  for (auto it = list.getStatements().begin(); it != list.getStatements().end(); ++it) {
    const VelCustomizedSQL* s = *it;
    char readTime[32], lastRun[32], errorCode[16], timeout[16];
    time2ct(s->m_readTime, readTime);
    time2ct(s->m_lastRunTime, lastRun);
    snprintf(errorCode, sizeof errorCode, "%d", s->m_lastErrorCode);
    snprintf(timeout, sizeof timeout, "%d", s->m_timeout);
    std::string text(s->m_sqlText.c_str());
    for (char& c : text)
      if (c == '\n') c = ' ';
    const char* values[11] = {list.getPath(),
                              readTime,
                              s->m_sqlId.c_str(),
                              text.c_str(),
                              errorCode,
                              s->m_lastMessage.c_str(),
                              lastRun,
                              timeout,
                              instances.getConnectedInstanceName(),
                              instances.getConnectedHostName(),
                              instances.getDatabaseUniqueName()};
    cp_SetAttributeValues(values, 11, getRequestID());
  }
  cp_SendData(getRequestID());
}

// ---- Detail --------------------------------------------------------------------------------

void Vel_CustomSQLDetailRequest::setAttrValues(const Ora_CustomTable& table, const char* sqlId,
                                               const VelCachedInstanceList& instances) {
  if (table.getColumnCount() == 0) {
    VEL_ERROR("Unable send result for 0 column data for %s subnode %s ", getRequestID(),
              getSubNode());
    return;
  }
  const Ora_SimpleTable& rows = table.getRows();
  for (unsigned r = 0; r < rows.size(); ++r) {
    const char* slots[Ora_CustomTable::kSlots];
    if (!rows.get(r, slots, Ora_CustomTable::kSlots)) continue;
    const char* values[kValues];
    values[0] = sqlId;
    for (int slot = 0; slot < Ora_CustomTable::kSlots; ++slot) {
      const char* name = table.getColumnName(slot);
      values[1 + 2 * slot] = name != nullptr ? name : "";
      values[2 + 2 * slot] = slots[slot] != nullptr ? slots[slot] : "";
    }
    values[25] = instances.getConnectedInstanceName();
    values[26] = instances.getConnectedHostName();
    values[27] = instances.getDatabaseUniqueName();
    cp_SetAttributeValues(values, kValues, getRequestID());
  }
}

void Vel_CustomSQLDetailRequest::process(Ora_Database& database, Vel_CustomizedSQLList& list,
                                         VelMutex& sendMutex,
                                         const VelCachedInstanceList& instances) {
  VEL_FLOW_ENTRY("Vel_CustomSQLDetailRequest::process");
  for (const RequestInfo* info = getFilterInfo(); info != nullptr; info = info->next) {
    if (info->name == nullptr || info->value == nullptr || velstricmp(info->name, "SQLID") != 0)
      continue;
    VEL_DETAIL("Request SQLID is %s", info->value);
    VelCustomizedSQL* statement = list.getSQLRecord(info->value);
    if (statement == nullptr) continue;
    Ora_CustomCommand command(statement->m_sqlText.c_str());
    Ora_CustomTable table;
    Ora_ErrorMsg error;
    time_t now = time(nullptr);
    bool ok = database.executeTableCmd(command, &table, error, static_cast<long>(now),
                                       statement->m_timeout);
    if (ok) {
      VelMutexHandler lock(sendMutex);
      setAttrValues(table, statement->m_sqlId.c_str(), instances);
    }
    // Oracle's texts end with a line feed; the summary shows the message on one line. A session
    // that is not active fails without an Oracle record: the summary says so rather than show
    // a success.
    std::string message(error.getMessage());
    while (!message.empty() && velisWhiteSpace(message.back())) message.pop_back();
    int code = error.getErrorCode();
    if (!ok && code == 0 && message.empty()) {
      code = -1;
      message = "Database is not active";
    }
    statement->m_lastErrorCode = code;
    statement->m_lastMessage.assign(message.c_str());
    statement->m_lastRunTime = time(nullptr);
  }
  VelMutexHandler lock(sendMutex);
  cp_SendData(getRequestID());
}
