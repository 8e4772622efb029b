#include "OraNetCheck.h"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "MUT1.h"
#include "Ora_Database.h"
#include "PEB1.h"
#include "VelConfig.h"
#include "VelEncoding.h"
#include "VelUtil.h"

VEL_TRACE_UNIT("oranet");

namespace {

constexpr int kDefaultInterval = 300;
constexpr int kListenerKnowsNoService = 12514;
constexpr int kConnectTimeout = 12170;
constexpr unsigned kMaxMessage = 255;
// How long one tnsping run may take (our own bound; the tool normally answers within its
// connect time-out): VEL_TNSPING_TIMEOUT seconds, 30 by default.
constexpr int kDefaultTnspingTimeout = 30;

bool stopping(const std::atomic<bool>* flag) { return flag != nullptr && flag->load(); }

// ORACLE_HOME for tnsping and for the client in this process, set once per value through the
// environment lock (the value given to setenv stays allocated).
void setOracleHome(const char* home) {
  const char* have = PEB1_GetEnv("ORACLE_HOME", nullptr);
  if (have != nullptr && strcmp(have, home) == 0) return;
  std::string entry = std::string("ORACLE_HOME=") + home;
  if (PEB1_PutEnv(entry.c_str()) != 0) {
    VEL_ERROR("Set environment variable of ORACLE_HOME is not success.");
    VEL_ERROR("User need to set environment variable of ORACLE_HOME before agent startup.");
  }
}

// Runs tnsping on descriptor and reads its result.
int runTnsping(const VelString& tnsping, const VelString& descriptor, VelString& message) {
  setOracleHome(PEB1_GetEnv("VEL_ORACLE_HOME", ""));
  std::string command = std::string(tnsping.c_str()) + " " + descriptor.c_str();
  VelString out;
  VelString err;
  const int timeout = vel_getEnvAsInt("VEL_TNSPING_TIMEOUT", kDefaultTnspingTimeout);
  bool timedOut = false;
  if (!velExecuteSystemCommand(command.c_str(), out, err, timeout > 0 ? timeout * 1000 : 0,
                               &timedOut))
    VEL_ERROR("Command %s could not be run", command.c_str());
  VEL_DETAIL("Command execution Standard Output: %s", out.c_str());
  VEL_DETAIL("Command execution Standard Error Output: %s", err.c_str());
  int code = 0;
  if (timedOut) {
    // A tnsping that had to be stopped did not reach the listener in time: reported as the
    // connect time-out rather than read as an empty (successful) answer.
    char text[96];
    snprintf(text, sizeof text, "tnsping did not answer within %d seconds", timeout);
    message.assign(text);
    return kConnectTimeout;
  }
  velParseTnspingOutput(out.c_str(), code, message);
  return code;
}

// The agent's time stamp of a check, empty for an entry never checked.
void checkTime(const OraNetConnStatus& status, char* out) {
  out[0] = 0;
  if (status.m_checkTime != 0) time2ct(static_cast<time_t>(status.m_checkTime), out);
}

// The frame of both threads: a cycle one second after start, then every interval seconds counted
// from the end of the previous one, until the stop flag is set.
template <typename Cycle>
void checkLoop(const std::atomic<bool>* stop, int interval, Cycle cycle) {
  int count = 0;
  bool first = true;
  while (!stopping(stop)) {
    PEB1_Sleep(1);
    if (stopping(stop)) break;
    if (first || ++count >= interval) {
      first = false;
      count = 0;
      cycle();
    }
  }
}

}  // namespace

int velNetCheckInterval(const char* name) {
  const char* value = getenv(name);
  if (value == nullptr || *value == 0) return kDefaultInterval;
  return atoi(value);
}

void velMakeDynamicListener(OraListenerInfo& info) {
  const char* host = VelConfig::getHostName();
  info.m_listenerName.assign("DYNAMIC_LISTENER");
  info.m_fileName.assign("DYNAMIC_LISTENER");
  info.m_protocol.assign("TCP");
  info.m_address.assign("(PROTOCOL=TCP)(HOST=127.0.0.1)(PORT=1521)");
  info.m_port.assign("1521");
  info.m_host.assign(host != nullptr && *host != 0 ? host : "127.0.0.1");
  info.m_fileTime = static_cast<int32_t>(time(nullptr));
}

bool velFindTnsping(VelString& path) {
  path.clear();
  const char* home = PEB1_GetEnv("VEL_ORACLE_HOME", nullptr);
  if (home == nullptr || *home == 0) return false;
  path.assign((std::string(home) + "/bin/tnsping").c_str());
  VEL_DETAIL("Start checking if file (%s) exist.", path.c_str());
  FILE* file = fopen(path.c_str(), "r");
  if (file == nullptr) {
    VEL_DETAIL("Oracle TNSPING File (%s) does not exist.", path.c_str());
    return false;
  }
  fclose(file);
  return true;
}

