#include "ConfigMap.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "MUT1.h"
#include "PEB1.h"
#include "cp_api.h"

VEL_TRACE_UNIT("config");

ConfigMap configMap;

namespace {

const char* const kMapName = "configuration property map";

// Keeps letters, digits, '_', '-' and '.'.
std::string validCharFilter(const char* key) {
  std::string out;
  for (const char* p = key; p && *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (isalnum(c) || c == '_' || c == '-' || c == '.') out += static_cast<char>(c);
  }
  return out;
}

std::string format(const char* fmt, const char* a, const char* b, int n) {
  char text[1024];
  snprintf(text, sizeof text, fmt, a ? a : "", b ? b : "", n);
  return text;
}

bool nonEmpty(const char* s) { return s && *s; }

}  // namespace

ConfigMap::ConfigMap() : m_agentBinDir(PEB1_GetEnv("AGENT_BIN_DIR", nullptr)) {
  pthread_mutex_init(&m_mutex, nullptr);
}

ConfigMap::~ConfigMap() {
  useLocalMap(false);
  pthread_mutex_destroy(&m_mutex);
}

void ConfigMap::useLocalMap(bool local) {
  if (m_map) {
    m_map->foreach (hashMapFreeKeyData, nullptr);
    delete m_map;
    m_map = nullptr;
  }
  if (local) m_map = new HashMap();
}

const char* ConfigMap::get(const char* name) const {
  if (!name) return nullptr;
  if (!m_map) return getenv(name);
  const char* value = static_cast<const char*>(m_map->get(name));
  if (value) {
    if (VEL_TRACE_ON(MUT1_DETAIL)) {
      VEL_DETAIL("found property %s=%s in the %s", name, getTraceableValue(name, value), kMapName);
    }
  } else {
    VEL_DETAIL("%s not found in the %s", name, kMapName);
  }
  return value;
}

const char* ConfigMap::getTraceableValue(const char* name, const char* value) const {
  if (!name) return value;
  std::string traceName = std::string(name) + "_HOZ_TRACE";
  const char* trace =
      m_map ? static_cast<const char*>(m_map->get(traceName.c_str())) : getenv(traceName.c_str());
  return trace ? trace : value;
}

const char* ConfigMap::getSubnodeKey(const char* pc, const char* type, int n) const {
  VEL_DETAIL("Lookup of pc=%s subnodeTYpe=%s index=%d", pc ? pc : "", type ? type : "", n);
  if (!pc || !type) return nullptr;
  std::string name = format("%s_%s_IDLABEL_%d", pc, type, n);
  const char* key = get(name.c_str());
  return nonEmpty(key) ? key : nullptr;
}

int ConfigMap::getHighestSubnodeIndex(const char* type) const {
  const char* pc = productCode();
  if (!pc || !type) return -1;
  std::string name = std::string(pc) + "_" + type + "_COUNT";
  const char* value = get(name.c_str());
  return value ? atoi(value) : -1;
}

void ConfigMap::setHighestSubnodeIndex(const char* type, int n) {
  const char* pc = productCode();
  if (!pc || !type) return;
  VEL_DETAIL("Found repeatable section %s number %d", type, n);
  std::string name = std::string(pc) + "_" + type + "_COUNT";
  put(name.c_str(), std::to_string(n).c_str());
}

char* ConfigMap::getSubnodeIndex(const char* pc, const char* key, const char* type) const {
  std::string wanted = validCharFilter(key);
  int highest = getHighestSubnodeIndex(type);
  char* result = nullptr;
  for (int n = 1; n <= highest && !result; ++n) {
    const char* label = getSubnodeKey(pc, type, n);
    if (label && wanted == label) result = strdup(std::to_string(n).c_str());
  }
  VEL_DETAIL("Returning index = %s for subnode key %s", result ? result : "<null>", key ? key : "");
  return result;
}

const char* ConfigMap::getSubnodeConfigurationVariable(const char* pc, const char* type,
                                                       const char* name, const char* index) const {
  if (!name) return nullptr;
  std::vector<std::string> candidates;
  if (pc && type && index)
    candidates.push_back(std::string(pc) + "_" + type + "_" + name + "_" + index);
  if (pc && type) candidates.push_back(std::string(pc) + "_" + type + "_" + name + "_DEFAULT");
  candidates.push_back(name);
  for (const std::string& candidate : candidates) {
    const char* value = get(candidate.c_str());
    if (nonEmpty(value)) {
      if (VEL_TRACE_ON(MUT1_DETAIL)) {
        VEL_DETAIL("found variable %s from property %s=%s", name, candidate.c_str(),
                   getTraceableValue(candidate.c_str(), value));
      }
      return value;
    }
  }
  VEL_DETAIL("did not find variable %s", name);
  return nullptr;
}

