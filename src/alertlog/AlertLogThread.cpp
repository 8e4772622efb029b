#include "AlertLogThread.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "MUT1.h"
#include "PEB1.h"
#include "SendMutex.h"
#include "VelConfig.h"
#include "Vel_ListRequest.h"
#include "Vel_Request.h"

VEL_TRACE_UNIT("AlertLogThread");

const char kAlertLogInstanceSQLID[] = "GetAlertLogDefinedInformation";

namespace {

constexpr int kDefaultInterval = 300;
constexpr int kMinInterval = 60;
constexpr int kMaxInterval = 3600;
constexpr int kFirstDelaySeconds = 60;
constexpr size_t kCopyBlock = 4096;
constexpr int kQueueWaitSeconds = 60;
const char kRuntimeHeader[] = "#Agent runtime information";

unsigned threadId() { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pthread_self())); }

// "<home>/config/<host>_vl_<instance>_<kind>.properties"; the config folder is made when it is
// missing (an agent installed without it still keeps its alert-log files).
std::string instanceFile(const VelString& home, const VelString& host, const VelString& instance,
                         const char* kind) {
  std::string folder = std::string(home.c_str()) + "/config";
  if (mkdir(folder.c_str(), 0775) != 0 && errno != EEXIST)
    VEL_ERROR("Create folder '%s' failed: %d %s.", folder.c_str(), errno, strerror(errno));
  return folder + "/" + host.c_str() + "_vl_" + instance.c_str() + "_" + kind + ".properties";
}

// Copies the template into the instance file; the bytes copied, or -1 (traced) when either file
// could not be opened or written.
long copyTemplate(const std::string& from, const std::string& to, int& error) {
  int out = open(to.c_str(), O_WRONLY | O_CREAT, 0664);
  if (out < 0) {
    error = errno;
    VEL_ERROR("Open instance message id property file '%s' failed: %d %s .", to.c_str(), error,
              strerror(error));
  }
  int in = open(from.c_str(), O_RDONLY);
  if (in < 0) {
    error = errno;
    VEL_ERROR("Open template message id property file '%s' failed: %d %s .", from.c_str(), error,
              strerror(error));
  }
  long total = -1;
  if (in >= 0 && out >= 0) {
    total = 0;
    char block[kCopyBlock];
    for (;;) {
      ssize_t n = read(in, block, sizeof(block));
      if (n == 0) break;
      if (n < 0 || write(out, block, static_cast<size_t>(n)) != n) {
        error = errno;
        total = -1;
        break;
      }
      total += n;
    }
  }
  if (in >= 0) close(in);
  if (out >= 0) {
    close(out);
    chmod(to.c_str(), 0664);
  }
  return total;
}

// Queues the instance statement on the connection's worker and waits until it has run; false
// when it was not run. While the statement is still queued, the stop flag or a worker that has
// not taken it within kQueueWaitSeconds (stuck in another statement) ends the wait and takes it
// back; once the worker has it, the wait goes on until it is done, since the worker writes into
// the request.
bool runInstanceStatement(AlertLogParm* parm, Vel_ListRequest* queue, Vel_SQLRequest* request) {
  if (!queue->appendRequest(request)) return false;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(kQueueWaitSeconds);
  while (!request->waitComplete(1000)) {
    const bool late = parm->m_stop.load() || std::chrono::steady_clock::now() > giveUp;
    if (late && queue->remove(request)) {
      VEL_ERROR("The worker of subnode %s did not run %s in time.", queue->getSubNode(),
                request->getSQLID());
      return false;
    }
  }
  return true;
}

}  // namespace

int getSearchInterval() {
  const char* value = getenv("VEL_LOG_INTERVAL");
  if (value == nullptr) return kDefaultInterval;
  int seconds = atoi(value);
  if (seconds >= kMinInterval && seconds <= kMaxInterval) return seconds;
  if (seconds != 0)
    VEL_ERROR("Invalid value for environment VEL_LOG_INTERVAL: %s, must be 60-3600. ", value);
  return 0;
}

int getTestIntervalMs() {
  const char* value = getenv("VEL_ALERTLOG_TEST_INTERVAL_MS");
  int ms = value != nullptr ? atoi(value) : 0;
  return ms > 0 ? ms : 0;
}

