// One line per catalog entry with every setting, then one line per statement (version: plain text
// | cluster text, then its base tables), so a test compares a whole entry at once and a failure
// shows which part differs.
#ifndef VEL_TESTS_UNIT_CATALOG_CATALOGDESCRIBE_H
#define VEL_TESTS_UNIT_CATALOG_CATALOGDESCRIBE_H

#include <string>

#include "OraXMLSQLData.h"

// What describe() writes after the id of an entry that sets nothing.
inline const std::string kDefaults = " rows=1000 odi=0 every=0 type= timeout=0 inst=-1 db=";

inline std::string describe(const OraXMLSQLInfo& i) {
  std::string s = std::string(i.getId()) + " rows=" + std::to_string(i.getMaxRowNum()) +
                  (i.isSimpleSQL() ? " simple" : "") + " odi=" + std::to_string(i.getODIVersion()) +
                  " every=" + std::to_string(i.getInterval()) + " type=" + i.getType() +
                  " timeout=" + std::to_string(i.getTimeout()) +
                  " inst=" + std::to_string(i.getInstanceIDIndex()) + " db=";
  for (const OraXMLSQLDBType& t : i.getDatabaseTypes())
    s += std::to_string(t.getDatabaseType()) + "/" + std::to_string(t.getRole()) + ",";
  for (const OraXMLSQL& q : i.getSQLList()) {
    s += "\n" + std::to_string(q.getDBVersion()) + ": " + q.getSQLText() + " | " +
         q.getClusterSQLText();
    for (const OraXMLSQLTable& t : q.getBaseTables())
      s += std::string(" [") + t.getQueryName() + " " + t.getGrantName() + "]";
  }
  return s;
}

// Every entry of the catalog, in order, separated by empty lines.
inline std::string describe(const OraXMLSQLData& d) {
  std::string s;
  for (const OraXMLSQLInfo& i : d.getEntries()) s += (s.empty() ? "" : "\n\n") + describe(i);
  return s;
}

#endif  // VEL_TESTS_UNIT_CATALOG_CATALOGDESCRIBE_H
