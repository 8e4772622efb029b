#include "CDBAlertLog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "MUT1.h"
#include "ORL2.h"
#include "SendMutex.h"
#include "VelAttrGroupNames.h"
#include "VelEncoding.h"
#include "VelUtil.h"
#include "Vel_PostEvent.h"
#include "cp_api.h"

VEL_TRACE_UNIT("CDBAlertLog");

std::vector<CDBAlertLog*> gDBAlertLogs;
VelMutex gDBAlertLogsMutex;

namespace {

constexpr int kMaxConfiguredPath = 4095;
constexpr int kMaxTextBytes = 160;
constexpr int kMaxPathBytes = 1024;
constexpr int kInvalidCharsetEvent = 1003;

// Cuts UTF-8 text to at most maxBytes without splitting a character.
void cutUtf8(std::string& text, size_t maxBytes) {
  if (text.size() <= maxBytes) return;
  size_t end = maxBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
}

// source (in codePage) as UTF-8 of at most maxBytes, cut at a character boundary. Bytes the
// converter refuses do not lose the message: it is then passed on with every non-ASCII byte shown
// as '?'.
std::string toUtf8(const char* source, int codePage, size_t maxBytes) {
  std::string out;
  if (source == nullptr || *source == '\0') return out;
  // No character set needs more than two source bytes for one character, which UTF-8 writes in at
  // most four.
  size_t length = strnlen(source, 2 * maxBytes);
  std::vector<char> buffer(4 * length + 1, '\0');
  if (ConvertStrToUTF8(source, static_cast<int>(length), buffer.data(),
                       static_cast<int>(buffer.size()), codePage) > 0) {
    out.assign(buffer.data());
  } else {
    for (size_t i = 0; i < length; ++i) {
      unsigned char c = static_cast<unsigned char>(source[i]);
      out += c < 0x80 ? static_cast<char>(c) : '?';
    }
  }
  cutUtf8(out, maxBytes);
  return out;
}

std::string runtimeKey(const CDBAlertLog& owner, const CAlertLog& log, const char* what) {
  char key[1024];
  snprintf(key, sizeof(key), "%s.%s.%s.alertlog.%s", owner.getConnectionName(),
           log.getDatabaseName(), log.getName(), what);
  return key;
}

std::string decimal(long long value) {
  char text[32];
  snprintf(text, sizeof(text), "%lld", value);
  return text;
}

}  // namespace

bool velAlertLogNoRepeat() {
  // Deliberate departure: an unset VEL_LOG_NOREPEAT restores the saved positions too, so that a
  // message reaches the agent once also across a restart. Only an explicit value other than
  // TRUE (such as FALSE) makes a restart search the end region of every log again.
  static const bool noRepeat = [] {
    const char* value = getenv("VEL_LOG_NOREPEAT");
    return value == nullptr || u_stricmp(value, "TRUE") == 0;
  }();
  return noRepeat;
}

CDBAlertLog::CDBAlertLog(const char* connection, const char* configuredPaths, const char* subnode,
                         const char* charset)
    : m_connectionName(connection ? connection : ""),
      m_subnodeName(subnode ? subnode : ""),
      m_charset(charset ? charset : "") {
  VEL_FLOW_ENTRY("CDBAlertLog::CDBAlertLog");
  parseConfiguredPath(configuredPaths);
  std::string name = m_charset.c_str();
  std::vector<char> trimmed(name.begin(), name.end());
  trimmed.push_back('\0');
  trim(trimmed.data());
  if (trimmed[0] == '\0' || u_stricmp(trimmed.data(), "DEFAULT") == 0) {
    m_codePage = UTF8GetLocaleDefaultCodePageID();
  } else {
    m_codePage = ORL2_GetCodepageId(trimmed.data());
    if (m_codePage <= 0) {
      VEL_ERROR("Convert Database conn %s alert log codepage %s failed.", m_connectionName.c_str(),
                m_charset.c_str());
      char message[600];
      snprintf(message, sizeof(message), "Database connection %.200s codepage %.200s is invalid!",
               m_connectionName.c_str(), m_charset.c_str());
      Vel_PostEvent::postAgentEvent(1, m_connectionName.c_str(), message, kInvalidCharsetEvent,
                                    nullptr);
      m_codePage = UTF8GetLocaleDefaultCodePageID();
    }
  }
  VEL_DETAIL("Alert log charset param %s value %d for Database conn %s.", m_charset.c_str(),
             m_codePage, m_connectionName.c_str());
}

CDBAlertLog::~CDBAlertLog() {
  for (CAlertLog* log : m_alertLogs) delete log;
  m_alertLogs.clear();
}