void velListenerDescriptor(const OraListenerInfo& info, bool forTnsping, VelString& out) {
  std::string text;
  if (forTnsping) {
    text = std::string("(DESCRIPTION=(ADDRESS=") + info.m_address.c_str() + "))";
  } else {
    const char* service = PEB1_GetEnv("VEL_DEFAULT_ORACLE_SERVICE_NAME", nullptr);
    if (service != nullptr && *service != 0)
      VEL_DETAIL("Use Oracle Service Name: %s", service);
    else
      service = "orcl";
    text = std::string("(DESCRIPTION=(CONNECT_DATA=(SERVICE_NAME=") + service +
           "))(ADDRESS=" + info.m_address.c_str() + "))";
  }
  out.assign(text.c_str());
}

void velParseTnspingOutput(const char* output, int& code, VelString& message) {
  code = 0;
  message.clear();
  if (output == nullptr) return;
  std::string text;
  if (const char* tns = strstr(output, "TNS-")) {
    char digits[6] = {};
    vel_strncpy(digits, tns + 4, sizeof digits);
    code = atoi(digits);
    text.assign(tns, strnlen(tns, kMaxMessage));
    VEL_DETAIL("Listener TNSPING error message: %s", text.c_str());
    VEL_DETAIL("Listener TNSPING error code is (%d)", code);
  } else if (const char* ok = strstr(output, "OK")) {
    text.assign(ok, strnlen(ok, kMaxMessage));
    VEL_DETAIL("Listener TNSPING success message: %s", text.c_str());
  }
  // The tool ends its lines with a line break; the row value does not carry it.
  while (!text.empty() && velisWhiteSpace(text.back())) text.pop_back();
  message.assign(text.c_str());
}

int velTestDescriptor(const char* descriptor, VelString& message) {
  Ora_DatabaseConnection connection;
  Ora_ErrorMsg error;
  error.clear();
  const int rc = connection.testConnection(descriptor, error);
  // The error text ends in a line break turned blank; the row value does not carry it.
  std::string text(error.getMessage());
  while (!text.empty() && velisWhiteSpace(text.back())) text.pop_back();
  message.assign(text.c_str());
  return rc != 0 ? rc : error.getErrorCode();
}

int velCheckListener(const OraListenerInfo& info, VelString& message) {
  message.clear();
  VelString tnsping;
  const bool haveTnsping = velFindTnsping(tnsping);
  VelString descriptor;
  velListenerDescriptor(info, haveTnsping, descriptor);
  VEL_DETAIL("Start checking %s, conn string is:%s", info.m_listenerName.c_str(),
             descriptor.c_str());
  const char* useTnsping = PEB1_GetEnv("VEL_USE_ORACLE_TNSPING", nullptr);
  int code;
  if (haveTnsping && (useTnsping == nullptr || velstricmp(useTnsping, "FALSE") != 0))
    code = runTnsping(tnsping, descriptor, message);
  else
    code = velTestDescriptor(descriptor.c_str(), message);
  VEL_DETAIL("End of checking %s, conn string is:%s", info.m_listenerName.c_str(),
             descriptor.c_str());
  if (code == kListenerKnowsNoService) {
    code = 0;
    message.clear();
  }
  return code;
}

namespace {

// One cycle: re-read the changed files, then test each entry of a copy of the list with
// test(entry, message) (no lock held) and store the result with store(entry).
template <typename Info, typename Parm, typename Parser, typename Test, typename Store>
void runCycle(Parm& parm, OraNetFileInfoList& files, Parser& parser, Test test, Store store) {
  for (OraNetFileInfo* file : files)
    file->m_lastTime = parser.ReadNetConfigFile(file->m_path.c_str(), file->m_lastTime);
  std::vector<Info> copy;
  {
    VelMutexHandler lock(parm.m_mutex);
    parm.m_list.forEach([&](const Info& info) { copy.push_back(info); });
  }
  for (Info& info : copy) {
    if (stopping(parm.m_pShutdown)) break;
    VelString message;
    const int code = test(info, message);
    info.m_status.setStatus(code, message.c_str());
    store(info);
  }
}

// The frame of a thread: its interval, its files, then cycles until the stop flag is set.
// prepare(parm) runs once before the first cycle.
template <typename Parser, typename Parm, typename Prepare, typename Cycle>
void* runThread(void* arg, const char* name, const char* variable, int fileType, Prepare prepare,
                Cycle cycle) {
  VEL_DETAIL("Started %s thread %x", name, static_cast<unsigned>(reinterpret_cast<uintptr_t>(arg)));
  if (arg == nullptr) return nullptr;
  Parm& parm = *static_cast<Parm*>(arg);
  const int interval = velNetCheckInterval(variable);
  if (interval < 1) {
    VEL_ERROR("Information, %s is less than 1, disable the listener checking feature", variable);
    return nullptr;
  }
  OraNetFileInfoList files;
  files.addFileInfo(fileType);
  prepare(parm);
  Parser parser(parm.m_list);
  checkLoop(parm.m_pShutdown, interval, [&] { cycle(parm, files, parser); });
  return nullptr;
}

// The texts of a status in a row.
struct StatusTexts {
  explicit StatusTexts(const OraNetConnStatus& status) {
    snprintf(state, sizeof state, "%d", status.m_state);
    snprintf(code, sizeof code, "%d", status.m_errorCode);
    checkTime(status, when);
  }
  char state[16];
  char code[16];
  char when[32];
};

}  // namespace

