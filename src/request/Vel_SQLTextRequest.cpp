#include "Vel_SQLTextRequest.h"

#include <cstdio>
#include <cstring>

#include "MUT1.h"
#include "Ora_Database.h"
#include "VelEncoding.h"
#include "VelUtil.h"
#include "cp_api.h"

VEL_TRACE_UNIT("Vel_SQLTextRequest");

namespace {

const char kHistSQLId[] = "RDB_DBA_HIST_SQLTEXT";
const char kCurrentSQLId[] = "RDB_DBA_SQLTEXT";

// The length of the UTF-8 sequence that starts with c (1 for a byte that starts none).
int sequenceLength(unsigned char c) {
  if (c >= 0xF0 && c <= 0xF7) return 4;
  if (c >= 0xE0) return c <= 0xEF ? 3 : 1;
  if (c >= 0xC0) return 2;
  return 1;
}

}  // namespace

Ora_SQLTextLookupCommand::Ora_SQLTextLookupCommand(const char* sql, int maxRows,
                                                   const char* conditions, Field first,
                                                   Field second)
    : m_names{first.bindName, second.bindName}, m_widths{first.width, second.width} {
  snprintf(m_maxRowNum, sizeof m_maxRowNum, "%d", maxRows < 0 ? 1000 : maxRows);
  vel_strncpy(m_values[0], first.value != nullptr ? first.value : "", first.width);
  vel_strncpy(m_values[1], second.value != nullptr ? second.value : "", second.width);
  if (sql == nullptr) VEL_ERROR("Input SQL is NULL");
  m_sql.assign("select * from (");
  m_sql.append(sql != nullptr ? sql : "");
  m_sql.append(") where ROWNUM<= :maxrownum");
  m_sql.append(conditions);
  VEL_DETAIL("The SQL is: %s, MaxRowNum is : %s", m_sql.c_str(), m_maxRowNum);
}

int Ora_SQLTextLookupCommand::onBindParameters(OCIStmt* statement, OCIError* errorHandle) {
  int rc = BindParameter(statement, errorHandle, ":maxrownum", m_maxRowNum, sizeof m_maxRowNum,
                         SQLT_STR);
  for (int i = 0; i < 2 && (rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO); ++i)
    rc = BindParameter(statement, errorHandle, m_names[i], m_values[i], m_widths[i], SQLT_STR);
  return rc;
}

Ora_HistSQLTextCommand::Ora_HistSQLTextCommand(const char* dbid, const char* sqlId, const char* sql,
                                               int maxRows)
    : Ora_SQLTextLookupCommand(sql, maxRows,
                               " and (( sqlid = :BindValue1 )) and (( dbid = :BindValue2 ))",
                               {":BindValue1", sqlId, 256}, {":BindValue2", dbid, 256}) {}

Ora_SQLTextCommand::Ora_SQLTextCommand(const char* dbid, const char* address, const char* sql,
                                       int maxRows)
    : Ora_SQLTextLookupCommand(sql, maxRows,
                               " and (( dbid = :dbidValue )) and (( address = :BindValue1 ))",
                               {":dbidValue", dbid, 20}, {":BindValue1", address, 256}) {}

// ---- Vel_SQLTextRequest --------------------------------------------------------------------

Vel_SQLTextRequest::Vel_SQLTextRequest(Vel_AgentFacRequest& request)
    : Vel_BaseDataRequest(request) {}

Vel_SQLTextRequest::Kind Vel_SQLTextRequest::getSQLType() {
  bool address = false, sqlId = false, dbid = false;
  for (const RequestInfo* c = getFilterInfo(); c != nullptr; c = c->next) {
    if (c->name == nullptr || c->value == nullptr || c->op == nullptr || c->logicalOp == nullptr ||
        velstricmp(c->name, "_req_type") == 0)
      continue;
    bool plain = velstricmp(c->op, "eq") == 0 && velstricmp(c->logicalOp, "or") != 0;
    if (plain && velstricmp(c->name, "address") == 0) {
      vel_strncpy(m_address, c->value, sizeof m_address);
      address = true;
    } else if (plain && velstricmp(c->name, "sqlid") == 0) {
      vel_strncpy(m_sqlId, c->value, sizeof m_sqlId);
      sqlId = true;
    } else if (plain && velstricmp(c->name, "dbid") == 0) {
      vel_strncpy(m_dbid, c->value, sizeof m_dbid);
      dbid = true;
    } else {
      VEL_ERROR("Error! Unsupported parameter name= %s, code= %s", c->name, c->op);
      m_kind = kNone;
      return m_kind;
    }
  }
  m_kind = address && dbid ? kCurrent : sqlId && dbid ? kHistory : kNone;
  return m_kind;
}

