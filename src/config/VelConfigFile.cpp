// The instance configuration file: global values, connections and their subnode names.
#include "VelConfigFile.h"

#include <openssl/crypto.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "MUT1.h"
#include "PEB1.h"
#include "VelConfig.h"
#include "VelEncoding.h"
#include "ZAM.h"

VEL_TRACE_UNIT("config");

namespace {

constexpr char kProductCode[] = "vl";
// Buffer for a stripped section identifier.
constexpr unsigned kStripBufferSize = 512;
// Largest decrypted value taken over; longer ones leave the field as it was.
constexpr int kMaxDecryptedLength = 255;

bool switchedOn(const char* variable) {
  const char* v = PEB1_GetEnv(variable, "YES");
  return v != nullptr && velstricmp(v, "YES") == 0;
}

}  // namespace

VelSubNodeNaming VelSubNodeNaming::fromEnvironment() {
  VelSubNodeNaming n;
  n.includeAgentName = switchedOn("VEL_SUBNODE_INCLUDING_AGENTNAME");
  n.includeHostName = switchedOn("VEL_SUBNODE_INCLUDING_HOSTNAME");
  // atoi on purpose: leading digits count ("12abc" is 12), a non-number is 0 and so 24.
  int len = atoi(PEB1_GetEnv("VEL_MAX_SUBNODE_NAME_LENGTH", "24"));  // NOLINT(cert-err34-c)
  n.maxLength = (len >= 1 && len <= 25) ? len : 24;
  return n;
}

bool VelConfigFileGetEntry(ROV::ConfigSection* section, const char* name, VelString& out) {
  VEL_FLOW_ENTRY("VelConfigFileGetEntry");
  if (section == nullptr || name == nullptr || *name == '\0') VEL_RETURN(false);
  VEL_DETAIL("The entry name is:%s", name);
  ROV::String value;
  if (!section->getEntryValue(name, value)) VEL_RETURN(false);
  const size_t prefixLength = sizeof(kVelEncryptedPrefix) - 1;
  if (value.length() < prefixLength ||
      strncmp(value.c_str(), kVelEncryptedPrefix, prefixLength) != 0) {
    out.assign(value.c_str());
    VEL_RETURN(true);
  }
  // A decrypted value is a secret, whatever the entry.
  out.setSecret();
  char* result = nullptr;
  int resultLength = 0;
  int rc = ZAM_Decrypt(value.c_str(), static_cast<int>(value.length()), &result, &resultLength);
  if (rc != 0) {
    // The encrypted text is a secret too: the trace shows the mask in its place.
    VEL_ERROR("Error at decrypt, encrypted string is:%s, returned pointer is:%X, return code is:%d",
              kVelSecretMask, static_cast<unsigned>(reinterpret_cast<uintptr_t>(result)), rc);
    if (result != nullptr) ZAM_Free(result);
    VEL_RETURN(false);
  }
  if (result != nullptr) {
    if (resultLength >= 0 && resultLength <= kMaxDecryptedLength) {
      char buffer[kMaxDecryptedLength + 1];
      memset(buffer, 0, sizeof(buffer));
      memcpy(buffer, result, static_cast<size_t>(resultLength));
      out.assign(buffer);
      OPENSSL_cleanse(buffer, sizeof(buffer));
    } else {
      VEL_ERROR("Error at not enough space to contain the decrypted string");
    }
    ZAM_Free(result);
  }
  VEL_RETURN(true);
}

VelConfigFile::VelConfigFile() : m_globalInfo(new VelConfigGlobalInfo) {
  VEL_FLOW_ENTRY("VelConfigFile::VelConfigFile");
  load();
}

VelConfigFile::~VelConfigFile() { delete m_globalInfo; }

VelConfigGlobalInfo* VelConfigFile::takeGlobalInfo() {
  VelConfigGlobalInfo* g = m_globalInfo;
  m_globalInfo = nullptr;
  return g;
}