void makeMessageIdProps(std::string& out, VelString& home, VelString& instance, VelString& host) {
  VEL_FLOW_ENTRY("makeMessageIdProps");
  const char* bin = PEB1_GetEnv("AGENT_BIN_DIR", nullptr);
  if (bin == nullptr) VEL_ERROR("There is no AGENT_BIN_DIR defined");
  std::string templatePath = std::string(bin ? bin : "") + "/velmsgid.properties";
  VEL_DETAIL("Alert log message id property template file: '%s'", templatePath.c_str());
  out = templatePath;
  // Without an install home there is no place for the instance's copy: the template is used.
  if (home.length() == 0) return;
  std::string instancePath = instanceFile(home, host, instance, "msgid");
  struct stat st;
  if (stat(instancePath.c_str(), &st) == 0 && st.st_size > 0) {
    VEL_DETAIL("The instance message id property file exists: '%s'.", instancePath.c_str());
    out = instancePath;
    return;
  }
  VEL_DETAIL("stat() on instance message id property file '%s' failed: %d %s .",
             instancePath.c_str(), errno, strerror(errno));
  VEL_DETAIL("Copy the template message id property file '%s' to instance file '%s'.",
             templatePath.c_str(), instancePath.c_str());
  int error = 0;
  long total = copyTemplate(templatePath, instancePath, error);
  if (total < 0) {
    VEL_ERROR(
        "Copy template message id property file '%s' to instance file '%s' failed: %d %s, using "
        "template file instead.",
        templatePath.c_str(), instancePath.c_str(), error, strerror(error));
    return;
  }
  VEL_DETAIL("Total bytes %d copied to instance message id property file '%s'.",
             static_cast<int>(total), instancePath.c_str());
  out = instancePath;
}

bool refreshAlertLogInfo(AlertLogParm* parm, CDBAlertLog* log,
                         VelTypePtrList<CDBAlertLogInfo>& infos) {
  VEL_FLOW_ENTRY("refreshAlertLogInfo");
  if (parm == nullptr || parm->m_pConfig == nullptr || log == nullptr) VEL_RETURN(false);
  Ora_DatabaseInfo info;
  if (!parm->m_pConfig->getDBInfo(log->getSubnodeName(), info)) VEL_RETURN(false);
  // A worker that has not connected yet knows no database type: nothing to ask it.
  if (info.m_type.length() == 0) VEL_RETURN(false);
  {
    VelMutexHandler lock(gDBAlertLogsMutex);
    log->setDatabase(info.m_name.c_str(), info.m_type.c_str());
  }
  Vel_ListRequest* queue = parm->m_pRequestLists != nullptr
                               ? parm->m_pRequestLists->getRequestList(log->getSubnodeName())
                               : nullptr;
  if (queue == nullptr) VEL_RETURN(false);
  Vel_SQLRequest* request = new Vel_SQLRequest(kAlertLogInstanceSQLID);
  if (!runInstanceStatement(parm, queue, request)) {
    delete request;
    VEL_RETURN(false);
  }
  Ora_AutoStmtTable& table = request->getTable();
  if (request->succeeded() && table.getColumnCount() >= 4) {
    const int columns = static_cast<int>(table.getColumnCount());
    std::vector<const char*> row(static_cast<size_t>(columns));
    for (unsigned i = 0; i < table.getStoredRowCount(); ++i) {
      if (!table.getRow(i, row.data(), columns)) continue;
      CDBAlertLogInfo* item = new CDBAlertLogInfo;
      item->m_instanceName.assign(row[0] ? row[0] : "");
      item->m_dumpDest.assign(row[1] ? row[1] : "");
      item->m_hostName.assign(row[2] ? row[2] : "");
      item->m_databaseName.assign(row[3] ? row[3] : "");
      if (!infos.push_back(item)) delete item;
    }
  }
  delete request;
  VEL_RETURN(true);
}

void runAlertLogCycle(AlertLogParm* parm, CPropFile& msgids, CPropFile& runtime,
                      const char* runtimePath) {
  VEL_FLOW_ENTRY("runAlertLogCycle");
  msgids.load();
  if (runtimePath != nullptr && *runtimePath != '\0') runtime.load();
  // Only this thread changes gDBAlertLogs, so it walks the vector without the lock.
  for (CDBAlertLog* log : gDBAlertLogs) {
    if (parm->m_stop.load()) break;
    VelTypePtrList<CDBAlertLogInfo> infos;
    if (!refreshAlertLogInfo(parm, log, infos)) continue;
    log->search(msgids, runtime, infos);
  }
  // The property file writes a temporary file and renames it, so a crash never leaves it cut.
  if (runtimePath != nullptr && *runtimePath != '\0') runtime.save(kRuntimeHeader);
}

