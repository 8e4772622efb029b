#include "Vel_PostEvent.h"

#include <cstdio>
#include <cstring>
#include <map>

#include "MUT1.h"
#include "SendMutex.h"
#include "VelEncoding.h"
#include "cp_api.h"

VEL_TRACE_UNIT("postevent");

const char kAgentEventGroup[] = "Agent_Event";

namespace {

const char kMonitoredDatabases[] = "Monitored_Databases";
const char kDatabaseInformation[] = "Database_Information";

// Field widths of the row, terminator included.
constexpr size_t kNumberSize = 10;
constexpr size_t kCategorySize = 13;
constexpr size_t kMessageSize = 513;
constexpr size_t kDetailSize = 85;
constexpr size_t kSuggestionSize = 385;

// Built once, on first use (thread-safe static initialisation), alive until the process ends.
const std::map<int, const char*>& agentSuggestions() {
  static const std::map<int, const char*>* table = new std::map<int, const char*>{
      {1000, "Make the DB connection name shorter."},
      {1001,
       "Make sure the Oracle Home Directory or Oracle Instant Client Installation Directory is "
       "configured correctly."},
      {1005,
       "Set environment variable VEL_CHECK_PRIVILEGE_EVENT_COUNT, which should be no less than "
       "1, to define how many pieces of Check Privilege Event that will be posted."},
      {1006, "The database connection is slow or hang, restart agent to make re-connection"},
  };
  return *table;
}

const std::map<int, const char*>& oraSuggestions() {
  static const std::map<int, const char*>* table = new std::map<int, const char*>{
      {12541, "Make sure the Oracle listener is started."},
      {12514, "Make sure the connection string is right and the Oracle Database is started."},
      {942,
       "Make sure the tables or views exist; Contact DBA and run the velgrant.sql to grant the "
       "user select privilege on the tables or views."},
      {1017, "Make sure the username and the password are correct."},
      {1045, "Contact DBA and run the velgrant.sql to grant enough privilege to the user."},
  };
  return *table;
}

// Zero-filled fixed field, then a bounded copy: longer texts are cut.
template <size_t N>
void setField(char (&field)[N], const char* text) {
  memset(field, 0, N);
  if (text) memcpy(field, text, strnlen(text, N - 1));
}

template <size_t N>
void setNumber(char (&field)[N], int value) {
  memset(field, 0, N);
  snprintf(field, N, "%d", value);
}

// The message in UTF-8, at most kMessageSize - 1 bytes. A text too long for the field is cut
// before converting (a conversion that does not fit fails as a whole); if the conversion still
// fails, the bytes are sent as they are rather than losing the message.
void convertMessage(char (&field)[kMessageSize], const char* message) {
  memset(field, 0, kMessageSize);
  if (!message || !*message) return;
  int length = static_cast<int>(strnlen(message, kMessageSize - 1));
  for (int attempt = 0; attempt < 3 && length > 0; ++attempt) {
    if (ConvertStrToUTF8(message, length, field, static_cast<int>(kMessageSize), 0) > 0) return;
    length /= 2;
  }
  setField(field, message);
}

int registerGroup(const char* name) {
  int rc = cp_RegisterAttrGroup(name, 1, name);
  if (rc != 0) VEL_ERROR("cp_RegisterAttrGroup: handle is: %s, failed: %d", name, rc);
  return rc;
}

}  // namespace

const char* Vel_PostEvent::getAgentSuggestion(int eventId) {
  auto it = agentSuggestions().find(eventId);
  return it == agentSuggestions().end() ? nullptr : it->second;
}

const char* Vel_PostEvent::getOraSuggestion(int oracleError) {
  auto it = oraSuggestions().find(oracleError);
  return it == oraSuggestions().end() ? nullptr : it->second;
}

void Vel_PostEvent::sendEventData(const char** values) {
  VelMutexHandler hold(gMutexSend);
  int rc = cp_SendEventData(values, 7, kAgentEventGroup);
  VEL_DETAIL("Agent event sent, result %d", rc);
}

