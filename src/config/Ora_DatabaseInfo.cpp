#include "Ora_DatabaseInfo.h"

#include "MUT1.h"
#include "VelEncoding.h"

VEL_TRACE_UNIT("database");

void Ora_DatabaseInfo::setInfo(const char* type, const char* name, const char* version,
                               int shortVersion, const char* bitVersion, const char* clusterText,
                               const char* role, const char* instanceName, const char* hostName) {
  if (type) m_type.assign(type);
  if (name) m_name.assign(name);
  if (version) m_version.assign(version);
  m_shortVersion = shortVersion;
  if (bitVersion) m_bitVersion.assign(bitVersion);
  if (clusterText) m_isCluster = velstricmp(clusterText, "true") == 0;
  if (role) m_role.assign(role);
  if (instanceName) m_instanceName.assign(instanceName);
  if (hostName) m_hostName.assign(hostName);
}

void Ora_DatabaseInfo::dump() const {
  VEL_DETAIL("Database name is:%s, version is:%s, type is:%s", m_name.c_str(), m_version.c_str(),
             m_type.c_str());
  VEL_DETAIL("Short version is:%d, bit is:%s, cluster flag is:%d, role is:%s", m_shortVersion,
             m_bitVersion.c_str(), m_isCluster ? 1 : 0, m_role.c_str());
}
