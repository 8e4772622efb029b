// The instances of a worker's database: one entry for a single-instance database, one per
// instance for a cluster. Gives every data request the connected instance, host and database
// unique name, labels rows that carry an instance number, and answers RDB_Instance_Info and
// ASM_Instance. Instances that stop appearing are kept and reported "OFFLINE". Used by its worker
// thread only.
#ifndef VEL_REQUEST_VELCACHEDINSTANCELIST_H
#define VEL_REQUEST_VELCACHEDINSTANCELIST_H

#include "VelList.h"
#include "VelMemManager.h"
#include "VelMutex.h"
#include "VelString.h"

class Ora_Database;

class VelCachedInstance : public Vel_BaseMemPool {
 public:
  static constexpr int kFieldCount = 17;
  // 1-based positions the program interprets.
  static constexpr int kInstID = 1;
  static constexpr int kInstName = 3;
  static constexpr int kHostName = 4;
  static constexpr int kStatus = 7;

  // Copies the first 17 of count values into the fields (missing or null values become empty);
  // a null row changes nothing.
  void set(const char* const* row, unsigned count);
  // Field 1..17; "" outside that range.
  const char* getField(int position) const;
  void setField(int position, const char* value);

  const char* getInstID() const { return getField(kInstID); }
  const char* getInstName() const { return getField(kInstName); }
  const char* getHostName() const { return getField(kHostName); }
  const char* getStatus() const { return getField(kStatus); }
  bool isOffline() const;

 private:
  VelString m_fields[kFieldCount];
};

class VelCachedInstanceList : public Vel_BaseMemPool {
 public:
  // Status text of an instance missing from the last answer.
  static constexpr const char* kOffline = "OFFLINE";

  // First filling from "All_Instance_Name" (column 1 the identifier, column 2 the name).
  void init(Ora_Database& database);
  // Refresh: unique name, connected instance and host ("Current_Instance_Info"), the instances
  // ("RDB_Instance_Info").
  void update(Ora_Database& database);
  void updateGeneralInfo(Ora_Database& database);
  void updateInstanceInfo(Ora_Database& database);

  // The first instance whose field 1 (identifier) / 3 (name) equals the text exactly; null for
  // a null or empty text or no match.
  const VelCachedInstance* getInstancebyInstID(const char* id) const;
  const VelCachedInstance* getInstancebyInstName(const char* name) const;

  // Answers the two instance groups under sendMutex. Null request id: traced, nothing sent.
  void ProcessReq_RDB_Instance_Info(Ora_Database& database, VelMutex& sendMutex,
                                    const char* requestId);
  void ProcessReq_ASM_Instance(Ora_Database& database, VelMutex& sendMutex, const char* requestId);

  void dumpInfo() const;

  const char* getConnectedInstanceName() const { return m_instanceName.c_str(); }
  const char* getConnectedHostName() const { return m_hostName.c_str(); }
  const char* getDatabaseUniqueName() const { return m_uniqueName.c_str(); }
  void setDatabaseUniqueName(const char* name) { m_uniqueName.assign(name); }
  const VelTypePtrList<VelCachedInstance>& getInstances() const { return m_instances; }
  unsigned getCount() const { return m_instances.getCount(); }

 private:
  VelTypePtrList<VelCachedInstance> m_instances;  // in order of discovery
  VelString m_instanceName;
  VelString m_hostName;
  VelString m_uniqueName;
};

#endif  // VEL_REQUEST_VELCACHEDINSTANCELIST_H
