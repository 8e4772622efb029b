// velclient entry: started by the agent without arguments it serves the agent; started with
// arguments it is a diagnostic command line.
#include <unistd.h>

#include "MUT1.h"
#include "VelStartup.h"

int main(int argc, char** argv) {
  MUT1_InstallSighup();
  velTraceEnvironment(environ);
  (void)argv;
  return velIsAgentMode(argc) ? 0 : 0;
}
