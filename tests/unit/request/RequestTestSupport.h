// Shared set-up of the request tests: an agent on loopback with this process's link connected and
// registered (so answers and events can be observed), a catalog and attribute definitions of test
// groups over the stand-in's seeds, and a configuration file of monitored connections.
#ifndef VEL_TESTS_UNIT_REQUEST_REQUESTTESTSUPPORT_H
#define VEL_TESTS_UNIT_REQUEST_REQUESTTESTSUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AgentSim.h"
#include "LinkedAgent.h"
#include "OciTestSupport.h"
#include "OraXMLSQLData.h"
#include "TestSupport.h"
#include "VelAttrGroupNames.h"
#include "VelAttrGroups.h"
#include "Vel_PostEvent.h"
#include "cp_api.h"

namespace reqtest {

const char kSingle[] = "dbhost1:1521/PROD";
const char kRac[] = "rac-scan:1521/RACDB";

// Every request test needs the Oracle client stand-in loaded once per process.
[[maybe_unused]] inline ::testing::Environment* const kOciEnvironment =
    ::testing::AddGlobalTestEnvironment(new ocitest::OciEnvironment);

// A configuration section for the stand-in's monitor account.
inline std::string configSection(const char* name, const char* connect) {
  return std::string("[config ") + name + "]\nVEL_CONN_STR = " + connect +
         "\nVEL_CONN_USERID = monitor\nVEL_CONN_PASSWORD = monitor\n";
}

// A configuration file of monitored connections in force while the object lives, with subnodes
// named after their sections only.
struct ConfigFile {
  explicit ConfigFile(const std::string& text) { EXPECT_TRUE(veltest::writeFile(path, text)); }
  veltest::TempDir dir;
  std::string path = dir.file("vl_inst1.cfg");
  veltest::ScopedEnv file{"VEL_CONFIG_FILE", path.c_str()}, instance{"VEL_INSTANCE_NAME", "inst1"},
      host{"NOVAG_HOSTNAME", "hostA"}, agentName{"VEL_SUBNODE_INCLUDING_AGENTNAME", "NO"},
      hostName{"VEL_SUBNODE_INCLUDING_HOSTNAME", "NO"};
};

// Test groups, registered with themselves as handles.
inline const char kSessions[] = "TEST_SESSIONS";    // cluster-wide sessions, InstanceIDIndex 0
inline const char kStats[] = "TEST_STATS";          // no instance column
inline const char kCommits[] = "TEST_COMMITS";      // interval statement
inline const char kBroken[] = "TEST_BROKEN";        // a missing table
inline const char kSlow[] = "TEST_SLOW";            // slowed down by a fault
inline const char kNoDefinition[] = "TEST_NODEF";   // in the catalog, not in the definitions
inline const char kNoStatement[] = "TEST_NOSQL";    // in the definitions, not in the catalog
inline const char kNoAttributes[] = "TEST_NOATTR";  // a definition without attributes

// The statements of the instance cache and of the test groups.
inline OraXMLSQLData makeCatalog(int commitsInterval = 0) {
  OraXMLSQLData catalog = ocitest::makeCatalog();
  auto add = [&catalog](const char* id, const char* sql, int instanceIdIndex = -1,
                        const char* clusterSql = nullptr) -> OraXMLSQLInfo* {
    OraXMLSQLInfo info(id);
    info.addSQL(OraXMLSQL(101, sql, clusterSql));
    info.setInstanceIDIndex(instanceIdIndex);
    catalog.addUnique(info);
    return catalog.getSQLInfo(id);
  };
  add("All_Instance_Name", "select inst_id, instance_name from gv$instance order by inst_id");
  add("Current_Instance_Info", "select instance_name, host_name from v$instance");
  add("RDB_Instance_Info",
      "select inst_id, instance_number, instance_name, host_name, version, startup_time, status, "
      "parallel, thread#, archiver, logins, database_status, instance_role, active_state, "
      "blocked, database_type, edition from gv$instance order by inst_id");
  add("ASM_DLA_GetDatabaseInfo", "select name, db_unique_name, database_role from v$database");
  add("RDB_DLA_InstanceInfo",
      "select inst_id, instance_name, host_name from gv$instance order by inst_id");
  add(kSessions,
      "select inst_id, sid, username, program from gv$session where type = 'USER' "
      "order by inst_id, sid",
      0);
  add(kStats, "select name, value from v$sysstat order by name");
  OraXMLSQLInfo* commits =
      add(kCommits, "select name, value from v$sysstat where name = 'user commits'");
  commits->setInterval(commitsInterval);
  commits->setType("RDB");
  add(kBroken, "select name from no_such_table");
  add(kSlow, "select name as slow_marker from v$sysstat");
  add(kNoDefinition, "select name from v$sysstat");
  add(kNoAttributes, "select name from v$sysstat");
  return catalog;
}

inline VelAttributeGroupDef makeGroup(const char* name, const std::vector<const char*>& attrs) {
  VelAttributeGroupDef group(name);
  for (const char* a : attrs) group.addAttribute(VelAttributeDef(a, "string", 64));
  return group;
}

inline VelAttrGroups makeAttrGroups() {
  VelAttrGroups groups;
  // Attributes in another order than the columns, one missing from the result (MODULE), and
  // the three instance columns; the result column PROGRAM is not an attribute.
  groups.addGroup(makeGroup(
      kSessions, {"DBINSTNAME", "USERNAME", "MODULE", "SID", "DBHOSTNAME", "DBUNIQNAME"}));
  groups.addGroup(makeGroup(kStats, {"value", "NAME", "DBINSTNAME", "DBHOSTNAME"}));
  groups.addGroup(makeGroup(kCommits, {"NAME", "VALUE"}));
  groups.addGroup(makeGroup(kBroken, {"NAME"}));
  groups.addGroup(makeGroup(kSlow, {"SLOW_MARKER"}));
  groups.addGroup(makeGroup(kNoStatement, {"NAME"}));
  groups.addGroup(VelAttributeGroupDef(kNoAttributes));
  groups.addGroup(makeGroup(RDB_Parameter, {"NAME", "VALUE"}));
  return groups;
}

// An agent on loopback with the link of this process connected to it and the groups registered.
class LinkPeer : public veltest::LinkedAgent {
 public:
  LinkPeer()
      : LinkedAgent({kAgentEventGroup, RDB_Instance_Info, ASM_Instance, RDB_Parameter, kSessions,
                     kStats, kCommits, kBroken, kSlow, kNoDefinition, kNoStatement, kNoAttributes,
                     DG_Status, RDB_Customized_SQL_Detail}) {}
};
using veltest::eventRow;

// The row of the event an ORA-00942 raises on subnode while running what.
inline std::vector<std::string> missingTableEvent(const char* subnode, const char* what) {
  return {"1",
          "Oracle",
          subnode,
          "942",
          "ORA-00942: table or view does not exist ",
          what,
          "Make sure the tables or views exist; Contact DBA and run the velgrant.sql to grant the "
          "user select privilege on the tables or views."};
}

// The rows of an answer that must have come (an empty answer differs from none).
inline std::vector<std::vector<std::string>> rowsOf(const velagent::Answer& a) {
  EXPECT_TRUE(a.ok()) << "no answer";
  return a.rows;
}

// A take action's answer as "rc|output|...", or "no answer"; no output names an instance.
inline std::string taskAnswer(const velagent::TaskResult& r) {
  std::string answer = r.ok() ? std::to_string(r.rc) : "no answer";
  for (const auto& o : r.outputs) {
    answer += "|" + o.value;
    EXPECT_EQ(o.inst, "");
  }
  return answer;
}

// A filter item as the agent writes it, and a requested attribute as it lists them before it.
inline velagent::RequestInfoItem filterItem(const std::string& filter) {
  return {"_FILTER", filter, "EQ", ""};
}
inline velagent::RequestInfoItem columnItem(const std::string& name) {
  return {name, "", "EQ", ""};
}

}  // namespace reqtest

#endif  // VEL_TESTS_UNIT_REQUEST_REQUESTTESTSUPPORT_H
