// velagent's request language (one request a line; sim/agent/README.md describes it), its
// runner, and the printing of answers and events as tables or JSON.
#ifndef VEL_SIM_AGENT_AGENTSCRIPT_H
#define VEL_SIM_AGENT_AGENTSCRIPT_H

#include <cstddef>
#include <istream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "AgentSim.h"
#include "AgentWire.h"

namespace velagent {

enum class Format { kTable, kJson };

// Prints everything velagent shows, in one of the two formats. JSON is one object per line.
class Printer {
 public:
  Printer(std::ostream& out, Format format) : m_out(out), m_format(format) {}

  void listening(int port);
  void registration(const Registration& reg);
  void answer(const std::string& subnode, const Answer& a);
  void task(const std::string& subnode, const std::string& command, const TaskResult& t);
  void event(const Event& e);
  void clientRequest(const ClientRequest& r);
  void unclaimed(const DataAnswer& a);
  // A line of information: what happened to the connection or the process.
  void note(const std::string& kind, const std::string& text);
  // A line of the script's own (a heading): as it is in tables, an echo object in JSON.
  void echo(const std::string& text);
  void exitCode(int code);
  void help();
  // Names the columns of the group's rows in tables and JSON (the wire carries no names).
  void setColumns(const std::string& group, const std::vector<std::string>& names);

 private:
  void table(const std::vector<Row>& rows);
  std::vector<std::string> header(const std::string& group) const;
  std::string jsonRows(const std::string& group, const std::vector<Row>& rows) const;
  std::ostream& m_out;
  Format m_format;
  std::map<std::string, std::vector<std::string>> m_columns;
};

// Text for one table cell: control bytes shown as \n, \r, \t or \xHH, cut to maxChars characters.
std::string cellText(const std::string& value, size_t maxChars);
// A JSON string literal; bytes that are not valid UTF-8 become U+FFFD.
std::string jsonString(const std::string& value);

// One parsed line of the request language.
struct Command {
  enum Kind {
    kNone,  // blank line or comment
    kData,
    kTask,
    kStart,
    kStop,
    kConnection,
    kShutdown,
    kRaw,
    kSleep,
    kEvents,
    kRegistration,
    kTimeout,
    kClose,
    kWaitClose,
    kWaitExit,
    kColumns,
    kHelp,
    kEcho,
    kAppend,
  };
  Kind kind = kNone;
  std::string group;
  std::string subnode;  // empty: not written
  std::string requestStartedId;
  std::vector<RequestInfoItem> items;
  std::string text;                // task command, raw bytes, echo text, appended line
  std::string file;                // append: the file
  std::vector<std::string> names;  // columns
  std::string user;
  bool hasUser = false;
  bool flag = false;  // stop: shutting down; raw: no line feed appended (rawpart)
  long number = -1;   // connection id, milliseconds, event count; -1 when not given
};

// The summary of the request language printed by the help command.
extern const char kCommandHelp[];

// Parses one line. False with a message in *error for a line that is not understood.
bool parseCommand(const std::string& line, Command& cmd, std::string* error);

// Runs request lines against an AgentSim and prints what comes back.
class ScriptRunner {
 public:
  // timeoutMs bounds every wait of a command (connection, registration, answers, events).
  ScriptRunner(AgentSim& sim, Printer& printer, std::ostream& err, int timeoutMs);

  // Runs one line; false when it failed (the reason is written to err).
  bool runLine(const std::string& line);
  // Runs every line of the stream; with a prompt, prompts before each (console). Returns the
  // number of failed lines.
  int runStream(std::istream& in, const char* prompt, std::ostream* promptOut);
  // Prints events, stray answers and violations that arrived since the last command.
  void flush();
  // Whether a wait-exit line has printed the started client's exit code.
  bool exitShown() const { return m_exitShown; }

  int failures() const { return m_failures; }
  size_t violationCount() const { return m_violationsShown; }

 private:
  bool execute(const Command& cmd);
  bool ensureRegistered();
  bool fail(const std::string& text);
  // Prints the events and client requests that arrived before message seq.
  void flushBefore(size_t seq);

  AgentSim& m_sim;
  Printer& m_printer;
  std::ostream& m_err;
  int m_timeoutMs;
  int m_lineNo = 0;
  int m_failures = 0;
  bool m_registrationShown = false;
  size_t m_eventsShown = 0;
  size_t m_requestsShown = 0;
  size_t m_violationsShown = 0;
  bool m_exitShown = false;
};

}  // namespace velagent

#endif  // VEL_SIM_AGENT_AGENTSCRIPT_H
