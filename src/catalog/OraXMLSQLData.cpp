#include "OraXMLSQLData.h"

#include <cstring>

#include "MUT1.h"
#include "VelEncoding.h"

VEL_TRACE_UNIT("catalog");

namespace {
bool isEmpty(const char* s) { return s == nullptr || *s == 0; }
}  // namespace

// ---- OraXMLSQLTable ------------------------------------------------------------------------

OraXMLSQLTable::OraXMLSQLTable(const char* queryName, const char* grantName)
    : m_queryName(queryName), m_grantName(grantName) {}

bool OraXMLSQLTable::operator==(const OraXMLSQLTable& other) const {
  return velstricmp(m_queryName.c_str(), other.m_queryName.c_str()) == 0 &&
         velstricmp(m_grantName.c_str(), other.m_grantName.c_str()) == 0;
}

// ---- OraXMLSQLDBType -----------------------------------------------------------------------

OraXMLSQLDBType::OraXMLSQLDBType(const char* value, const char* role) {
  if (isEmpty(value)) return;
  if (velstricmp(value, "RDB") == 0)
    m_databaseType = TYPE_RDB;
  else if (velstricmp(value, "ASM") == 0)
    m_databaseType = TYPE_ASM;
  else if (velstricmp(value, "DG") == 0)
    m_databaseType = TYPE_DG;
  if (isEmpty(role)) return;
  if (velstricmp(role, "LOGICAL STANDBY") == 0)
    m_role = ROLE_LOGICAL_STANDBY;
  else if (velstricmp(role, "PHYSICAL STANDBY") == 0)
    m_role = ROLE_PHYSICAL_STANDBY;
  else if (velstricmp(role, "SNAPSHOT STANDBY") == 0)
    m_role = ROLE_SNAPSHOT_STANDBY;
  else if (velstricmp(role, "PRIMARY") == 0)
    m_role = ROLE_PRIMARY;
}

// ---- OraXMLSQL -----------------------------------------------------------------------------

OraXMLSQL::OraXMLSQL(int32_t dbVersion, const char* sqlText, const char* clusterSQLText)
    : m_dbVersion(dbVersion), m_sqlText(sqlText), m_clusterSQLText(clusterSQLText) {}

bool OraXMLSQL::isValid() const {
  return m_dbVersion != 0 && (m_sqlText.length() > 0 || m_clusterSQLText.length() > 0);
}

void OraXMLSQL::addBaseTable(const OraXMLSQLTable& table) {
  if (isEmpty(table.getQueryName()) || isEmpty(table.getGrantName())) return;
  for (const OraXMLSQLTable& t : m_baseTables)
    if (t == table) return;
  m_baseTables.push_back(table);
}

void OraXMLSQL::mergeFrom(const OraXMLSQL& other) {
  if (other.m_sqlText.length() > 0) m_sqlText = other.m_sqlText;
  if (other.m_clusterSQLText.length() > 0) m_clusterSQLText = other.m_clusterSQLText;
  if (!other.m_baseTables.empty()) m_baseTables = other.m_baseTables;
}

// ---- OraXMLSQLInfo -------------------------------------------------------------------------

OraXMLSQLInfo::OraXMLSQLInfo(const char* id, int32_t maxRowNum)
    : m_id(id), m_maxRowNum(maxRowNum) {}

const OraXMLSQL* OraXMLSQLInfo::findSQL(int32_t version) const {
  const OraXMLSQL* best = nullptr;
  for (const OraXMLSQL& s : m_sqlList) {
    if (s.getDBVersion() == version) return &s;
    if (s.getDBVersion() < version && (best == nullptr || s.getDBVersion() > best->getDBVersion()))
      best = &s;
  }
  return best;
}

const char* OraXMLSQLInfo::getSQL(int32_t version, bool isCluster) const {
  const OraXMLSQL* s = findSQL(version);
  if (s == nullptr) return nullptr;
  const char* text = isEmpty(s->getSQLText()) ? nullptr : s->getSQLText();
  if (isCluster && !isEmpty(s->getClusterSQLText())) return s->getClusterSQLText();
  return text;
}

bool OraXMLSQLInfo::addSQL(const OraXMLSQL& sql) {
  VEL_FLOW_ENTRY("OraXMLSQLInfo::addSQL");
  if (!sql.isValid()) {
    VEL_ERROR("The OraXMLSQL state is invalid, SQLText is %s, ClusterSQLText is %s",
              sql.getSQLText(), sql.getClusterSQLText());
    VEL_RETURN(false);
  }
  for (const OraXMLSQL& s : m_sqlList) {
    if (s.getDBVersion() == sql.getDBVersion()) {
      VEL_ERROR("There is duplicate DB Version %d for %s SQLInfo", sql.getDBVersion(),
                m_id.c_str());
      VEL_RETURN(false);
    }
  }
  m_sqlList.push_back(sql);
  VEL_RETURN(true);
}