char** ConfigMap::getSubnodeKeys(const char* type, int* count) const {
  if (count) *count = 0;
  const char* pc = productCode();
  int highest = getHighestSubnodeIndex(type);
  std::vector<const char*> keys;
  for (int n = 1; n <= highest; ++n) {
    const char* key = getSubnodeKey(pc, type, n);
    if (key) keys.push_back(key);
  }
  if (keys.empty()) {
    VEL_DETAIL("Found no subnode instances of type %s", type ? type : "");
    return nullptr;
  }
  char** array = static_cast<char**>(calloc(keys.size() + 1, sizeof(char*)));
  if (!array) return nullptr;
  for (size_t i = 0; i < keys.size(); ++i) array[i] = strdup(keys[i]);
  if (count) *count = static_cast<int>(keys.size());
  VEL_DETAIL("Found %d subnode instances of type %s", static_cast<int>(keys.size()), type);
  return array;
}

void ConfigMap::put(const char* name, const char* value) {
  if (!name) return;
  if (!m_map) {
    setEnvProperty(name, value);
    return;
  }
  HashMapEntry* e = m_map->getEntry(name);
  char* copy = strdup(value ? value : "");
  if (e) {
    free(const_cast<void*>(e->data));
    e->data = copy;
  } else {
    m_map->put(strdup(name), copy);
  }
}

void ConfigMap::remove(const char* name) {
  if (!name) return;
  if (!m_map) {
    // The environment service cannot unset: an empty value counts as missing in every lookup
    // that asks for a non-empty one.
    setEnvProperty(name, "");
    return;
  }
  const char* storedKey = nullptr;
  void* data = m_map->remove(name, &storedKey);
  free(const_cast<char*>(storedKey));
  free(data);
}

void ConfigMap::setEnvProperty(const char* name, const char* value) {
  if (!name) return;
  std::string text = std::string(name) + "=" + (value ? value : "");
  PEB1_PutEnv(text.c_str());
}

void ConfigMap::setSubnodeProperty(const char* type, int index, const char* name,
                                   const char* value) {
  const char* pc = productCode();
  if (!pc || !type || !name) return;
  std::string key = std::string(pc) + "_" + type + "_" + name + "_" + std::to_string(index);
  put(key.c_str(), value);
}

void ConfigMap::removeSubnodeProperties(const char* type, int index) {
  const char* pc = productCode();
  if (!pc || !type || !m_map) return;
  std::string prefix = std::string(pc) + "_" + type + "_";
  std::string suffix = "_" + std::to_string(index);
  std::vector<std::string> doomed;
  HashMapIterator it = m_map->iterator();
  while (it.hasNext()) {
    it.next();
    std::string key = it.getKey();
    if (key.size() > prefix.size() + suffix.size() && key.compare(0, prefix.size(), prefix) == 0 &&
        key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0) {
      doomed.push_back(key);
    }
  }
  for (const std::string& key : doomed) remove(key.c_str());
}

// Sections are subnode types; their ids are the subnode keys. Both must be made of the
// characters a variable name can hold; the id "DEFAULT" names the defaults of the type.
int ConfigMap::addSection(const char* section, const char* id) {
  if (!nonEmpty(section) || validCharFilter(section) != section) {
    VEL_DETAIL("Section %s does not appear to be a subnode section", section ? section : "");
    return -1;
  }
  if (id && strcasecmp(id, "DEFAULT") == 0) {
    VEL_DETAIL("Defaults section %s found", section);
    return 0;
  }
  if (!nonEmpty(id) || validCharFilter(id) != id) {
    VEL_DETAIL("Invalid subnode id %s, ignoring", id ? id : "");
    return -1;
  }
  const char* pc = productCode();
  if (!pc) return -1;
  char* existing = getSubnodeIndex(pc, id, section);
  if (existing) {
    int n = atoi(existing);
    free(existing);
    return n;
  }
  int highest = getHighestSubnodeIndex(section);
  int n = highest < 1 ? 1 : highest + 1;
  if (n == 1) {
    VEL_DETAIL("Adding section %s ID %s with number 1 (new subnode type)", section, id);
  } else {
    VEL_DETAIL("Adding section %s ID %s with number %d (new subnode)", section, id, n);
  }
  put(format("%s_%s_IDLABEL_%d", pc, section, n).c_str(), id);
  put(format("%s_%s_SECTIONID_%d", pc, section, n).c_str(), id);
  setHighestSubnodeIndex(section, n);
  return n;
}