void velRunListenerCycle(checkListenersParm& parm, OraNetFileInfoList& files,
                         OraNetConfigListeners& parser) {
  runCycle<OraListenerInfo>(parm, files, parser, velCheckListener, [&](const OraListenerInfo& i) {
    parm.m_list.updateStatus(i.m_fileName, i.m_listenerName, i.m_address, i.m_status);
  });
}

void velRunAliasCycle(checkTNSConnectionsParm& parm, OraNetFileInfoList& files,
                      OraNetConfigTnsNames& parser) {
  runCycle<OraNetServiceInfo>(
      parm, files, parser,
      [](const OraNetServiceInfo& info, VelString& message) {
        VEL_DETAIL("Start checking %s, conn string is:%s", info.m_name.c_str(),
                   info.m_descriptor.c_str());
        const int code = velTestDescriptor(info.m_descriptor.c_str(), message);
        VEL_DETAIL("End of checking %s, conn string is:%s", info.m_name.c_str(),
                   info.m_descriptor.c_str());
        return code;
      },
      [&](const OraNetServiceInfo& i) {
        parm.m_list.updateStatus(i.m_fileName, i.m_name, i.m_status);
      });
}

void* checkListenersThreadFunc(void* arg) {
  VEL_FLOW_ENTRY("checkListenersThreadFunc");
  return runThread<OraNetConfigListeners, checkListenersParm>(
      arg, "checkListenersThreadFunc", "VEL_LISTENER_PING_INTERVAL", OraNetFileInfoList::kListener,
      [](checkListenersParm& parm) {
        const char* dynamic = getenv("VEL_DYNAMIC_LISTENER");
        if (dynamic == nullptr || velstricmp(dynamic, "TRUE") != 0) return;
        OraListenerInfo info;
        velMakeDynamicListener(info);
        parm.m_list.add(info);
      },
      velRunListenerCycle);
}

void* checkTNSConnectionsThreadFunc(void* arg) {
  VEL_FLOW_ENTRY("checkTNSConnectionsThreadFunc");
  return runThread<OraNetConfigTnsNames, checkTNSConnectionsParm>(
      arg, "checkTNSConnectionsThreadFunc", "VEL_TNS_PING_INTERVAL", OraNetFileInfoList::kTnsNames,
      [](checkTNSConnectionsParm&) {}, velRunAliasCycle);
}

void ProcessListener(checkListenersParm& parm, Request* request) {
  if (request == nullptr) return;
  const char* id = request->id != nullptr ? request->id : "";
  VelMutexHandler lock(parm.m_mutex);
  parm.m_list.forEach([&](const OraListenerInfo& i) {
    StatusTexts t(i.m_status);
    const char* values[12] = {i.m_fileName.c_str(),
                              i.m_listenerName.c_str(),
                              i.m_protocol.c_str(),
                              i.m_address.c_str(),
                              t.state,
                              t.code,
                              i.m_status.m_message,
                              t.when,
                              i.m_host.c_str(),
                              i.m_port.c_str(),
                              i.m_key.c_str(),
                              i.m_pipe.c_str()};
    cp_SetAttributeValues(values, 12, id);
  });
}

void ProcessRemoteConnection(checkTNSConnectionsParm& parm, Request* request) {
  if (request == nullptr) return;
  const char* id = request->id != nullptr ? request->id : "";
  VelMutexHandler lock(parm.m_mutex);
  parm.m_list.forEach([&](const OraNetServiceInfo& i) {
    StatusTexts t(i.m_status);
    const char* values[7] = {i.m_fileName.c_str(),
                             i.m_name.c_str(),
                             i.m_descriptor.c_str(),
                             t.state,
                             t.code,
                             i.m_status.m_message,
                             t.when};
    cp_SetAttributeValues(values, 7, id);
  });
}
