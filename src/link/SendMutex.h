// The process-wide send mutex. Whoever builds and sends a response, an event or a task result on
// the agent link holds it from the first row to the final send, so that messages never
// interleave on the socket. Not recursive: nothing posts an event while holding it. Inside it
// only the link's outstanding lock and the configuration's mutex may be taken.
#ifndef VEL_LINK_SENDMUTEX_H
#define VEL_LINK_SENDMUTEX_H

#include "VelMutex.h"

extern VelMutex gMutexSend;

#endif  // VEL_LINK_SENDMUTEX_H
