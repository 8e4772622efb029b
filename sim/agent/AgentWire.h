// The agent side of the link's wire format: the messages velagent writes and a strict reader of
// the messages the collector writes.
//
// Every message, in both directions, is one line of XML ending with '>' and a line feed. The
// reader here is deliberately strict: it accepts only what a correct collector writes (double-
// quoted attributes, the six special bytes escaped, no text between elements, no declaration),
// so that velagent doubles as a checker of the collector's side of the link.
#ifndef VEL_SIM_AGENT_AGENTWIRE_H
#define VEL_SIM_AGENT_AGENTWIRE_H

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velagent {

// ---------------------------------------------------------------------------------------------
// Outgoing (agent -> collector)

// One requestInfo element of a data request. Absent attributes are not written.
struct RequestInfoItem {
  std::string name;
  std::string value;
  std::string op;
  std::string logOp;
  bool hasValue = true;
  bool hasOp = true;
  bool hasLogOp = true;
};

// Escapes the bytes '&', '<', '>', '"', ''', line feed and carriage return for an attribute
// value, so that the message stays one line.
std::string escapeAttr(std::string_view text);

// Each builder returns the complete message including its final line feed. An empty subnode or
// requestStartedID means the attribute is not written.
std::string buildDataRequest(const std::string& id, const std::string& requestStartedId,
                             const std::string& subnode, const std::string& group,
                             const std::vector<RequestInfoItem>& items);
std::string buildTaskRequest(const std::string& id, const std::string& subnode,
                             const std::string& command, const std::string& user, bool hasUser);
std::string buildStartRequest(const std::string& requestStartedId, const std::string& group,
                              const std::string& subnode);
std::string buildStopRequest(const std::string& requestStartedId, const std::string& group,
                             const std::string& subnode, bool shuttingDown);
std::string buildShutdown();
std::string buildConnection(int id);
// The agent's answer to a request the collector sent itself; rc != 0 adds an error element.
std::string buildDataResponse(const std::string& id, const std::string& group,
                              const std::vector<std::vector<std::string>>& rows, int rc);

// ---------------------------------------------------------------------------------------------
// Incoming (collector -> agent)

// One element of a parsed message; attribute values are decoded.
struct XmlElement {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attrs;
  std::vector<XmlElement> children;
  // The value of the attribute, or null when it is absent.
  const std::string* attr(std::string_view attrName) const;
};

struct XmlParseResult {
  bool ok = false;    // one well-formed root element (end-tag names aside, see below)
  std::string error;  // why not, when !ok
  XmlElement root;    // valid when ok
  // An end tag whose name differs from the element it closes does not stop the parse; the first
  // such case is described here ("</x> closes <y>") and left to the caller to judge.
  std::string endTagMismatch;
};

// Parses one message (the line without its line feed).
XmlParseResult parseXmlLine(std::string_view line);

using Row = std::vector<std::string>;

struct RegisteredGroup {
  std::string name;
  int version = 0;
};

struct Registration {
  std::string version;  // the ver attribute of cpciRegister
  bool threaded = false;
  std::vector<RegisteredGroup> groups;  // in message order
  std::string raw;
};

// A data response to one of the agent's requests: rows, or an error code.
struct DataAnswer {
  std::string id;
  std::string group;
  bool isError = false;
  int rc = 0;
  std::vector<Row> rows;
  std::string raw;
  size_t seq = 0;  // arrival order among all messages, set by AgentSim
};

// An unsolicited event: one row, or an error code.
struct Event {
  bool hasSubnode = false;
  std::string subnode;
  std::string group;
  bool isError = false;
  int rc = 0;
  std::vector<Row> rows;
  std::string raw;
  size_t seq = 0;  // arrival order among all messages, set by AgentSim
};

struct TaskOutput {
  std::string value;
  bool hasInst = false;
  std::string inst;
};

struct TaskAnswer {
  std::string id;
  int rc = 0;
  std::vector<TaskOutput> outputs;
  std::string raw;
  size_t seq = 0;  // arrival order among all messages, set by AgentSim
};

// A data request the collector sends to the agent.
struct ClientRequest {
  std::string id;
  bool hasSubnode = false;
  std::string subnode;
  std::string group;
  std::vector<RequestInfoItem> items;
  std::string raw;
  size_t seq = 0;  // arrival order among all messages, set by AgentSim
};

enum class MessageKind {
  kInvalid,
  kRegistration,
  kDataAnswer,
  kEvent,
  kTaskAnswer,
  kClientRequest
};

// One incoming message, interpreted. Only the member matching kind is filled. problems lists
// every way in which the message departs from the wire format; a message of a known kind may
// still carry problems (then its members hold what could be read).
struct Incoming {
  MessageKind kind = MessageKind::kInvalid;
  Registration registration;
  DataAnswer data;
  Event event;
  TaskAnswer task;
  ClientRequest request;
  std::vector<std::string> problems;
};

// Interprets one message line (without its line feed).
Incoming interpretMessage(std::string_view line);

const char* kindName(MessageKind kind);

}  // namespace velagent

#endif  // VEL_SIM_AGENT_AGENTWIRE_H