void Vel_SQLTextRequest::process(Ora_Database& database) {
  VEL_FLOW_ENTRY("Vel_SQLTextRequest::process");
  if (getSQLType() == kNone) return;
  const char* sqlId = m_kind == kHistory ? kHistSQLId : kCurrentSQLId;
  int maxRowNum = Ora_SimpleCommand::kDefaultMaxRowNum;
  const char* sql = database.getSQL(sqlId, maxRowNum);
  if (sql == nullptr) {
    VEL_ERROR(" Error, can not load the SQLID %s from sql xml file", sqlId);
    return;
  }
  Ora_ErrorMsg error;
  bool ok;
  if (m_kind == kHistory) {
    Ora_HistSQLTextCommand command(m_dbid, m_sqlId, sql, 1000);
    ok = database.executeTableCmd(command, &m_table, error, static_cast<long>(m_creationTime),
                                  m_timeout);
  } else {
    Ora_SQLTextCommand command(m_dbid, m_address, sql, 1);
    ok = database.executeTableCmd(command, &m_table, error, static_cast<long>(m_creationTime),
                                  m_timeout);
  }
  if (!ok) velPostQueryError(error, database, sqlId);
}

std::vector<std::string> Vel_SQLTextRequest::cutPieces(const char* text) {
  std::vector<std::string> pieces;
  std::string piece;
  int characters = 0;
  for (const char* p = text != nullptr ? text : ""; *p != '\0';) {
    int length = sequenceLength(static_cast<unsigned char>(*p));
    // A sequence cut short by the end of the text is taken as far as it goes.
    for (int i = 1; i < length; ++i)
      if (p[i] == '\0') length = i;
    char c = *p;
    if (c == '\r' || c == '\n' || c == '\t') {
      piece += ' ';
    } else {
      piece.append(p, static_cast<size_t>(length));
    }
    p += length;
    if (++characters == kPieceLength) {
      pieces.push_back(piece);
      piece.clear();
      characters = 0;
    }
  }
  if (!piece.empty()) pieces.push_back(piece);
  return pieces;
}

void Vel_SQLTextRequest::setAttrValues(const char** values, const char* text) {
  std::vector<std::string> pieces = cutPieces(text);
  for (size_t i = 0; i < pieces.size(); ++i) {
    char number[16];
    snprintf(number, sizeof number, "%d", static_cast<int>(i));
    values[3] = number;
    values[4] = pieces[i].c_str();
    cp_SetAttributeValues(values, kValues, getRequestID());
  }
}

void Vel_SQLTextRequest::send(VelMutex& sendMutex) {
  VEL_FLOW_ENTRY("Vel_SQLTextRequest::send");
  if (m_pRequest == nullptr) return;
  VelMutexHandler lock(sendMutex);
  int columns = static_cast<int>(m_table.getColumnCount());
  unsigned rows = m_table.getStoredRowCount();
  const char* row[kVelMaxColumns];
  auto column = [&](int i) -> const char* { return i < columns && row[i] ? row[i] : ""; };
  for (unsigned r = 0; r < rows; ++r) {
    if (!m_table.getRow(r, row, columns)) continue;
    const char* values[kValues];
    if (m_kind == kHistory) {
      values[0] = column(0);
      values[1] = "";
      values[2] = column(1);
      values[5] = column(3);
      setAttrValues(values, column(2));
    } else {
      values[0] = column(0);
      values[1] = column(1);
      values[2] = column(2);
      values[5] = column(4);
      setAttrValues(values, column(3));
    }
  }
  if (rows == 0)
    VEL_ERROR("Unable send result for 0 column data for %s subnode %s ", getRequestID(),
              getSubNode());
  cp_SendData(getRequestID());
}
