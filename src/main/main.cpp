// velclient entry: started by the agent without arguments it serves the agent; started with
// arguments it is a diagnostic command line.
#include "MUT1.h"
#include "VelMain.h"

int main(int argc, char** argv) {
  MUT1_InstallSighup();
  return velMain(argc, argv);
}
