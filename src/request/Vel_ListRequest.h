// The request queues: one Vel_ListRequest per subnode (filled by the request loop, drained by the
// subnode's worker), the directory of all of them (Vel_RequestListManager), DispatchRequest that
// appends an agent request to its subnode's queue, and the parameter record of a worker thread.
//
// A queue's mutex and the directory's mutex are held only inside their own operations and never
// while another lock is taken.
#ifndef VEL_REQUEST_VEL_LISTREQUEST_H
#define VEL_REQUEST_VEL_LISTREQUEST_H

#include <pthread.h>

#include <atomic>

#include "OraXMLSQLData.h"
#include "VelAttrGroups.h"
#include "VelList.h"
#include "VelMutex.h"
#include "VelString.h"
#include "Vel_Request.h"

class VelConfig;

// Default of VEL_REQUEST_QUEUE_MAX_LENGTH.
constexpr int VEL_REQUEST_QUEUE_DEFAULT_MAX_LENGTH = 50;

class Vel_ListRequest : public VelBaseListLockTemplate<Vel_BaseRequest> {
 public:
  // Either name may be null (empty). Reads VEL_REQUEST_QUEUE_MAX_LENGTH (default 50).
  Vel_ListRequest(const char* subnode, const char* instanceName);

  // Appends while the queue holds at most the maximum length (so up to maximum + 1 requests are
  // queued); false for a null request or a full queue (the caller keeps the request).
  bool appendRequest(Vel_BaseRequest* request);
  // remove() (inherited) takes the oldest request off the queue; the caller owns it.

  // What the consumer waits on with a time-out; appendRequest posts it.
  VelEvent& getEvent() { return m_event; }
  const char* getSubNode() const { return m_subnode.c_str(); }
  const char* getInstanceName() const { return m_instanceName.c_str(); }
  int getMaxLength() const { return m_maxLength; }

 private:
  VelEvent m_event;
  VelString m_subnode;
  VelString m_instanceName;
  int m_maxLength;
};

// The queues of all subnodes; owns them.
class Vel_RequestListManager : public VelBaseListLockTemplate<Vel_ListRequest> {
 public:
  // The first queue whose subnode name equals subnode exactly; null for null or no match.
  Vel_ListRequest* getRequestList(const char* subnode);
};

// Appends an agent request to the queue of the subnode it names. False when there is no such
// queue (traced) or the queue is full (traced and raised as agent event 1006); the caller keeps
// the request on false. Must not be called holding gMutexSend (the event takes it).
bool DispatchRequest(Vel_RequestListManager* manager, Vel_AgentFacRequest* request);

// The record of one worker thread (processDatabaseRequest), created by the request loop; the
// worker reads only its own. The shutdown flag is atomic because the loop writes it while the
// workers poll it.
struct ProcessRequestParm {
  VelConfig* m_pConfig = nullptr;
  std::atomic<bool>* m_pShutdown = nullptr;
  Vel_ListRequest* m_pRequestList = nullptr;
  pthread_t m_threadId{};
  VelString m_subnode;
  OraXMLSQLData m_catalog;     // private copy
  VelAttrGroups m_attrGroups;  // private copy
};

#endif  // VEL_REQUEST_VEL_LISTREQUEST_H