bool ConfigMap::removeSection(const char* section, const char* id) {
  const char* pc = productCode();
  if (!pc || !section || !id) return false;
  char* index = getSubnodeIndex(pc, id, section);
  if (!index) return false;
  int n = atoi(index);
  free(index);
  removeSubnodeProperties(section, n);
  remove(format("%s_%s_IDLABEL_%d", pc, section, n).c_str());
  remove(format("%s_%s_SECTIONID_%d", pc, section, n).c_str());
  return true;
}

void ConfigMap::setTraceableValue(const char* name, const char* traceValue) {
  if (!name) return;
  put((std::string(name) + "_HOZ_TRACE").c_str(), traceValue);
}

void ConfigMap::loadAgentEnvironmentVariable(const char* name) {
  const char* value = PEB1_GetEnv(name, nullptr);
  if (!value) {
    VEL_ERROR("Could not find any value for the variable %s\n", name ? name : "");
    return;
  }
  put(name, value);
}

HashMap* ConfigMap::cloneConfigMap() const {
  auto* clone = new HashMap();
  if (!m_map) return clone;
  HashMapIterator it = m_map->iterator();
  while (it.hasNext()) {
    it.next();
    clone->put(strdup(it.getKey()), strdup(static_cast<const char*>(it.getData())));
  }
  return clone;
}

void ConfigMap::freeConfigMapClone(HashMap* map) {
  if (!map) return;
  map->foreach (hashMapFreeKeyData, nullptr);
  delete map;
}

// ---- Global lookups ---------------------------------------------------------------------------

const char* getConfigurationPropertyInternal(const char* name) {
  ConfigMapLock lock(configMap);
  return configMap.get(name);
}

const char* getConfigurationProperty(const char* name) {
  const char* value = getConfigurationPropertyInternal(name);
  if (!value) VEL_ERROR("Configuration property %s not found", name ? name : "");
  return value;
}

const char* getSubnodeKey(const char* type, int index) {
  ConfigMapLock lock(configMap);
  const char* key = configMap.getSubnodeKey(configMap.productCode(), type, index);
  if (!key) {
    VEL_DETAIL("subnode key for subnode type %s not found", type ? type : "");
  } else {
    VEL_DETAIL("Found subnode key %s for type %s, index = %d", key, type, index);
  }
  return key;
}

char* getSubnodeIndex(const char* key, const char* type) {
  ConfigMapLock lock(configMap);
  return configMap.getSubnodeIndex(configMap.productCode(), key, type);
}

const char* getSubnodeConfigurationVariable(const char* type, const char* name, const char* index) {
  ConfigMapLock lock(configMap);
  return configMap.getSubnodeConfigurationVariable(configMap.productCode(), type, name, index);
}

const char* getSubnodeConfigurationPropertyInternal(const char* name, const char* subnodeKey,
                                                    const char* type) {
  ConfigMapLock lock(configMap);
  const char* pc = configMap.productCode();
  char* index = configMap.getSubnodeIndex(pc, subnodeKey, type);
  const char* value = configMap.getSubnodeConfigurationVariable(pc, type, name, index);
  free(index);
  return value;
}

const char* getSubnodeConfigurationProperty(const char* name, const char* subnodeKey,
                                            const char* type) {
  const char* value = getSubnodeConfigurationPropertyInternal(name, subnodeKey, type);
  if (!value) VEL_ERROR("Configuration property %s not found", name ? name : "");
  return value;
}

char** getSubnodeKeys(const char* type, int* count) {
  ConfigMapLock lock(configMap);
  return configMap.getSubnodeKeys(type, count);
}

void loadAgentEnvironmentVariable(const char* name) {
  ConfigMapLock lock(configMap);
  configMap.loadAgentEnvironmentVariable(name);
}

HashMap* cloneConfigMap() {
  ConfigMapLock lock(configMap);
  return configMap.cloneConfigMap();
}

void freeConfigMapClone(HashMap* map) { ConfigMap::freeConfigMapClone(map); }

// ---- The link's two getters -------------------------------------------------------------------

const char* cp_GetConfigurationProperty(const char* name) {
  return getConfigurationPropertyInternal(name);
}

const char* cp_GetSubnodeConfigurationProperty(const char* type, const char* subnode,
                                               const char* name) {
  return getSubnodeConfigurationPropertyInternal(name, subnode, type);
}
