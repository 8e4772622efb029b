// Records of the instance configuration.
#include "VelConfigInstance.h"

#include <openssl/crypto.h>

#include "MUT1.h"

VEL_TRACE_UNIT("config");

void velWipeString(VelString& s) {
  // An empty string points at the shared empty text, which must never be written.
  if (s.length() == 0) return;
  OPENSSL_cleanse(const_cast<char*>(s.c_str()), s.length());
}

VelConfigInstance::~VelConfigInstance() { velWipeString(m_password); }

void VelConfigInstance::dump() const {
  if (!VEL_TRACE_ON(MUT1_DETAIL)) return;
  VEL_DETAIL("Subnode is:%s", m_subnodeName.c_str());
  VEL_DETAIL("Instance name is:%s", m_instanceName.c_str());
  VEL_DETAIL("Connect name is:%s", m_connectString.c_str());
  VEL_DETAIL("User ID is:%s", m_userId.c_str());
  VEL_DETAIL("Password has %d characters", static_cast<int>(m_password.length()));
  VEL_DETAIL("Mode is:%s", m_connectMode.c_str());
  VEL_DETAIL("DataGuard Group is:%s", m_dgGroup.c_str());
  VEL_DETAIL("Alert log path is:%s", m_logPaths.c_str());
  VEL_DETAIL("Alert Log characters is:%s", m_logCharset.c_str());
}

VelConfigGlobalInfo::~VelConfigGlobalInfo() { velWipeString(m_password); }

void VelConfigGlobalInfo::dump() const {
  if (!VEL_TRACE_ON(MUT1_DETAIL)) return;
  VEL_DETAIL("Global User ID is:%s", m_userId.c_str());
  VEL_DETAIL("Global Password has %d characters", static_cast<int>(m_password.length()));
  VEL_DETAIL("Oracle Home is:%s", m_oracleHome.c_str());
  VEL_DETAIL("Instant Client Path is:%s", m_instantClientPath.c_str());
  VEL_DETAIL("TNS Path is:%s", m_tnsPath.c_str());
  VEL_DETAIL("Dynamic listener is:%s", m_dynamicListener.c_str());
  VEL_DETAIL("Customized SQL path is:%s", m_customizedSql.c_str());
}
