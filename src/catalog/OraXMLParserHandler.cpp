#include "OraXMLParserHandler.h"

#include <cstdlib>
#include <cstring>

#include "MUT1.h"
#include "VelEncoding.h"
#include "VelUtil.h"
#include "VelXMLFile.h"

VEL_TRACE_UNIT("catalog");

namespace {

constexpr size_t kMaxDepth = 4;  // elements below this depth are ignored

bool nameIs(const char* name, const char* wanted) { return velstricmp(name, wanted) == 0; }

}  // namespace

OraXMLParserHandler::OraXMLParserHandler(OraXMLSQLData& data)
    : m_data(data),
      m_defaultMaxRowNum(vel_getEnvAsInt("VEL_DEFAULT_MAXROWNUM", VEL_CATALOG_DEFAULT_MAXROWNUM)) {
  VEL_DETAIL("default is %d", m_defaultMaxRowNum);
}

// Entries still under construction (after a parse error) are discarded by their owners.
OraXMLParserHandler::~OraXMLParserHandler() = default;

void OraXMLParserHandler::startElement(void* userData, const char* name, const char** attributes) {
  static_cast<OraXMLParserHandler*>(userData)->onStart(name, attributes);
}

void OraXMLParserHandler::endElement(void* userData, const char* name) {
  static_cast<OraXMLParserHandler*>(userData)->onEnd(name);
}

void OraXMLParserHandler::onCharacters(void* userData, const char* text, int length) {
  static_cast<OraXMLParserHandler*>(userData)->onText(text, length);
}

void OraXMLParserHandler::onStart(const char* name, const char** attributes) {
  ++m_depth;
  if (m_depth == 1) m_sawDocument = true;
  if (m_depth > kMaxDepth || name == nullptr) return;
  Kind kind = Kind::Other;
  switch (m_depth) {
    case 2:
      if (nameIs(name, "SQLInfo")) {
        kind = Kind::SQLInfo;
        startSQLInfo(attributes);
      }
      break;
    case 3:
      if (kindAt(2) != Kind::SQLInfo || !m_currentInfo) break;
      if (nameIs(name, "SQL")) {
        kind = Kind::SQL;
        startSQL(name, attributes);
      } else if (nameIs(name, "DatabaseType")) {
        kind = Kind::DatabaseType;
        startDatabaseType(attributes);
      }
      break;
    case 4:
      if (kindAt(3) != Kind::SQL || !m_currentSQL) break;
      if (nameIs(name, "BaseTable")) {
        kind = Kind::BaseTable;
        startBaseTable(attributes);
      } else if (nameIs(name, "SQLText")) {
        kind = Kind::SQLText;
        m_chars.clear();
      } else if (nameIs(name, "ClusterText")) {
        kind = Kind::ClusterText;
        m_chars.clear();
      }
      break;
    default:
      break;
  }
  m_kinds[m_depth] = kind;
}

void OraXMLParserHandler::startSQLInfo(const char** attributes) {
  m_currentInfo.reset();
  const char* id = nullptr;
  int32_t maxRowNum = m_defaultMaxRowNum;
  bool simpleSQL = false;
  int32_t odiVersion = 0, interval = 0, timeout = 0, instanceIDIndex = -1;
  const char* type = nullptr;
  // A later attribute of the same name (ignoring case) overrides an earlier one.
  for (const char** a = attributes; a != nullptr && a[0] != nullptr && a[1] != nullptr; a += 2) {
    const char* key = a[0];
    const char* value = a[1];
    if (nameIs(key, "id"))
      id = value;
    else if (nameIs(key, "maxrownum"))
      maxRowNum = velAttrToInt(value);
    else if (nameIs(key, "simplesql"))
      simpleSQL = nameIs(value, "true");
    else if (nameIs(key, "odiversion"))
      odiVersion = velAttrToInt(value);
    else if (nameIs(key, "interval"))
      interval = velAttrToInt(value);
    else if (nameIs(key, "type"))
      type = value;
    else if (nameIs(key, "timeout"))
      timeout = velAttrToInt(value);
    else if (nameIs(key, "InstanceIDIndex"))
      instanceIDIndex = velAttrToInt(value);
  }
  if (id == nullptr) {
    VEL_DETAIL("SQLInfo without id is ignored");
    return;
  }
  m_currentInfo.reset(new OraXMLSQLInfo(id, maxRowNum));
  if (!m_currentInfo) {
    VEL_ERROR("Error at memory allocation for SQLInfo %s", id);
    return;
  }
  m_currentInfo->setSimpleSQL(simpleSQL);
  m_currentInfo->setODIVersion(odiVersion);
  m_currentInfo->setInterval(interval);
  m_currentInfo->setType(type);
  m_currentInfo->setTimeout(timeout);
  m_currentInfo->setInstanceIDIndex(instanceIDIndex);
}

