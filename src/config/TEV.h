// Host-name service of the agent runtime (TEV).
#ifndef VEL_CONFIG_TEV_H
#define VEL_CONFIG_TEV_H

extern "C" {

// The local host name as gethostname gives it, cut at its first '.'. Worked out once per
// process; the text lives until the process ends. Null when the name cannot be obtained or is
// empty.
const char* TEV_GetHostname();

}  // extern "C"

#endif  // VEL_CONFIG_TEV_H
