// Take actions: an agent task whose action text is "VELPLSQL:" followed by a PL/SQL block or
// "VELSELECT:" followed by a query, run against a monitored database. In new-connection mode
// (the default) the take-action thread (processActionRequest) opens a fresh session with the
// subnode's credentials for each action; otherwise the subnode's worker runs the action on its
// monitoring session through velRunTakeAction. Either way the answer is a task result: a return
// code and lines of text, sent under gMutexSend.
#ifndef VEL_REQUEST_VEL_ACTIONREQUEST_H
#define VEL_REQUEST_VEL_ACTIONREQUEST_H

#include <atomic>

#include "OraXMLSQLData.h"
#include "Ora_Command.h"
#include "Vel_Request.h"

class Ora_Database;
class VelConfig;
class Vel_ListRequest;

constexpr char kVelPLSQLActionPrefix[] = "VELPLSQL:";
constexpr char kVelSELECTActionPrefix[] = "VELSELECT:";
// Default of VEL_SELECT_ACTION_MAXROW: the row limit of SELECT actions.
constexpr int VEL_SELECT_ACTION_DEFAULT_MAXROW = 10;

// The PL/SQL command of a PL/SQL action: the action text after the prefix, no bind variables.
class Ora_TakeActionCmd : public Ora_PLSQLCommand {
 public:
  explicit Ora_TakeActionCmd(const char* statement) { setSQL(statement); }
  int onBindParameters(OCIStmt*, OCIError*) override { return 0; }
  int onPLSQLEnd(OCISvcCtx*, OCIError*, Ora_DefInfoArray*, Ora_ErrorMsg&) override { return 0; }
};

class Vel_PLSQLActionRequest : public Vel_BaseDataRequest {
 public:
  explicit Vel_PLSQLActionRequest(Vel_AgentFacRequest& request) : Vel_BaseDataRequest(request) {}
  // The statement: the action text after "VELPLSQL:" ("" without a record).
  const char* getSQLID() const override;
  // Runs the block and answers (Oracle error code and text; 0 and "" on success). True.
  bool process(Ora_Database& database);
};

class Vel_SELECTActionRequest : public Vel_BaseDataRequest {
 public:
  explicit Vel_SELECTActionRequest(Vel_AgentFacRequest& request) : Vel_BaseDataRequest(request) {}
  // Runs the query (trailing ';' removed) limited to maxRow rows and answers one line per row,
  // the last fetched row first, then the column-name line; an Oracle failure answers its code
  // and text. An empty query gets no answer (false).
  bool process(Ora_Database& database, int maxRow);
};

// The query text of a SELECT action without its trailing ';' characters.
VelString velStripTrailingSemicolons(const char* text);

// Runs a take action on the given session by its prefix; any other action is traced and not
// answered. This is the worker's take-action handler (velSetWorkerActionHandler).
void velRunTakeAction(Vel_AgentFacRequest& request, Ora_Database& database, int selectMaxRow);

// The take-action thread's record, owned by the request loop.
struct ProcessActionParm {
  VelConfig* m_pConfig = nullptr;
  Vel_ListRequest* m_pRequestList = nullptr;
  std::atomic<bool>* m_pShutdown = nullptr;
  OraXMLSQLData m_catalog;  // private copy
};

// Thread entry of new-connection mode; parm is the ProcessActionParm. Returns null at shutdown.
void* processActionRequest(void* parm);

#endif  // VEL_REQUEST_VEL_ACTIONREQUEST_H
