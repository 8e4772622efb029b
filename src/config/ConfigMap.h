// The link's configuration directory: configuration variables and subnodes (the repeatable
// sections of an agent) by a fixed naming scheme, read from the process environment or from a
// local map of properties.
//
// Names (PC = value of HOZ_PRODUCT_CODE, TYPE = subnode type, N = index from 1):
//   PC_TYPE_COUNT          highest subnode index of TYPE
//   PC_TYPE_IDLABEL_N      key (label) of the N-th subnode
//   PC_TYPE_SECTIONID_N    section identifier of the N-th subnode
//   PC_TYPE_NAME_N         value of NAME for subnode N
//   PC_TYPE_NAME_DEFAULT   value of NAME for every subnode of TYPE without its own
//   NAME_HOZ_TRACE         text shown in traces instead of NAME's value
#ifndef VEL_CONFIG_CONFIGMAP_H
#define VEL_CONFIG_CONFIGMAP_H

#include <pthread.h>

#include "HashMap.h"

class ConfigMap {
 public:
  ConfigMap();
  ~ConfigMap();
  ConfigMap(const ConfigMap&) = delete;
  ConfigMap& operator=(const ConfigMap&) = delete;

  // The methods below assume the caller holds the map's mutex (see ConfigMapLock); the global
  // functions further down take it themselves.

  // Switches between a local map of properties (true: a new empty map) and the process
  // environment (false: the local map and its texts are freed).
  void useLocalMap(bool local);
  bool hasLocalMap() const { return m_map != nullptr; }

  // The value of name, or null. Points into the map or the environment; valid until that entry
  // changes.
  const char* get(const char* name) const;
  // The value of name + "_HOZ_TRACE" when there is one, else value.
  const char* getTraceableValue(const char* name, const char* value) const;
  // The key of the n-th subnode of type; null when missing or empty.
  const char* getSubnodeKey(const char* pc, const char* type, int n) const;
  // PC_TYPE_COUNT as a number, or -1 when it is not set.
  int getHighestSubnodeIndex(const char* type) const;
  void setHighestSubnodeIndex(const char* type, int n);
  // The index (new decimal text, the caller frees it) of the subnode whose key equals key after
  // dropping every byte other than letters, digits, '_', '-' and '.'; null when there is none.
  char* getSubnodeIndex(const char* pc, const char* key, const char* type) const;
  // The first non-empty of PC_TYPE_NAME_INDEX (when index is given), PC_TYPE_NAME_DEFAULT, NAME.
  const char* getSubnodeConfigurationVariable(const char* pc, const char* type, const char* name,
                                              const char* index) const;
  // Every existing subnode key of type, indexes 1 to the highest, in order: a new array of new
  // texts (the caller frees both); *count receives their number. Null when there are none.
  char** getSubnodeKeys(const char* type, int* count) const;

  // Setters: the local map when there is one, else the environment (PEB1_PutEnv).
  void put(const char* name, const char* value);
  void remove(const char* name);
  void setConfigurationProperty(const char* name, const char* value) { put(name, value); }
  // Always the process environment.
  void setEnvProperty(const char* name, const char* value);
  void setSubnodeProperty(const char* type, int index, const char* name, const char* value);
  // Removes PC_TYPE_*_INDEX for every name (the local map only: the environment keeps them).
  void removeSubnodeProperties(const char* type, int index);
  // Adds a subnode of type (the section name) with key id; returns its index (an existing key
  // keeps its index), 0 for a defaults section (id "DEFAULT"), -1 for an unusable name or id.
  int addSection(const char* section, const char* id);
  // Removes the subnode's label, section id and properties; false when the key is unknown.
  bool removeSection(const char* section, const char* id);
  void setTraceableValue(const char* name, const char* traceValue);
  // Copies the variable's value from the agent environment into the map.
  void loadAgentEnvironmentVariable(const char* name);
  // A new map holding copies of every key and value of the local map (empty without one).
  HashMap* cloneConfigMap() const;
  static void freeConfigMapClone(HashMap* map);

  const char* getAgentBinDir() const { return m_agentBinDir; }
  const char* productCode() const { return get(m_productCodeVariable); }

  pthread_mutex_t* mutex() { return &m_mutex; }

 private:
  HashMap* m_map = nullptr;  // name -> value, heap copies owned here; null: the environment
  pthread_mutex_t m_mutex;
  const char* m_agentBinDir;
  const char* m_productCodeVariable = "HOZ_PRODUCT_CODE";
};

// The process-wide instance, created before main.
extern ConfigMap configMap;

// Holds the map's mutex for the life of the object.
class ConfigMapLock {
 public:
  explicit ConfigMapLock(ConfigMap& map) : m_map(map) { pthread_mutex_lock(m_map.mutex()); }
  ~ConfigMapLock() { pthread_mutex_unlock(m_map.mutex()); }
  ConfigMapLock(const ConfigMapLock&) = delete;
  ConfigMapLock& operator=(const ConfigMapLock&) = delete;

 private:
  ConfigMap& m_map;
};

// Lookups on configMap, each under its mutex.
const char* getConfigurationPropertyInternal(const char* name);
const char* getConfigurationProperty(const char* name);  // traces a missing property
const char* getSubnodeKey(const char* type, int index);
char* getSubnodeIndex(const char* key, const char* type);  // the caller frees the result
const char* getSubnodeConfigurationVariable(const char* type, const char* name, const char* index);
const char* getSubnodeConfigurationPropertyInternal(const char* name, const char* subnodeKey,
                                                    const char* type);
const char* getSubnodeConfigurationProperty(const char* name, const char* subnodeKey,
                                            const char* type);
char** getSubnodeKeys(const char* type, int* count);
void loadAgentEnvironmentVariable(const char* name);
HashMap* cloneConfigMap();
void freeConfigMapClone(HashMap* map);

#endif  // VEL_CONFIG_CONFIGMAP_H
