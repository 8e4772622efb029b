#include "CAlertEntry.h"

#include "MUT1.h"

VEL_TRACE_UNIT("alertlog");

void CAlertEntry::dump() const {
  VEL_DETAIL("Current instance name is:%s, hostname is:%s, database name is:%s",
             m_sInstance.c_str(), m_sHost.c_str(), m_sDatabase.c_str());
  VEL_DETAIL("MsgID is:%s, serverity is:%d, text is:%s", m_sMsgId.c_str(), m_iSeverity,
             m_sText.c_str());
}

void CAlertEntry::set(const char* instance, const char* msgid, int severity, time_t timestamp,
                      const char* text, const char* host, const char* database) {
  m_sInstance.assign(instance);
  m_sMsgId.assign(msgid);
  m_iSeverity = severity;
  m_tTimestamp = timestamp;
  m_sText.assign(text);
  m_sHost.assign(host);
  m_sDatabase.assign(database);
}
