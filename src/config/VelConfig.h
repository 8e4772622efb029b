// The process-wide directory of monitored connections (VelConfig), one item per connection
// (VelConfigItem), looked up by subnode name.
#ifndef VEL_CONFIG_VELCONFIG_H
#define VEL_CONFIG_VELCONFIG_H

#include "Ora_DatabaseInfo.h"
#include "VelConfigInstance.h"
#include "VelList.h"
#include "VelMemManager.h"
#include "VelMutex.h"
#include "VelString.h"

// One monitored connection as the running program sees it: its configuration and the facts its
// worker learnt about the database. Not locked itself: VelConfig's mutex guards it.
class VelConfigItem : public Vel_BaseMemPool {
 public:
  // Takes ownership of instance (which may be null); the subnode name is copied from it.
  explicit VelConfigItem(VelConfigInstance* instance);
  virtual ~VelConfigItem();
  VelConfigItem(const VelConfigItem&) = delete;
  VelConfigItem& operator=(const VelConfigItem&) = delete;

  void updateDatabaseInfo(const Ora_DatabaseInfo& info) { m_dbInfo = info; }
  void getDBInfo(Ora_DatabaseInfo& out) const { out = m_dbInfo; }
  // Copies the configuration into out; false when the item has none.
  bool getConfigInfo(VelConfigInstance& out) const;

  const VelString& getSubNodeName() const { return m_subnodeName; }
  const VelConfigInstance* getInstance() const { return m_instance; }

  // Connection status kept by the subnode's worker: 1 connected, 2 not connected, 0 while the
  // worker has not tried yet.
  int getConnectStatus() const { return m_connectStatus; }
  void setConnectStatus(int status) { m_connectStatus = status; }

 private:
  Ora_DatabaseInfo m_dbInfo;      // empty until the worker has connected
  VelConfigInstance* m_instance;  // owned
  VelString m_subnodeName;
  int m_connectStatus = 0;  // guarded by VelConfig's mutex
};

class VelConfig {
 public:
  // Loads the instance configuration (VelConfigFile), takes over its global information and
  // wraps each of its instances, in order, in an item. Connections the file left out for a
  // subnode-name conflict are reported as agent events.
  VelConfig();
  ~VelConfig();
  VelConfig(const VelConfig&) = delete;
  VelConfig& operator=(const VelConfig&) = delete;

  // Under the mutex: copies the configuration of the subnode's item into out; false when there
  // is no such item.
  bool getConfigInfo(const char* subnode, VelConfigInstance& out);
  // Under the mutex: copies the database information of the subnode's item; false when there
  // is no such item.
  bool getDBInfo(const char* subnode, Ora_DatabaseInfo& out);

  // The first item whose subnode name equals subnode (strcmp); null for a null text or no
  // match. The caller holds the mutex.
  VelConfigItem* searchBySubNode(const char* subnode);

  // The mutex over the items and their database information.
  VelMutex& getMutex() { return m_mutex; }
  // The items in configuration order; guarded by getMutex(). The list is fixed after
  // construction, only the items' database information changes.
  VelTypePtrList<VelConfigItem>& getItems() { return m_items; }
  // The global values (never null after construction unless allocation failed); read-only.
  const VelConfigGlobalInfo* getGlobalInfo() const { return m_globalInfo; }

  // NOVAG_HOSTNAME when set, otherwise the local host name up to its first '.'; may be null.
  static const char* getHostName();
  // out = ORMONDHOME and true; false (with a trace) when it is not set.
  static bool getOrmondHome(VelString& out);

 private:
  VelMutex m_mutex;
  VelTypePtrList<VelConfigItem> m_items;  // guarded by m_mutex
  VelConfigGlobalInfo* m_globalInfo;      // owned; taken over from the file
};

#endif  // VEL_CONFIG_VELCONFIG_H