void OraXMLParserHandler::startSQL(const char* name, const char** attributes) {
  m_currentSQL.reset();
  int32_t dbVersion = 0;
  const char* sqlText = nullptr;
  const char* clusterText = nullptr;
  for (const char** a = attributes; a != nullptr && a[0] != nullptr && a[1] != nullptr; a += 2) {
    if (nameIs(a[0], "dbversion"))
      dbVersion = velAttrToInt(a[1]);
    else if (nameIs(a[0], "sqltext"))
      sqlText = a[1];
    else if (nameIs(a[0], "clustersqlText"))
      clusterText = a[1];
  }
  if (sqlText != nullptr || clusterText != nullptr)
    VEL_DETAIL("Current node %s has OLD format ", name);
  if (dbVersion == 0) {
    VEL_DETAIL("SQL of %s without dbversion is ignored", m_currentInfo->getId());
    return;
  }
  m_currentSQL.reset(new OraXMLSQL(dbVersion, sqlText, clusterText));
  if (!m_currentSQL)
    VEL_ERROR("Error at memory allocation for DB version %d of %s", dbVersion,
              m_currentInfo->getId());
}

void OraXMLParserHandler::startBaseTable(const char** attributes) {
  const char* queryName = "";
  const char* grantName = "";
  for (const char** a = attributes; a != nullptr && a[0] != nullptr && a[1] != nullptr; a += 2) {
    if (nameIs(a[0], "queryname"))
      queryName = a[1];
    else if (nameIs(a[0], "grantname"))
      grantName = a[1];
  }
  VEL_DETAIL("Current queryname:%s, grantname:%s", queryName, grantName);
  m_currentSQL->addBaseTable(OraXMLSQLTable(queryName, grantName));
}

void OraXMLParserHandler::startDatabaseType(const char** attributes) {
  const char* value = nullptr;
  const char* role = nullptr;
  for (const char** a = attributes; a != nullptr && a[0] != nullptr && a[1] != nullptr; a += 2) {
    if (nameIs(a[0], "value"))
      value = a[1];
    else if (nameIs(a[0], "role"))
      role = a[1];
  }
  VEL_DETAIL("Current SQLID: %s, databaseType:%s, Role:%s", m_currentInfo->getId(),
             value ? value : "", role ? role : "");
  OraXMLSQLDBType type(value, role);
  if (type.getDatabaseType() >= OraXMLSQLDBType::TYPE_RDB) m_currentInfo->addDatabaseType(type);
}

void OraXMLParserHandler::onText(const char* text, int length) {
  if (text == nullptr || length <= 0 || !m_currentSQL || m_depth != kMaxDepth) return;
  Kind kind = m_kinds[m_depth];
  if (kind != Kind::SQLText && kind != Kind::ClusterText) return;
  m_chars.append(text, static_cast<size_t>(length));
}

void OraXMLParserHandler::onEnd(const char* /*name*/) {
  if (m_depth == 0) return;  // an unbalanced end event; the parser never sends one
  // The parser guarantees that the end matches the innermost open element, whose kind was
  // recorded at its start.
  Kind kind = kindAt(m_depth);
  if (m_depth == 2 && kind == Kind::SQLInfo && m_currentInfo) {
    m_data.addUnique(*m_currentInfo);
    m_currentInfo.reset();
  } else if (m_depth == 3 && kind == Kind::SQL && m_currentSQL && m_currentInfo) {
    m_currentInfo->addSQL(*m_currentSQL);
    m_currentSQL.reset();
  } else if (m_depth == 4 && kind == Kind::SQLText && m_currentSQL) {
    // Also when empty: an empty SQLText clears a text given in the old-format attribute.
    if (!m_currentSQL->setSQLText(m_chars.c_str()))
      VEL_ERROR("No memory for the SQL text of %s", m_currentInfo ? m_currentInfo->getId() : "");
    m_chars.clear();
  } else if (m_depth == 4 && kind == Kind::ClusterText && m_currentSQL) {
    if (!m_currentSQL->setClusterSQLText(m_chars.c_str()))
      VEL_ERROR("No memory for the cluster SQL text of %s",
                m_currentInfo ? m_currentInfo->getId() : "");
    m_chars.clear();
  }
  if (m_depth <= kMaxDepth) m_kinds[m_depth] = Kind::Other;
  --m_depth;
}

bool OraXMLParserHandler::parseXML(const char* fileName, OraXMLSQLData& data) {
  VEL_FLOW_ENTRY("OraXMLParserHandler::parseXML");
  OraXMLParserHandler handler(data);
  if (!velParseXMLFile(fileName, &handler, startElement, endElement, onCharacters))
    VEL_RETURN(false);
  velTraceIncompleteXML(fileName, handler.sawDocument(), handler.getDepth());
  VEL_DETAIL("XML file %s parsed, %d entries in the catalog", fileName,
             static_cast<int>(data.size()));
  VEL_RETURN(true);
}