void OraXMLSQLInfo::mergeFrom(const OraXMLSQLInfo& other) {
  VEL_FLOW_ENTRY("OraXMLSQLInfo::mergeFrom");
  if (other.m_interval != 0) m_interval = other.m_interval;
  if (other.m_type.length() > 0) m_type = other.m_type;
  if (other.m_timeout != 0) m_timeout = other.m_timeout;
  // A customised entry without "maxrownum" carries the default, which is non-zero, so it
  // overrides the shipped limit too.
  if (other.m_maxRowNum != 0) m_maxRowNum = other.m_maxRowNum;
  for (const OraXMLSQL& theirs : other.m_sqlList) {
    OraXMLSQL* mine = nullptr;
    for (OraXMLSQL& s : m_sqlList) {
      if (s.getDBVersion() == theirs.getDBVersion()) {
        mine = &s;
        break;
      }
    }
    if (mine != nullptr) {
      VEL_DETAIL("Merging DB version %d of %s", theirs.getDBVersion(), m_id.c_str());
      mine->mergeFrom(theirs);
    } else {
      VEL_DETAIL("Adding DB version %d to %s", theirs.getDBVersion(), m_id.c_str());
      m_sqlList.push_back(theirs);
    }
  }
}

void OraXMLSQLInfo::getPrivilegeTables(int32_t version, int32_t databaseType, int32_t role,
                                       std::vector<OraXMLSQLTable>& tables) const {
  const OraXMLSQL* s = findSQL(version);
  if (s == nullptr) return;
  bool matched = false;
  for (const OraXMLSQLDBType& t : m_databaseTypes) {
    if (t.getDatabaseType() == databaseType &&
        (t.getRole() == 0 || (t.getRole() > 0 && t.getRole() == role))) {
      matched = true;
      break;
    }
  }
  if (!matched) return;
  for (const OraXMLSQLTable& table : s->getBaseTables()) {
    bool known = false;
    for (const OraXMLSQLTable& t : tables) {
      if (t == table) {
        known = true;
        break;
      }
    }
    if (!known) tables.push_back(table);
  }
}

// ---- OraXMLSQLData -------------------------------------------------------------------------

const OraXMLSQLInfo* OraXMLSQLData::getSQLInfo(const char* sqlId) const {
  if (sqlId == nullptr) return nullptr;
  auto it = m_index.find(sqlId);
  return it == m_index.end() ? nullptr : &m_entries[it->second];
}

OraXMLSQLInfo* OraXMLSQLData::getSQLInfo(const char* sqlId) {
  return const_cast<OraXMLSQLInfo*>(static_cast<const OraXMLSQLData*>(this)->getSQLInfo(sqlId));
}

const char* OraXMLSQLData::getSQL(int32_t version, const char* sqlId, int32_t& maxRowNum,
                                  bool isCluster) const {
  VEL_FLOW_ENTRY("OraXMLSQLData::getSQL");
  VEL_DETAIL("Searching version %d, SQLID %s, isCluster %d", version, sqlId ? sqlId : "(null)",
             isCluster ? 1 : 0);
  const OraXMLSQLInfo* info = getSQLInfo(sqlId);
  if (info == nullptr) VEL_RETURN(static_cast<const char*>(nullptr));
  maxRowNum = info->getMaxRowNum();
  VEL_RETURN(info->getSQL(version, isCluster));
}

bool OraXMLSQLData::addUnique(const OraXMLSQLInfo& info) {
  VEL_FLOW_ENTRY("OraXMLSQLData::addUnique");
  if (getSQLInfo(info.getId()) != nullptr) {
    VEL_ERROR("The %s SQLInfo exist!", info.getId());
    VEL_RETURN(false);
  }
  m_index.emplace(info.getId(), m_entries.size());
  m_entries.push_back(info);
  VEL_RETURN(true);
}

void OraXMLSQLData::mergeFrom(const OraXMLSQLData& other) {
  VEL_FLOW_ENTRY("OraXMLSQLData::mergeFrom");
  if (&other == this) return;
  for (const OraXMLSQLInfo& theirs : other.m_entries) {
    OraXMLSQLInfo* mine = getSQLInfo(theirs.getId());
    if (mine != nullptr) {
      VEL_DETAIL("Merging customized SQLInfo %s", theirs.getId());
      mine->mergeFrom(theirs);
    } else {
      VEL_DETAIL("Appending customized SQLInfo %s", theirs.getId());
      m_index.emplace(theirs.getId(), m_entries.size());
      m_entries.push_back(theirs);
    }
  }
}

void OraXMLSQLData::dump() const {
  VEL_FLOW_ENTRY("OraXMLSQLData::dump");
  if (!VEL_TRACE_ON(MUT1_DETAIL)) return;
  VEL_DETAIL("SQL XML entry count: %d", static_cast<int>(m_entries.size()));
  for (const OraXMLSQLInfo& info : m_entries) {
    VEL_DETAIL("SQL ID %s,maxrow %d,odiversion %d,simplesql %d,interval %d,type %s,timeout %d",
               info.getId(), info.getMaxRowNum(), info.getODIVersion(), info.isSimpleSQL() ? 1 : 0,
               info.getInterval(), info.getType(), info.getTimeout());
    for (const OraXMLSQL& s : info.getSQLList())
      VEL_DETAIL("\tDBversion %d sql '%s', cluster sql '%s'", s.getDBVersion(), s.getSQLText(),
                 s.getClusterSQLText());
  }
}