void Vel_PostEvent::postAgentEvent(int severity, const char* subnode, const char* message,
                                   const int eventId, const char* category) {
  VEL_FLOW_ENTRY("Vel_PostEvent::postAgentEvent");
  char severityText[kNumberSize], categoryText[kCategorySize], subnodeText[kMessageSize],
      idText[kNumberSize], messageText[kMessageSize], detailText[kDetailSize],
      suggestionText[kSuggestionSize];
  setNumber(severityText, severity);
  setField(categoryText, category ? category : "Agent");
  setField(subnodeText, subnode);
  setNumber(idText, eventId);
  convertMessage(messageText, message);
  setField(detailText, nullptr);
  setField(suggestionText, getAgentSuggestion(eventId));
  const char* values[7] = {severityText, categoryText, subnodeText,   idText,
                           messageText,  detailText,   suggestionText};
  sendEventData(values);
}

void Vel_PostEvent::postOraEvent(int status, int oracleError, const char* message,
                                 const char* subnode, const char* detail, const char* category,
                                 const char* suggestion) {
  VEL_FLOW_ENTRY("Vel_PostEvent::postOraEvent");
  char severityText[kNumberSize], categoryText[kCategorySize], subnodeText[kMessageSize],
      idText[kNumberSize], messageText[kMessageSize], detailText[kDetailSize],
      suggestionText[kSuggestionSize];
  setField(severityText, status == 1 ? "2" : "1");
  setField(categoryText, category ? category : "Oracle");
  setField(subnodeText, subnode);
  setNumber(idText, oracleError);
  setField(messageText, message);
  setField(detailText, detail);
  setField(suggestionText, suggestion ? suggestion : getOraSuggestion(oracleError));
  const char* values[7] = {severityText, categoryText, subnodeText,   idText,
                           messageText,  detailText,   suggestionText};
  sendEventData(values);
}

void Vel_PostEvent::postConfigErrorInfo(const char* connectionName, const char* subnode,
                                        const int eventId) {
  char name[65];
  setField(name, connectionName);
  char message[kMessageSize];
  snprintf(message, sizeof message,
           "Error - DB Connection '%s' can't be added. The length of its name exceeds 25, and it "
           "should be truncated in the subnode name. While subnode '%s' has already existed.",
           name, subnode ? subnode : "");
  char severityText[kNumberSize], categoryText[kCategorySize], idText[kNumberSize],
      detailText[kDetailSize], suggestionText[kSuggestionSize];
  setField(severityText, "1");
  setField(categoryText, "Agent Config");
  setNumber(idText, eventId);
  setField(detailText, nullptr);
  setField(suggestionText, getAgentSuggestion(eventId));
  const char* values[7] = {severityText, categoryText,  "", idText, message,
                           detailText,   suggestionText};
  sendEventData(values);
}

void Vel_PostEvent::postStartFailureEvent(const char* message, int eventId) {
  VEL_FLOW_ENTRY("Vel_PostEvent::postStartFailureEvent");
  char property[] = "CP_MULTITHREADED=YES";
  char* properties[] = {property};
  int rc = cp_OpenConnectionWithProperties(properties, 1);
  if (rc != 0) {
    VEL_ERROR("cp_OpenConnection failed: %d", rc);
    return;
  }
  if (registerGroup(kMonitoredDatabases) != 0 || registerGroup(kDatabaseInformation) != 0 ||
      registerGroup(kAgentEventGroup) != 0) {
    cp_CloseConnection();
    return;
  }
  rc = cp_RegistrationComplete();
  if (rc != 0) {
    VEL_ERROR("cp_RegistrationComplete: failed: %d", rc);
    cp_CloseConnection();
    return;
  }
  char idText[kNumberSize], messageText[kMessageSize], suggestionText[kSuggestionSize];
  setNumber(idText, eventId);
  setField(messageText, message);
  setField(suggestionText, getAgentSuggestion(eventId));
  const char* values[7] = {"1", "Agent", "", idText, messageText, "", suggestionText};
  sendEventData(values);
}