void VelConfigFile::reset() {
  m_instances.clear();
  m_conflicts.clear();
  if (m_globalInfo != nullptr) {
    velWipeString(m_globalInfo->m_password);
    *m_globalInfo = VelConfigGlobalInfo();
  }
  m_loaded = false;
}

void VelConfigFile::stripSubNode(const char* in, char* out, unsigned size) {
  if (in == nullptr || out == nullptr || size < 2) return;
  unsigned n = 0;
  for (const char* p = in; *p != '\0' && n < size - 1; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    // Plain ASCII classes: the locale must not let other bytes count as letters.
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                c == '-' || c == '_' || c == '.';
    if (keep) out[n++] = static_cast<char>(c);
  }
  out[n] = '\0';
}

bool VelConfigFile::composeSubNodeName(const char* strippedId, const char* instanceName,
                                       const char* hostName, const VelSubNodeNaming& naming,
                                       VelString& out) {
  out.assign(strippedId);
  if (naming.includeAgentName && instanceName != nullptr && *instanceName != '\0') {
    out.append("-");
    out.append(instanceName);
  }
  if (naming.includeHostName && hostName != nullptr && *hostName != '\0') {
    out.append("-");
    out.append(hostName);
  }
  if (naming.maxLength > 0 && out.length() > static_cast<unsigned>(naming.maxLength)) {
    out.resize(static_cast<unsigned>(naming.maxLength));
    return true;
  }
  return false;
}

