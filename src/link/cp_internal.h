// Pieces of the link session shared by its own sources, the tests and the fuzz target.
#ifndef VEL_LINK_CP_INTERNAL_H
#define VEL_LINK_CP_INTERNAL_H

#include <pthread.h>

#include "ClientRequestXMLHandler.h"
#include "HOZString.h"
#include "HashMap.h"
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

#endif  // VEL_LINK_CP_INTERNAL_H
