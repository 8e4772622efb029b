// Events of the program itself (start-up failures, overload, missing privileges, Oracle errors,
// configuration conflicts): one row of the Agent_Event attribute group, sent unsolicited over the
// agent link with a suggestion looked up by event id or Oracle error number.
#ifndef VEL_COLLECT_VEL_POSTEVENT_H
#define VEL_COLLECT_VEL_POSTEVENT_H

class Ora_ErrorMsg;

// The name of the event group. Registered with itself as handle: events are sent with this very
// pointer, so whoever registers the group must pass kAgentEventGroup (not an equal text).
extern const char kAgentEventGroup[];

// Static functions only. Every post fills the seven values (severity, category, subnode, event
// id or Oracle error, message, detail, suggestion) and sends them under gMutexSend, which the
// caller must therefore not hold. The result of the send is not examined.
class Vel_PostEvent {
 public:
  // Suggestion texts by event id and by Oracle error number; null when there is none.
  static const char* getAgentSuggestion(int eventId);
  static const char* getOraSuggestion(int oracleError);

  // severity 1 = error, 2 = warning; category null means "Agent". The message is converted to
  // UTF-8 (at most 512 bytes).
  static void postAgentEvent(int severity, const char* subnode, const char* message,
                             const int eventId, const char* category);
  // Severity 2 for a warning status (1), else 1; category null means "Oracle"; detail at most 84
  // bytes; suggestion at most 384 bytes, null for the table's text for the error number.
  // Defined in src/oci (Ora_OCIEnv.cpp) with the error record: callers link the database access.
  static void postOraEvent(const Ora_ErrorMsg& error, const char* subnode, const char* detail,
                           const char* category, const char* suggestion);
  // The same from the parts of an error record.
  static void postOraEvent(int status, int oracleError, const char* message, const char* subnode,
                           const char* detail, const char* category, const char* suggestion);
  // A connection name too long for a unique subnode name.
  static void postConfigErrorInfo(const char* connectionName, const char* subnode,
                                  const int eventId);
  // For failures before the program's link is open: opens a link of its own, registers
  // Monitored_Databases, Database_Information and Agent_Event and sends the event. It leaves
  // that link open; the caller closes it.
  static void postStartFailureEvent(const char* message, int eventId);
  // Sends the seven values as one Agent_Event row, holding gMutexSend.
  static void sendEventData(const char** values);
};

#endif  // VEL_COLLECT_VEL_POSTEVENT_H