bool VelConfigFile::load() {
  VEL_FLOW_ENTRY("VelConfigFile::load");
  reset();
  if (m_globalInfo == nullptr) m_globalInfo = new VelConfigGlobalInfo;
  if (m_globalInfo == nullptr) {
    VEL_ERROR("Error at memory allocation");
    VEL_RETURN(false);
  }

  const char* instanceName = PEB1_GetEnv("VEL_INSTANCE_NAME", nullptr);
  if (instanceName == nullptr) {
    VEL_ERROR("Can not get VEL_INSTANCE_NAME");
    instanceName = "";
  }

  VelAutoPtr<ROV::AgentConfig> agentConfig(new ROV::AgentConfig);
  if (agentConfig.get() == nullptr) VEL_RETURN(false);
  if (!ROV::ConfigParser::parseConfig(kProductCode, instanceName, *agentConfig.get())) {
    VEL_ERROR("Error at ConfigParser::parseConfig");
    VEL_RETURN(false);
  }
  ROV::InstanceConfig* instance = agentConfig.get()->getInstance(instanceName);
  if (instance == nullptr) {
    VEL_ERROR("There is no configuration for the agent instance %s", instanceName);
    VEL_RETURN(false);
  }

  const char* hostName = VelConfig::getHostName();
  const VelSubNodeNaming naming = VelSubNodeNaming::fromEnvironment();
  VEL_DETAIL("Subnode names: agent name %s, host name %s (%s), at most %d characters",
             naming.includeAgentName ? "included" : "left out",
             naming.includeHostName ? "included" : "left out", hostName ? hostName : "",
             naming.maxLength);

  for (int i = 0; i < instance->getNumSections(); ++i) {
    ROV::ConfigSection* section = instance->getSection(i);
    if (section == nullptr) continue;
    const char* sectionName = section->getName();
    if (velstricmp(sectionName, "default") == 0) {
      VelConfigFileGetEntry(section, "VEL_CONN_USERID", m_globalInfo->m_userId);
      VelConfigFileGetEntry(section, "VEL_CONN_PASSWORD", m_globalInfo->m_password);
      VelConfigFileGetEntry(section, "VEL_ORACLE_HOME", m_globalInfo->m_oracleHome);
      VelConfigFileGetEntry(section, "VEL_INSTANT_CLIENT_LIBPATH",
                            m_globalInfo->m_instantClientPath);
    } else if (velstricmp(sectionName, "advanced") == 0) {
      VelConfigFileGetEntry(section, "VEL_TNS_PATH", m_globalInfo->m_tnsPath);
      VelConfigFileGetEntry(section, "VEL_DYNAMIC_LISTENER", m_globalInfo->m_dynamicListener);
      VelConfigFileGetEntry(section, "VEL_CUSTOMIZED_SQL", m_globalInfo->m_customizedSql);
    } else if (velstricmp(sectionName, "config") == 0) {
      char stripped[kStripBufferSize];
      stripped[0] = '\0';
      stripSubNode(section->getID(), stripped, sizeof(stripped));
      if (stripped[0] == '\0')
        VEL_ERROR("Section %d (config) has no usable identifier; its subnode name starts empty", i);
      VelConfigInstance* ci = new VelConfigInstance;
      if (ci == nullptr) {
        VEL_ERROR("Error at memory allocation");
        continue;
      }
      ci->m_instanceName.assign(stripped);
      bool cut = composeSubNodeName(stripped, instanceName, hostName, naming, ci->m_subnodeName);
      // Two connections whose names differ only beyond the cut would share one subnode, and
      // requests for the later one could never reach it: it is left out and reported.
      if (cut) {
        bool taken = false;
        for (VelTypePtrListIterator<VelConfigInstance> it = m_instances.begin();
             it != m_instances.end(); ++it) {
          if ((*it)->m_subnodeName.compare(ci->m_subnodeName.c_str()) == 0) {
            taken = true;
            break;
          }
        }
        if (taken) {
          VEL_ERROR(
              "DB Connection %s is left out: its subnode name cut to %d characters, %s, "
              "is taken by an earlier connection",
              stripped, naming.maxLength, ci->m_subnodeName.c_str());
          VelConfigConflict* conflict = new VelConfigConflict;
          if (conflict != nullptr) {
            conflict->m_connectionName.assign(stripped);
            conflict->m_subnodeName = ci->m_subnodeName;
            m_conflicts.push_back(conflict);
          }
          delete ci;
          continue;
        }
      }
      VelConfigFileGetEntry(section, "VEL_CONN_STR", ci->m_connectString);
      VelConfigFileGetEntry(section, "VEL_CONN_USERID", ci->m_userId);
      VelConfigFileGetEntry(section, "VEL_CONN_PASSWORD", ci->m_password);
      VelConfigFileGetEntry(section, "VEL_CONN_MODE", ci->m_connectMode);
      VelConfigFileGetEntry(section, "VEL_DG_GROUP", ci->m_dgGroup);
      VelConfigFileGetEntry(section, "VEL_LOG_PATHS", ci->m_logPaths);
      VelConfigFileGetEntry(section, "VEL_LOG_CHARSET", ci->m_logCharset);
      // Default credentials apply as far as the default section has been read by now.
      if (ci->m_userId.length() == 0) ci->m_userId = m_globalInfo->m_userId;
      if (ci->m_password.length() == 0) ci->m_password = m_globalInfo->m_password;
      m_instances.push_back(ci);
    } else {
      VEL_DETAIL("Section %s is ignored", sectionName);
    }
  }
  m_loaded = true;
  VEL_RETURN(true);
}

bool VelConfigFile::getInstance(const char* subnode, VelConfigInstance& out) const {
  VEL_FLOW_ENTRY("VelConfigFile::getInstance");
  if (subnode == nullptr || *subnode == '\0') VEL_RETURN(false);
  for (VelTypePtrListIterator<VelConfigInstance> it = m_instances.begin(); it != m_instances.end();
       ++it) {
    if ((*it)->m_subnodeName.compare(subnode) == 0) {
      out = **it;
      VEL_RETURN(true);
    }
  }
  VEL_RETURN(false);
}

void VelConfigFile::dump() const {
  if (!VEL_TRACE_ON(MUT1_DETAIL)) return;
  if (m_globalInfo != nullptr) m_globalInfo->dump();
  for (VelTypePtrListIterator<VelConfigInstance> it = m_instances.begin(); it != m_instances.end();
       ++it)
    (*it)->dump();
}
