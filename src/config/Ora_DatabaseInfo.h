// The facts a database session learns right after log-on (type, name, version, cluster flag,
// role, instance and host), kept as a value: the session fills it, the configuration keeps a copy
// per connection. It uses only strings and the trace, so the configuration, one layer below the
// database access, can hold it without depending on that layer. Not locked: its owner guards it.
#ifndef VEL_CONFIG_ORA_DATABASEINFO_H
#define VEL_CONFIG_ORA_DATABASEINFO_H

#include "VelString.h"

// What a session learnt about its database from the "DatabaseInformation" statement.
class Ora_DatabaseInfo {
 public:
  // Assigns each non-null text; the cluster flag is true when clusterText equals "true"
  // ignoring case.
  void setInfo(const char* type, const char* name, const char* version, int shortVersion,
               const char* bitVersion, const char* clusterText, const char* role,
               const char* instanceName, const char* hostName);
  void dump() const;

  VelString m_type;  // "RDB", "ASM" or "DG"
  VelString m_name;
  VelString m_version;
  int m_shortVersion = 0;  // version number of the catalog lookups
  VelString m_bitVersion;
  bool m_isCluster = false;
  VelString m_role;
  VelString m_hostName;
  VelString m_instanceName;
};

#endif  // VEL_CONFIG_ORA_DATABASEINFO_H