void CDBAlertLog::parseConfiguredPath(const char* paths) {
  VEL_FLOW_ENTRY("CDBAlertLog::parseConfiguredPath");
  if (paths == nullptr) return;
  int number = 0;
  for (const char* start = paths; *start != '\0';) {
    const char* colon = strchr(start, ':');
    size_t length = colon ? static_cast<size_t>(colon - start) : strlen(start);
    char piece[kMaxConfiguredPath + 1];
    snprintf(piece, sizeof(piece), "%.*s",
             static_cast<int>(length > kMaxConfiguredPath ? kMaxConfiguredPath : length), start);
    trim(piece);
    if (piece[0] != '\0') {
      const char* slash = strrchr(piece, '/');
      if (slash == nullptr) {
        VEL_ERROR("Ignore mapped alert log path %s : not absolute path.", piece);
      } else {
        CDBAlertConfiguredPath* path = new CDBAlertConfiguredPath(slash + 1, piece);
        if (!m_configuredPaths.push_back(path)) delete path;
        VEL_DETAIL("Splitted mapped alert log file name #%d: '%s', path is:%s.", number++,
                   slash + 1, piece);
      }
    }
    if (colon == nullptr) break;
    start = colon + 1;
  }
}

const char* CDBAlertLog::getConfiguredPath(const char* fileName) const {
  if (fileName == nullptr) return nullptr;
  for (CDBAlertConfiguredPath* path : m_configuredPaths)
    if (velstricmp(path->m_fileName.c_str(), fileName) == 0) return path->m_path.c_str();
  return nullptr;
}

void CDBAlertLog::genAlertLogPaths(VelTypePtrList<CDBAlertLogInfo>& infos,
                                   VelTypePtrList<CDBAlertLogEntry>& out) const {
  for (CDBAlertLogInfo* info : infos) {
    std::string fileName = std::string("alert_") + info->m_instanceName.c_str() + ".log";
    CDBAlertLogEntry* entry = new CDBAlertLogEntry;
    const char* configured = getConfiguredPath(fileName.c_str());
    if (configured != nullptr) {
      entry->m_path.assign(configured);
    } else {
      entry->m_path.assign((std::string(info->m_dumpDest.c_str()) + "/" + fileName).c_str());
    }
    entry->m_instanceName.assign(info->m_instanceName.c_str());
    entry->m_hostName.assign(info->m_hostName.c_str());
    entry->m_databaseName.assign(info->m_databaseName.c_str());
    if (!out.push_back(entry)) delete entry;
  }
}

CAlertLog* CDBAlertLog::findAlertLog(const char* instance, size_t* index) const {
  for (size_t i = 0; i < m_alertLogs.size(); ++i) {
    if (strcmp(m_alertLogs[i]->getName(), instance) == 0) {
      if (index) *index = i;
      return m_alertLogs[i];
    }
  }
  return nullptr;
}

void CDBAlertLog::configureInstances(CPropFile& runtime, VelTypePtrList<CDBAlertLogInfo>& infos) {
  VEL_FLOW_ENTRY("CDBAlertLog::configureInstances");
  if (infos.empty()) {
    VEL_ERROR("Database connection %s is not open, parameter background_dump_dest no available.",
              m_connectionName.c_str());
    return;
  }
  VelTypePtrList<CDBAlertLogEntry> entries;
  genAlertLogPaths(infos, entries);
  const bool first = m_alertLogs.empty();
  for (CDBAlertLogEntry* e : entries) {
    const char* instance = e->m_instanceName.c_str();
    const char* path = e->m_path.c_str();
    size_t index = 0;
    CAlertLog* existing = first ? nullptr : findAlertLog(instance, &index);
    if (existing != nullptr && strcmp(existing->getPath(), path) == 0) continue;
    CAlertLog* log =
        new CAlertLog(instance, path, e->m_hostName.c_str(), e->m_databaseName.c_str());
    log->setCodePage(m_codePage);
    if (existing != nullptr) {
      // A moved log starts as a first search of its new file: its old position means nothing
      // there.
      VEL_DETAIL("Change AlertLog for database %s instance %s on file '%s' from '%s'.",
                 m_databaseName.c_str(), instance, path, existing->getPath());
      delete existing;
      m_alertLogs[index] = log;
      continue;
    }
    if (first) {
      VEL_DETAIL("Create AlertLog for database %s instance %s on file '%s'.",
                 m_databaseName.c_str(), instance, path);
    } else {
      VEL_DETAIL("Append AlertLog for database %s instance %s on file '%s'.",
                 m_databaseName.c_str(), instance, path);
    }
    loadAlertLogProps(*log, runtime);
    m_alertLogs.push_back(log);
  }
}

