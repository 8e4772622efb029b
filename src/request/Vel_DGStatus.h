// The Data Guard status check of a "DG" subnode, run by its worker at every keep-alive check:
// every status message newer than the latest one reported is pushed to the agent once, as an
// event row of DG_Status. The worker keeps the latest message number (the high-water mark)
// between checks; a failed check keeps it, so the next successful check reports what was missed,
// and a message is never reported twice while the worker lives.
//
// The catalog statement DG_Status returns, in increasing message-number order, at most :maxrownum
// rows whose number (column 4) is greater than :vellastmessagenum; its columns 1 to 8 are passed
// through. Runs on the worker's thread; the send mutex is the only shared state.
#ifndef VEL_REQUEST_VEL_DGSTATUS_H
#define VEL_REQUEST_VEL_DGSTATUS_H

#include "Ora_Command.h"
#include "VelString.h"

class Ora_Database;
class VelCachedInstanceList;

class Ora_DGStatusCmd : public Ora_AutoCommand {
 public:
  static constexpr int kNumberSize = 30;  // the latest message number: at most 29 characters
  Ora_DGStatusCmd(const char* sql, const char* latestMessageNum, int maxRowNum);
  // Binds :maxrownum, then :vellastmessagenum; the first failing bind's status.
  int onBindParameters(OCIStmt* statement, OCIError* errorHandle) override;

 private:
  char m_latest[kNumberSize];
  char m_maxRowNumText[20];
};

// One check: runs DG_Status from latestMessageNum on, sends each row as an event of 11 values
// (columns 1-8, then the connected instance name, host name and database unique name) and moves
// latestMessageNum to the last row's message number. False when the statement is missing or
// fails (an Oracle error is raised as an event) or the session was lost; latestMessageNum then
// stays.
bool updateDGStatus(const char* subnode, Ora_Database& database, int timeout,
                    VelString& latestMessageNum, int maxRowNum,
                    const VelCachedInstanceList& instances);

#endif  // VEL_REQUEST_VEL_DGSTATUS_H