void* AlertLogThread(void* arg) {
  VEL_FLOW_ENTRY("AlertLogThread");
  AlertLogParm* parm = static_cast<AlertLogParm*>(arg);
  if (parm == nullptr) {
    VEL_ERROR("The init parameter is NULL.");
    return nullptr;
  }
  VEL_DETAIL("Starting alert log search thread %x", threadId());
  const int interval = getSearchInterval();
  VEL_DETAIL("Alert log search interval is %d.", interval);
  if (interval == 0) {
    VEL_DETAIL("Alert log search feature is disabled.");
    return nullptr;
  }
  VelString home;
  VelConfig::getOrmondHome(home);
  const char* instanceName = PEB1_GetEnv("VEL_INSTANCE_NAME", nullptr);
  if (instanceName == nullptr) VEL_ERROR("Error, there is no VEL_INSTANCE_NAME");
  VelString instance(instanceName ? instanceName : "");
  const char* hostName = VelConfig::getHostName();
  VelString host(hostName ? hostName : "");

  std::string msgidPath;
  makeMessageIdProps(msgidPath, home, instance, host);
  CPropFile msgids(msgidPath.c_str());
  if (!msgids.load()) {
    VEL_ERROR("Load alert log message id property file '%s' failed, thread %x exit abnormally.",
              msgidPath.c_str(), threadId());
    return nullptr;
  }
  // Without an install home the read positions live in memory only.
  std::string runtimePath;
  if (home.length() > 0) runtimePath = instanceFile(home, host, instance, "runtime");
  CPropFile runtime(runtimePath.c_str());
  if (!runtimePath.empty() && !runtime.fileExists()) {
    VEL_DETAIL("Agent runtime property file '%s' not exist, will create it now.",
               runtimePath.c_str());
    runtime.save(nullptr);
  }

  std::vector<VelConfigInstance> connections;
  if (parm->m_pConfig == nullptr) {
    VEL_ERROR("Error at get configuration list");
    return nullptr;
  }
  {
    VelMutexHandler lock(parm->m_pConfig->getMutex());
    for (VelConfigItem* item : parm->m_pConfig->getItems()) {
      VelConfigInstance settings;
      if (item == nullptr || !item->getConfigInfo(settings)) {
        VEL_ERROR("Failed at get config info");
        continue;
      }
      connections.push_back(settings);
    }
  }
  // Made outside every lock: an invalid charset raises an event.
  std::vector<CDBAlertLog*> made;
  for (VelConfigInstance& c : connections) {
    made.push_back(new CDBAlertLog(c.m_instanceName.c_str(), c.m_logPaths.c_str(),
                                   c.m_subnodeName.c_str(), c.m_logCharset.c_str()));
    velWipeString(c.m_password);
  }
  {
    VelMutexHandler lock(gDBAlertLogsMutex);
    gDBAlertLogs = made;
  }

  const int testMs = getTestIntervalMs();
  const std::chrono::milliseconds period(testMs > 0 ? testMs : interval * 1000);
  const std::chrono::milliseconds firstDelay(testMs > 0 ? testMs : kFirstDelaySeconds * 1000);
  const unsigned slice = testMs > 0 && testMs < 1000 ? static_cast<unsigned>(testMs) : 1000;
  auto due = std::chrono::steady_clock::now() + firstDelay;
  while (!parm->m_stop.load()) {
    PEB1_MilliSleep(slice);
    if (parm->m_stop.load() || std::chrono::steady_clock::now() < due) continue;
    runAlertLogCycle(parm, msgids, runtime, runtimePath.c_str());
    due = std::chrono::steady_clock::now() + period;
  }

  VelMutexHandler lock(gDBAlertLogsMutex);
  for (CDBAlertLog* log : gDBAlertLogs) delete log;
  gDBAlertLogs.clear();
  VEL_DETAIL("Alert log search thread %x stopped.", threadId());
  return nullptr;
}

void processRequestAlertLogSummary(Request* request) {
  VEL_FLOW_ENTRY("processRequestAlertLogSummary");
  if (request == nullptr) return;
  const char* subnode = request->subnode ? request->subnode : "";
  const char* handle = request->handle ? static_cast<const char*>(request->handle) : "";
  const char* id = request->id ? request->id : "";
  VEL_DETAIL("Processing AlertLogSummary request subnode %s, handle %s", subnode, handle);
  std::vector<CAlertRow> rows;
  {
    VelMutexHandler lock(gDBAlertLogsMutex);
    if (gDBAlertLogs.empty()) {
      VEL_DETAIL("Alert log search feature is disabled, no value returned.");
    } else {
      const CDBAlertLog* found = nullptr;
      for (const CDBAlertLog* log : gDBAlertLogs) {
        if (strcmp(log->getSubnodeName(), subnode) == 0) {
          found = log;
          break;
        }
      }
      if (found == nullptr) {
        VEL_ERROR("Unable to find the matched subnode %s, handle %s", subnode, handle);
      } else {
        found->appendSummaryRows(rows);
      }
    }
  }
  {
    VelMutexHandler lock(gMutexSend);
    for (const CAlertRow& row : rows) {
      const char* values[10];
      for (int i = 0; i < 10; ++i) {
        values[i] = row[i].c_str();
        VEL_DETAIL("Index %d, value is %s", i, values[i]);
      }
      cp_SetAttributeValues(values, 10, id);
    }
    cp_SendData(id);
  }
  cp_FreeRequest(request);
}