void CDBAlertLog::loadAlertLogProps(CAlertLog& log, CPropFile& runtime) const {
  if (!velAlertLogNoRepeat()) return;
  const char* saved = runtime.getProperty(runtimeKey(*this, log, "path").c_str(), nullptr);
  if (saved == nullptr || strcmp(saved, log.getPath()) != 0) return;
  long long size = runtime.getPropertyAsLong(runtimeKey(*this, log, "size").c_str(), 0);
  long long mtime = runtime.getPropertyAsLong(runtimeKey(*this, log, "mtime").c_str(), 0);
  log.setLastSize(static_cast<long>(size));
  log.setLastModifiedTime(static_cast<time_t>(mtime));
  VEL_DETAIL("Recover alert log file '%s' last size %d mtime %d from runtime info for instance %s.",
             log.getPath(), static_cast<int>(size), static_cast<int>(mtime), log.getName());
}

void CDBAlertLog::saveAlertLogProps(CAlertLog& log, CPropFile& runtime) const {
  runtime.setProperty(runtimeKey(*this, log, "path").c_str(), log.getPath());
  runtime.setProperty(runtimeKey(*this, log, "size").c_str(), decimal(log.getLastSize()).c_str());
  runtime.setProperty(runtimeKey(*this, log, "mtime").c_str(),
                      decimal(log.getLastModifiedTime()).c_str());
}

void CDBAlertLog::search(CPropFile& msgids, CPropFile& runtime,
                         VelTypePtrList<CDBAlertLogInfo>& infos) {
  VEL_FLOW_ENTRY("CDBAlertLog::search");
  {
    // Replaced logs are deleted here: the summary must not be reading them.
    VelMutexHandler lock(gDBAlertLogsMutex);
    configureInstances(runtime, infos);
  }
  // Logs of instances that are gone are searched too: their last messages still count.
  for (CAlertLog* log : m_alertLogs) {
    log->search(msgids, *this);
    saveAlertLogProps(*log, runtime);
  }
}

bool CDBAlertLog::makeEventRow(const CAlertEntry& entry, CAlertRow& row, const char** group) const {
  const char* type = m_databaseType.c_str();
  if (strcmp(type, "RDB") == 0) {
    *group = RDB_Alert_Log_Details;
  } else if (strcmp(type, "ASM") == 0) {
    *group = ASM_Alert_Log_Details;
  } else if (strcmp(type, "DG") == 0) {
    *group = DG_Alert_Log_Details;
  } else {
    return false;
  }
  const char* msgid = entry.getMsgId() ? entry.getMsgId() : "";
  const char* dash = strchr(msgid, '-');
  std::string prefix = dash ? std::string(msgid, dash) : std::string(msgid);
  std::string number = dash ? std::string(dash + 1) : std::string();
  // The search has already converted the text from the connection's code page (it needs UTF-8
  // to tell letters of every script from punctuation); it is only cut here.
  std::string text = entry.getText() ? entry.getText() : "";
  cutUtf8(text, kMaxTextBytes);
  VEL_DETAIL("Converted message text length %d '%s', source string '%s' .",
             static_cast<int>(text.size()), text.c_str(), entry.getText() ? entry.getText() : "");
  char stamp[32] = {0};
  time2ct(static_cast<time_t>(entry.getTimestamp()), stamp);
  row = {decimal(entry.getSeverity()),
         entry.getInstanceName() ? entry.getInstanceName() : "",
         prefix,
         number,
         msgid,
         text,
         stamp,
         entry.getHostName() ? entry.getHostName() : "",
         entry.getDatabaseName() ? entry.getDatabaseName() : ""};
  return true;
}

void CDBAlertLog::onAlertEntry(CAlertEntry& entry) {
  CAlertRow row;
  const char* group = nullptr;
  if (!makeEventRow(entry, row, &group)) {
    VEL_DETAIL("No alert log event for database type '%s' of subnode %s.", m_databaseType.c_str(),
               m_subnodeName.c_str());
    return;
  }
  const char* values[9];
  for (int i = 0; i < 9; ++i) values[i] = row[i].c_str();
  VelMutexHandler lock(gMutexSend);
  cp_SendSubnodeEventData(values, 9, group, m_subnodeName.c_str());
}

void CDBAlertLog::appendSummaryRows(std::vector<CAlertRow>& rows) const {
  for (const CAlertLog* log : m_alertLogs) {
    const int state = log->getFileState();
    char stamp[32] = {0};
    time2ct(static_cast<time_t>(log->getLastSearchTime()), stamp);
    rows.push_back({log->getName(), toUtf8(log->getPath(), 0, kMaxPathBytes),
                    state == CAlertLog::kFileExists    ? "Yes"
                    : state == CAlertLog::kFileMissing ? "No"
                                                       : "Unknown",
                    decimal(log->getLevel1Total()), decimal(log->getLevel2Total()), stamp,
                    decimal(log->getLevel1Last()), decimal(log->getLevel2Last()),
                    log->getHostName(), log->getDatabaseName()});
  }
}
