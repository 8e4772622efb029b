// Pieces of the link session shared by its own sources (cp_session.cpp: the session, its
// registrations and per-thread buffers; cp_messages.cpp: what the collector sends;
// cp_incoming.cpp: what it receives), the tests and the fuzz target. Lock order: the session's
// lock and the buffer registry's lock are never held together; both are innermost.
#ifndef VEL_LINK_CP_INTERNAL_H
#define VEL_LINK_CP_INTERNAL_H

#include <pthread.h>

#include <atomic>

#include "ClientRequestXMLHandler.h"
#include "ClientSocket.h"
#include "HOZString.h"
#include "HashMap.h"
#include "PEB1.h"
#include "cp_api.h"

// One registered attribute group.
struct AttrGroupReg {
  char* name;  // owned copy
  int version;
  const void* handle;
  pthread_key_t bufferKey;  // per thread: that thread's HOZ::String* message buffer for the group
};

// What to do with a parsed message.
enum class IncomingAction {
  kReturn,      // hand the record to the caller
  kConnection,  // a connection message: *connectionId holds its id; wait for the next message
  kWait,        // ignored: wait for the next message
};

// Turns what the handler collected into the record, looking groups up in groups (name ->
// AttrGroupReg*, may be null). text is the received message, for the trace of unrecognised
// messages. For a connection message *connectionId receives its id; for a data request
// *dataGroup (when given) receives the group's registration. The filter entries are appended to
// the record whatever the outcome. Allocation failures leave fields null; nothing here
// dereferences a missing attribute.
IncomingAction cpBuildRequest(const ClientRequestXMLHandler& handler, const HashMap* groups,
                              Request* record, const char* text, int* connectionId,
                              AttrGroupReg** dataGroup = nullptr);

// A new record with every field empty; null when it could not be allocated.
Request* cpNewRequest();

// Message builders (append to out). Values are escaped; ids, names and subnodes are not.
void buildInstanceXMLSegment(HOZ::String* out, const char** values, int count);
void buildActionXMLSegment(HOZ::String* out, const char** outputs, int outputCount,
                           const char** instances, int instanceCount);

namespace cplink {

// One link session per process.
struct Session {
  int port = -1;
  std::atomic<int> state{CLOSED_STATE};
  bool multiThreaded = false;
  HashMap* groups = nullptr;       // name -> AttrGroupReg*; written only before other threads
  HashMap* outstanding = nullptr;  // id -> AttrGroupReg* (data) or the key itself (task);
                                   // guarded by lock
  // Guards outstanding and requestCounter. Never destroyed, so that it stays usable when the
  // link is closed and opened again.
  PEB1_Lock lock;
  ClientSocket* socket = nullptr;
  int initialSize = 4096;
  int growthPercent = 100;
  int requestCounter = 0;  // guarded by lock
  std::atomic<int> clientIndex{0x10000000};
  unsigned retryPause = 2;
  int maxMessage = ClientSocket::kDefaultMaxMessage;
};
// The session of this process (cp_session.cpp).
extern Session g;

// Holds a PEB1 lock for its scope.
class LockGuard {
 public:
  explicit LockGuard(PEB1_Lock* lock) : m_lock(lock) { PEB1_GetLock(m_lock); }
  ~LockGuard() { PEB1_ReleaseLock(m_lock); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  PEB1_Lock* m_lock;
};

// Sizes of the senders' buffers: each value costs its length plus the markup around it; a
// message reserves room for its head and tail beyond the values; no reservation is larger than
// the largest message a buffer may hold.
constexpr int kValueMarkup = 18;
constexpr int kMessageMarkup = 640;
constexpr int kMaxReserve = 0x3FFFFFFF;

// True in the expected state; else traces the illegal state and returns false.
bool checkState(int expected);
// The registration of an outstanding data request, or null (traced) when the id is not
// outstanding or belongs to a task request.
AttrGroupReg* outstandingGroup(const char* requestId);
// Removes the id from the outstanding requests; false when it was not there.
bool retireId(const char* requestId);
// The calling thread's buffer for the group, created on first use; null when out of memory.
HOZ::String* threadBuffer(AttrGroupReg* reg);
// Deletes the calling thread's buffer for the group.
void dropThreadBuffer(AttrGroupReg* reg);
// Writes one message on the session's socket; false when it could not.
bool writeMessage(HOZ::String* message);
// Appends text with the XML entities substituted.
void appendEscaped(HOZ::String* out, const char* text);
// Frees everything a record points to and empties it (the record itself stays).
void freeRequestFields(Request* r);

}  // namespace cplink

#endif  // VEL_LINK_CP_INTERNAL_H
