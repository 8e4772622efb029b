// Records of the instance configuration: one monitored connection (VelConfigInstance) and the
// values shared by all connections (VelConfigGlobalInfo).
#ifndef VEL_CONFIG_VELCONFIGINSTANCE_H
#define VEL_CONFIG_VELCONFIGINSTANCE_H

#include "VelMemManager.h"
#include "VelString.h"

// One "config" section of the instance configuration: a monitored database connection.
// Copyable; copies carry all nine fields. The password is a secret string (never traced, wiped
// when released).
class VelConfigInstance : public Vel_BaseMemPool {
 public:
  VelConfigInstance() { m_password.setSecret(); }
  VelConfigInstance(const VelConfigInstance&) = default;
  VelConfigInstance& operator=(const VelConfigInstance&) = default;
  virtual ~VelConfigInstance() = default;

  // Traces the fields at detail level; the password only by its length.
  void dump() const;

  VelString m_instanceName;   // the section's identifier, stripped
  VelString m_connectString;  // VEL_CONN_STR
  VelString m_userId;         // VEL_CONN_USERID, else the global user id
  VelString m_password;       // VEL_CONN_PASSWORD (decrypted), else the global password
  VelString m_connectMode;    // VEL_CONN_MODE: empty, SYSDBA, SYSOPER or SYSASM
  VelString m_dgGroup;        // VEL_DG_GROUP: Data Guard group
  VelString m_logPaths;       // VEL_LOG_PATHS: alert-log paths
  VelString m_logCharset;     // VEL_LOG_CHARSET: alert-log character set
  VelString m_subnodeName;    // composed from the identifier, instance and host names
};

// The "default" and "advanced" values of the instance configuration. The password is a secret
// string.
class VelConfigGlobalInfo : public Vel_BaseMemPool {
 public:
  VelConfigGlobalInfo() { m_password.setSecret(); }
  VelConfigGlobalInfo(const VelConfigGlobalInfo&) = default;
  VelConfigGlobalInfo& operator=(const VelConfigGlobalInfo&) = default;

  // Traces the values at detail level; the password only by its length.
  void dump() const;

  VelString m_userId;             // VEL_CONN_USERID of [default]
  VelString m_password;           // VEL_CONN_PASSWORD of [default], decrypted
  VelString m_oracleHome;         // VEL_ORACLE_HOME of [default]
  VelString m_instantClientPath;  // VEL_INSTANT_CLIENT_LIBPATH of [default]
  VelString m_tnsPath;            // VEL_TNS_PATH of [advanced]
  VelString m_dynamicListener;    // VEL_DYNAMIC_LISTENER of [advanced]
  VelString m_customizedSql;      // VEL_CUSTOMIZED_SQL of [advanced]
};

// Overwrites the text of s with zero bytes (the length stays); for secrets before release.
void velWipeString(VelString& s);

#endif  // VEL_CONFIG_VELCONFIGINSTANCE_H
