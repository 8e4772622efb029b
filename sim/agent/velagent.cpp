// velagent: plays the agent's side of the link for the demo, the tests and operators.
// Usage is printed by --help; the request language is described in sim/agent/README.md.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "AgentScript.h"
#include "AgentSim.h"

namespace {

const char kUsage[] =
    "usage: velagent [--port N] [--start PROGRAM [--env NAME=VALUE]... [--log FILE]]\n"
    "                [--script FILE | --console] [--format table|json]\n"
    "                [--timeout MS] [--exit-timeout MS]\n"
    "\n"
    "  --port N          listen on 127.0.0.1 port N (0, the default: any free port; the port\n"
    "                    is printed first)\n"
    "  --start PROGRAM   start PROGRAM without arguments, CP_PORT and the --env settings in its\n"
    "                    environment; otherwise wait for a client to connect\n"
    "  --env NAME=VALUE  add or replace a variable of the started program's environment\n"
    "  --log FILE        append the started program's output to FILE (default: inherited)\n"
    "  --script FILE     run the requests of FILE, one a line\n"
    "  --console         read the requests from standard input (the default), prompting on\n"
    "                    a terminal\n"
    "  --format F        print answers and events as tables (default) or as JSON lines\n"
    "  --timeout MS      bound of every wait: connection, registration, answers (default\n"
    "                    30000)\n"
    "  --exit-timeout MS after the requests, how long to wait for the started program to exit\n"
    "                    once the link is closed (default 10000; then it is killed)\n"
    "\n"
    "Exit status: 0 when every request was answered, the link carried no protocol violation\n"
    "and a started program exited with 0; 1 otherwise; 2 for a usage error.\n";

int usageError(const std::string& text) {
  std::cerr << "velagent: " << text << "\n" << kUsage;
  return 2;
}

bool toInt(const char* text, int lo, int hi, int& out) {
  errno = 0;
  char* end = nullptr;
  long v = strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || errno != 0 || v < lo || v > hi) return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  int timeoutMs = 30000;
  int exitTimeoutMs = 10000;
  std::string program;
  std::string scriptPath;
  bool console = false;
  velagent::Format format = velagent::Format::kTable;
  velagent::ClientOptions options;

  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char** out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    const char* v = nullptr;
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (a == "--port") {
      if (!value(&v) || !toInt(v, 0, 65535, port)) return usageError("--port needs 0..65535");
    } else if (a == "--start") {
      if (!value(&v)) return usageError("--start needs a program");
      program = v;
    } else if (a == "--env") {
      if (!value(&v) || strchr(v, '=') == nullptr || *v == '=') {
        return usageError("--env needs NAME=VALUE");
      }
      options.env.push_back(v);
    } else if (a == "--log") {
      if (!value(&v)) return usageError("--log needs a file");
      options.logPath = v;
    } else if (a == "--script") {
      if (!value(&v)) return usageError("--script needs a file");
      scriptPath = v;
    } else if (a == "--console") {
      console = true;
    } else if (a == "--format") {
      if (!value(&v)) return usageError("--format needs table or json");
      if (strcmp(v, "table") == 0) {
        format = velagent::Format::kTable;
      } else if (strcmp(v, "json") == 0) {
        format = velagent::Format::kJson;
      } else {
        return usageError("--format needs table or json");
      }
    } else if (a == "--timeout") {
      if (!value(&v) || !toInt(v, 0, INT_MAX, timeoutMs)) return usageError("bad --timeout");
    } else if (a == "--exit-timeout") {
      if (!value(&v) || !toInt(v, 0, INT_MAX, exitTimeoutMs)) {
        return usageError("bad --exit-timeout");
      }
    } else {
      return usageError("unknown argument " + a);
    }
  }
  if (console && !scriptPath.empty())
    return usageError("--script and --console exclude each other");
  if (program.empty() && (!options.env.empty() || !options.logPath.empty())) {
    return usageError("--env and --log need --start");
  }

  std::ifstream script;
  if (!scriptPath.empty()) {
    script.open(scriptPath);
    if (!script) {
      std::cerr << "velagent: cannot read " << scriptPath << "\n";
      return 1;
    }
  }

  velagent::AgentSim sim;
  velagent::Printer printer(std::cout, format);
  if (!sim.listen(port)) {
    std::cerr << "velagent: cannot listen on port " << port << ": " << sim.lastError() << "\n";
    return 1;
  }
  printer.listening(sim.port());
  if (!program.empty() && !sim.startClient(program, options)) {
    std::cerr << "velagent: cannot start " << program << ": " << sim.lastError() << "\n";
    return 1;
  }

  velagent::ScriptRunner runner(sim, printer, std::cerr, timeoutMs);
  if (!scriptPath.empty()) {
    runner.runStream(script, nullptr, nullptr);
  } else {
    bool tty = isatty(0) != 0;
    runner.runStream(std::cin, tty ? "velagent> " : nullptr, tty ? &std::cerr : nullptr);
  }

  // Closing the link ends the client's wait for requests; a started client then exits.
  if (sim.connected()) {
    sim.closeClient();
    printer.note("closed", "the agent closed the connection");
  }
  runner.flush();
  bool ok = runner.failures() == 0 && runner.violationCount() == 0;
  if (!program.empty()) {
    int code = sim.waitClientExit(exitTimeoutMs);
    if (code < 0) {
      sim.killClient();
      std::cerr << "velagent: the client did not exit within " << exitTimeoutMs
                << " ms and was killed\n";
      ok = false;
    } else {
      if (!runner.exitShown()) printer.exitCode(code);
      ok = ok && code == 0;
    }
  }
  return ok ? 0 : 1;
}
