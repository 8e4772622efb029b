#include "SendMutex.h"

// Constructed during static initialisation, destroyed at process exit.
VelMutex gMutexSend;
