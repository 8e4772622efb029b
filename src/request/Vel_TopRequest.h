// The top SQL group (RDB_Top_SQL): its catalog entry is a PL/SQL block that opens a cursor for
// the most expensive statements and hands it back through ":CURSOR". The request binds the
// agent's filter values by name into the block (a value is always bound, never pasted into the
// text; a name the block does not use is skipped), runs it, fetches the cursor into its table and
// sends each row with the name and host of the instance it belongs to.
//
// Used by the subnode's worker alone; send holds the send mutex for the whole answer.
#ifndef VEL_REQUEST_VEL_TOPREQUEST_H
#define VEL_REQUEST_VEL_TOPREQUEST_H

#include "Ora_Command.h"
#include "Ora_FilterList.h"
#include "Ora_OCIEnv.h"
#include "Ora_StmtTable.h"
#include "VelList.h"
#include "Vel_Request.h"

class Ora_TopCommand : public Ora_PLSQLCommand {
 public:
  static constexpr const char* kCursorName = ":CURSOR";

  // sql: the catalog block (null is traced); table: where the cursor is fetched (not owned, may
  // be null: nothing is fetched).
  Ora_TopCommand(const char* sql, Ora_AutoStmtTable* table);
  // Appends a bind for every condition that has a name, value, operator and logical operator,
  // except "_req_type", "originnode" and "timestamp".
  void addBindInfo(const RequestInfo* conditions);
  // Binds each entry whose name the block uses as a placeholder, then the cursor when the block
  // names ":CURSOR".
  int onBindParameters(OCIStmt* statement, OCIError* errorHandle) override;
  // Fetches the returned cursor into the table; a failed fetch leaves its Oracle error in error.
  int onPLSQLEnd(OCISvcCtx* serviceContext, OCIError* errorHandle, Ora_DefInfoArray* defineArray,
                 Ora_ErrorMsg& error) override;

  // Whether text holds name as a bind placeholder (":NAME", ignoring case, not part of a longer
  // name); a name given with its colon is looked up as it is.
  static bool usesPlaceholder(const char* text, const char* name);
  const VelTypePtrList<Ora_FilterList::BindInfo>& getBinds() const { return m_binds; }

 private:
  Ora_OCIStmtHandler m_cursor;
  OCIStmt* m_pCursor;  // m_cursor's handle: the cursor bind's value is its address
  Ora_AutoStmtTable* m_pTable;
  VelTypePtrList<Ora_FilterList::BindInfo> m_binds;
  VelTypePtrList<VelString> m_placeholders;  // the bound names with their colon
};

class Vel_TopRequest : public Vel_BaseDataRequest {
 public:
  static constexpr int kValues = 82;
  static constexpr int kFetchedValues = 79;

  explicit Vel_TopRequest(Vel_AgentFacRequest& request) : Vel_BaseDataRequest(request) {}
  // Looks the block up, binds, runs and fetches; a failure is raised as an Oracle event and the
  // answer is then empty. Always true.
  bool process(Ora_Database& database);
  void send(VelMutex& sendMutex, const VelCachedInstanceList& instances);
  const Ora_AutoStmtTable& getTable() const { return m_table; }

 private:
  Ora_AutoStmtTable m_table;
};

#endif  // VEL_REQUEST_VEL_TOPREQUEST_H
