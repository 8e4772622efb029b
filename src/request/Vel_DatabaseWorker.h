// The worker of one subnode (processDatabaseRequest): owns the subnode's database session for
// the life of the process, drains the subnode's queue one request at a time, keeps the session
// alive with a periodic check, refreshes the cluster-instance cache, and runs the catalog
// statements that carry an interval on their own schedule, keeping their last result to answer
// later requests from memory.
//
// Tuning (read once at thread start): VEL_PING_INTERVAL (seconds between keep-alive checks, 60;
// 0 or less means 60), CDP_COLLECTION_TIMEOUT (minus 3, at least 5: time-out of interval
// statements without their own), VEL_SELECT_ACTION_MAXROW (10), VEL_DEFAULT_MAXROWNUM (1000).
#ifndef VEL_REQUEST_VEL_DATABASEWORKER_H
#define VEL_REQUEST_VEL_DATABASEWORKER_H

#include <ctime>

#include "OraXMLSQLData.h"
#include "Ora_StmtTable.h"
#include "VelList.h"
#include "VelMemManager.h"
#include "VelString.h"

class Ora_Database;
class VelConfig;
class Vel_AgentFacRequest;
class Vel_ListRequest;

// Connection status of a subnode's configuration item, kept by its worker.
constexpr int VEL_CONN_STATUS_ACTIVE = 1;
constexpr int VEL_CONN_STATUS_INACTIVE = 2;

// One catalog statement with an interval for this database type, and its cached result.
class IntervalSQLInfo : public Vel_BaseMemPool {
 public:
  IntervalSQLInfo(const char* sqlId, int interval);
  ~IntervalSQLInfo();
  IntervalSQLInfo(const IntervalSQLInfo&) = delete;
  IntervalSQLInfo& operator=(const IntervalSQLInfo&) = delete;

  // Deletes the previous cached table and keeps table (may be null).
  void setCachedTable(Ora_AutoStmtTable* table);
  // Next run = now + interval; last query = now.
  void buildNextRunTime(time_t now);

  const char* getSQLID() const { return m_sqlId.c_str(); }
  int getInterval() const { return m_interval; }
  time_t getNextRunTime() const { return m_nextRunTime; }
  void setNextRunTime(time_t t) { m_nextRunTime = t; }
  time_t getLastQueryTime() const { return m_lastQueryTime; }
  const Ora_AutoStmtTable* getCachedTable() const { return m_pCachedTable; }
  bool isPending() const { return m_pending; }
  void setPending(bool pending) { m_pending = pending; }

 private:
  VelString m_sqlId;
  int m_interval;
  time_t m_nextRunTime;
  time_t m_lastQueryTime = 0;
  Ora_AutoStmtTable* m_pCachedTable = nullptr;  // owned
  bool m_pending = false;
};

using IntervalSQLList = VelTypePtrList<IntervalSQLInfo>;

// Thread entry; parm is the subnode's ProcessRequestParm. Returns null when the thread ends.
void* processDatabaseRequest(void* parm);

// Makes sure the session is connected: a live session is checked with a light statement and
// kept; otherwise it connects (with retry and events). After a new connection it stores the
// database information into the subnode's configuration item and checks privileges; the three
// outputs are set from the session's information. Does nothing for a null subnode; leaves the
// outputs unchanged on failure.
void testDatabaseConnection(Ora_Database& database, VelConfig* config, const OraXMLSQLData& catalog,
                            int& shortVersion, const char* subnode, bool& isCluster,
                            VelString& databaseType);

// Sets the subnode's configuration status (1 connected, 2 not) under the configuration's mutex.
void velSetSubnodeStatus(VelConfig* config, const char* subnode, int status);

// Builds the interval list once: one entry per catalog statement whose interval is non-zero and
// whose type equals databaseType ignoring case. Nothing while databaseType is empty.
void buildIntervalSQLInfo(IntervalSQLList& list, const OraXMLSQLData& catalog, const char* subnode,
                          const char* databaseType);
// Queues a Vel_IntervalSQLRequest for every entry that is due or pending and marks it pending;
// a full queue leaves the entry as it was.
void enqueueIntervalSQLRequest(const char* subnode, IntervalSQLList& list, Vel_ListRequest* queue);
// Gives the entry of sqlId (ignoring case) the table as its cached result, schedules its next run
// and clears its pending flag. Without an entry the table is deleted.
void refreshIntervalSQLData(IntervalSQLList& list, const char* sqlId, Ora_AutoStmtTable* table);
IntervalSQLInfo* searchIntervalSQLData(IntervalSQLList& list, const char* sqlId);

// How a worker runs a take action on its own session (new-connection mode off). The take-action
// code installs it; until then a worker refuses take actions with the failure text. selectMaxRow
// is VEL_SELECT_ACTION_MAXROW.
using VelWorkerActionHandler = void (*)(Vel_AgentFacRequest& request, Ora_Database& database,
                                        int selectMaxRow);
void velSetWorkerActionHandler(VelWorkerActionHandler handler);

#endif  // VEL_REQUEST_VEL_DATABASEWORKER_H
