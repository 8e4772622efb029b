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

void VelConfigInstance::dump() const {
  if (!VEL_TRACE_ON(MUT1_DETAIL)) return;
  VEL_DETAIL("Subnode is:%s", m_subnodeName.traceText());
  VEL_DETAIL("Instance name is:%s", m_instanceName.traceText());
  VEL_DETAIL("Connect name is:%s", m_connectString.traceText());
  VEL_DETAIL("User ID is:%s", m_userId.traceText());
  VEL_DETAIL("Password has %d characters", static_cast<int>(m_password.length()));
  VEL_DETAIL("Mode is:%s", m_connectMode.traceText());
  VEL_DETAIL("DataGuard Group is:%s", m_dgGroup.traceText());
  VEL_DETAIL("Alert log path is:%s", m_logPaths.traceText());
  VEL_DETAIL("Alert Log characters is:%s", m_logCharset.traceText());
}

void VelConfigGlobalInfo::dump() const {
  if (!VEL_TRACE_ON(MUT1_DETAIL)) return;
  VEL_DETAIL("Global User ID is:%s", m_userId.traceText());
  VEL_DETAIL("Global Password has %d characters", static_cast<int>(m_password.length()));
  VEL_DETAIL("Oracle Home is:%s", m_oracleHome.traceText());
  VEL_DETAIL("Instant Client Path is:%s", m_instantClientPath.traceText());
  VEL_DETAIL("TNS Path is:%s", m_tnsPath.traceText());
  VEL_DETAIL("Dynamic listener is:%s", m_dynamicListener.traceText());
  VEL_DETAIL("Customized SQL path is:%s", m_customizedSql.traceText());
}
