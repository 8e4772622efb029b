// The shipped files of etc/ checked against each other and against the stand-in's seeds:
// velsql.xml, vel_ref.xml and vel.atr cover every registered group and every statement the
// collector looks up by name, for every release and both cluster variants; each statement runs
// on the single, RAC, ASM and standby seeds and yields the columns its group declares
// (velclient -parseref agrees); the views each text reads are its privilege-check tables, and
// velgrant.sql grants exactly those.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "OciTestSupport.h"
#include "OraXMLParserHandler.h"
#include "Ora_Command.h"
#include "Ora_Database.h"
#include "Ora_StmtTable.h"
#include "VelAgentDefinitionParserHandler.h"
#include "VelAttrGroupNames.h"
#include "VelAttrGroups.h"

namespace {

[[maybe_unused]] ::testing::Environment* const kOciEnvironment =
    ::testing::AddGlobalTestEnvironment(new ocitest::OciEnvironment);

const int kVersions[] = {101, 102, 111, 112, 121, 122, 180, 190, 210, 230};
const char* const kInstanceColumns[] = {"DBINSTNAME", "DBHOSTNAME", "DBUNIQNAME"};

std::string etcFile(const char* name) { return veltest::sourceDir() + "/etc/" + name; }

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// What the collector expects of a statement it looks up by name: the group whose definition
// names its columns, and which result columns (by position) give the definition's attributes in
// order (empty: every column, the instance columns DBINSTNAME, DBHOSTNAME, DBUNIQNAME aside), or
// only a column count when the columns are read by position.
struct Contract {
  const char* id;
  const char* group;  // null: no definition, columns read by position
  std::vector<int> columns;
  int count;  // number of result columns; -1 when the group gives them
};
const std::vector<int> kInstanceFields = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const std::vector<int> kAsmInstanceFields = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16};
const Contract kContracts[] = {
    {"DatabaseInformation", nullptr, {}, 0},  // a block with output binds, run by Connect
    {"All_Instance_Name", nullptr, {}, 2},
    {"Current_Instance_Info", nullptr, {}, 2},
    {"RDB_Instance_Info", "RDB_Instance_Info", kInstanceFields, 17},
    {"RDB_Instance_Info", "ASM_Instance", kAsmInstanceFields, 17},
    {"RDB_Parameter", "RDB_Parameter", {}, -1},
    {"ASM_Parameter", "ASM_Parameter", {}, -1},
    {"ASM_DLA_GetDatabaseInfo", nullptr, {}, 8},
    {"RDB_DLA_InstanceInfo", nullptr, {}, 5},
    {"GetAlertLogDefinedInformation", nullptr, {}, 4},
    {"RDB_Top_SQL", "RDB_Top_SQL", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, 14},
    {"RDB_DBA_HIST_SQLTEXT", nullptr, {}, 4},
    {"RDB_DBA_SQLTEXT", nullptr, {}, 5},
    {"DG_Status", "DG_Status", {0, 1, 2, 3, 4, 5, 6, 7}, 8},
    {"RDB_Disk_Space_LocalDetection", nullptr, {}, 3},
    {"RDB_Disk_Space_Archive", nullptr, {}, 4},
    {"RDB_Disk_Space_DumpDest", nullptr, {}, 4},
    {"RDB_Disk_Space_DataFile", nullptr, {}, 4},
    {"RDB_Disk_Space_TempFile", nullptr, {}, 4},
};

// Views whose rows are the same on every instance of a cluster: a text reading only these needs
// no cluster variant. DG_Status reads its own instance on purpose (message numbers count per
// instance), Current_Instance_Info and ASM_DLA_GetDatabaseInfo describe the connected instance,
// DatabaseInformation is looked up without the cluster flag.
const std::set<std::string> kClusterWideViews = {
    "V$DATABASE",           "V$DATAFILE",           "V$TEMPFILE", "V$TABLESPACE",
    "V$RECOVERY_FILE_DEST", "V$ASM_DISKGROUP_STAT", "V$ASM_DISK"};
const std::set<std::string> kLocalOnPurpose = {"DG_Status", "Current_Instance_Info",
                                               "ASM_DLA_GetDatabaseInfo", "DatabaseInformation"};

// The dictionary and dynamic performance views a text names: its words beginning with V$, GV$,
// DBA_ or CDB_ (std::regex is avoided: GCC 12 warns inside it under the sanitizers).
std::set<std::string> viewsOf(const std::string& text) {
  std::set<std::string> out;
  auto inWord = [](char c) {
    return isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#';
  };
  for (size_t i = 0; i < text.size();) {
    size_t end = i;
    while (end < text.size() && inWord(text[end])) ++end;
    std::string word = upper(text.substr(i, end - i));
    for (const char* prefix : {"V$", "GV$", "DBA_", "CDB_"})
      if (word.size() > strlen(prefix) && word.compare(0, strlen(prefix), prefix) == 0)
        out.insert(word);
    i = end == i ? i + 1 : end;
  }
  return out;
}

// A grant-script name for a view: V$X and GV$X are granted as SYS.V_$X and SYS.GV_$X.
std::string grantName(const std::string& view) {
  std::string g = view;
  size_t dollar = g.find('$');
  if (g.compare(0, 2, "V$") == 0 || g.compare(0, 3, "GV$") == 0) g.replace(dollar, 1, "_$");
  return g;
}

struct Shipped {
  OraXMLSQLData catalog;
  VelAttrGroups groups;
  std::set<std::string> grants;
  Shipped() {
    EXPECT_TRUE(OraXMLParserHandler::parseXML(etcFile("velsql.xml").c_str(), catalog));
    EXPECT_TRUE(VelAgentDefinitionParserHandler::parseXML(etcFile("vel_ref.xml").c_str(), groups));
    parseATRFile(etcFile("vel.atr").c_str(), groups);
    std::string script = veltest::readFile(etcFile("velgrant.sql"));
    size_t begin = script.find("-- views:begin"), end = script.find("-- views:end");
    EXPECT_LT(begin, end);
    std::string list = script.substr(begin, end - begin);
    for (size_t q = list.find('\''); q != std::string::npos; q = list.find('\'', q + 1)) {
      size_t close = list.find('\'', q + 1);
      if (close == std::string::npos) break;
      grants.insert(list.substr(q + 1, close - q - 1));
      q = close;
    }
  }
  const VelAttributeGroupDef* group(const char* name) const { return groups.getAGDef(name); }
};
const Shipped& shipped() {
  static const Shipped* s = new Shipped;
  return *s;
}

// The definition's attributes that come from result columns.
std::vector<std::string> columnAttributes(const VelAttributeGroupDef& def) {
  std::vector<std::string> out;
  for (const VelAttributeDef& a : def.getAttributes()) {
    const char* const* end = std::end(kInstanceColumns);
    if (std::find_if(std::begin(kInstanceColumns), end,
                     [&](const char* c) { return a.getName() == std::string(c); }) == end)
      out.push_back(a.getName());
  }
  return out;
}

TEST(ShippedFiles, EveryRegisteredGroupIsDefinedColumnForColumn) {
  const Shipped& s = shipped();
  std::set<std::string> registered;
  for (int i = 0; i < kVelFixedAttrGroupCount; ++i) registered.insert(kVelFixedAttrGroups[i].name);
  for (const OraXMLSQLInfo& e : s.catalog.getEntries())
    if (e.isSimpleSQL()) {
      EXPECT_TRUE(registered.insert(e.getId()).second) << e.getId();
    }
  std::set<std::string> defined;
  for (const VelAttributeGroupDef& g : s.groups.getGroups()) {
    EXPECT_TRUE(defined.insert(g.getName()).second) << "defined twice: " << g.getName();
    EXPECT_GT(g.getAttributeCount(), 0u) << g.getName();
    for (const VelAttributeDef& a : g.getAttributes())
      EXPECT_STREQ(a.getColumnName(), a.getName()) << g.getName() << " in vel.atr";
  }
  EXPECT_EQ(defined, registered);
}

TEST(ShippedFiles, EveryLookedUpStatementServesEveryReleaseAndItsTablesAreGranted) {
  const Shipped& s = shipped();
  std::set<std::string> checked, granted;
  for (const Contract& c : kContracts) checked.insert(c.id);
  for (const OraXMLSQLInfo& e : s.catalog.getEntries()) {
    SCOPED_TRACE(e.getId());
    if (e.isSimpleSQL()) checked.insert(e.getId());
    EXPECT_FALSE(e.getDatabaseTypes().empty()) << "no database type for the privilege checks";
    // ASM instances and mounted standbys have no data dictionary: only V$ views for them.
    bool mountedOnly = false;
    for (const OraXMLSQLDBType& t : e.getDatabaseTypes())
      mountedOnly = mountedOnly || t.getDatabaseType() != 1;
    for (const OraXMLSQL& sql : e.getSQLList()) {
      SCOPED_TRACE(sql.getDBVersion());
      std::set<std::string> read = viewsOf(sql.getSQLText()), cluster;
      cluster = viewsOf(sql.getClusterSQLText());
      read.insert(cluster.begin(), cluster.end());
      std::set<std::string> listed;
      for (const OraXMLSQLTable& t : sql.getBaseTables()) {
        listed.insert(upper(t.getQueryName()));
        EXPECT_EQ(upper(t.getQueryName()), t.getGrantName());
        granted.insert(grantName(upper(t.getQueryName())));
      }
      EXPECT_EQ(read, listed);
      for (const std::string& v : read)
        EXPECT_TRUE(!mountedOnly || v.find('$') != std::string::npos) << v;
      // A text reading per-instance views has a cluster variant over the GV$ views.
      bool local = false;
      for (const std::string& v : viewsOf(sql.getSQLText()))
        local = local || (v.compare(0, 2, "V$") == 0 && kClusterWideViews.count(v) == 0);
      if (local && kLocalOnPurpose.count(e.getId()) == 0) {
        EXPECT_STRNE(sql.getClusterSQLText(), "") << "no cluster variant";
        for (const std::string& v : cluster)
          EXPECT_TRUE(v.compare(0, 2, "V$") != 0 || kClusterWideViews.count(v)) << v;
      }
    }
  }
  for (const std::string& id : checked) {
    for (int version : kVersions)
      for (bool isCluster : {false, true}) {
        int rows = 0;
        EXPECT_NE(s.catalog.getSQL(version, id.c_str(), rows, isCluster), nullptr)
            << id << " version " << version << " cluster " << isCluster;
      }
  }
  EXPECT_EQ(s.grants, granted) << "velgrant.sql grants other views than the catalog reads";
}

// A query with named text binds, bound the way the Data Guard and SQL-text commands bind them.
class BoundQuery : public Ora_AutoCommand {
 public:
  BoundQuery(const std::string& sql, const std::map<std::string, std::string>& binds)
      : Ora_AutoCommand(sql.c_str()), m_binds(binds) {}
  int onBindParameters(OCIStmt* statement, OCIError* errorHandle) override {
    for (auto& b : m_binds) {
      int rc = BindParameter(statement, errorHandle, b.first.c_str(), &b.second[0],
                             static_cast<int>(b.second.size() + 1), SQLT_STR);
      if (rc != 0) return rc;
    }
    return 0;
  }

 private:
  std::map<std::string, std::string> m_binds;
};

// The query a statement stands for as the collector runs it: the Top SQL block's cursor query,
// the SQL-text statements inside their filter wrapping, the rest as they are.
std::string runnable(const std::string& id, const std::string& text,
                     std::map<std::string, std::string>& binds) {
  binds.clear();
  if (id == "RDB_Top_SQL") {
    size_t open = upper(text).find("OPEN :CURSOR FOR"), end = text.rfind(';', text.rfind(';') - 1);
    return text.substr(open + 16, end - open - 16);
  }
  if (id == "RDB_DBA_HIST_SQLTEXT") {
    binds = {{":maxrownum", "1000"}, {":BindValue1", "5zruc4v6y32f9"}, {":BindValue2", "1"}};
    return "select * from (" + text +
           ") where ROWNUM<= :maxrownum and (( sqlid = :BindValue1 )) and (( dbid = :BindValue2 ))";
  }
  if (id == "RDB_DBA_SQLTEXT") {
    binds = {{":maxrownum", "1"}, {":dbidValue", "1"}, {":BindValue1", "00"}};
    return "select * from (" + text +
           ") where ROWNUM<= :maxrownum and (( dbid = :dbidValue )) and (( address = :BindValue1 "
           "))";
  }
  if (id == "DG_Status") binds = {{":maxrownum", "1000"}, {":vellastmessagenum", "0"}};
  return text;
}

struct SeedCase {
  const char *seed, *connect, *user, *role, *type;
  bool cluster;
};
const SeedCase kSeeds[] = {
    {"single", "dbhost1:1521/PROD", "monitor", "", "RDB", false},
    {"rac", "rac-scan:1521/RACDB", "monitor", "", "RDB", true},
    {"asm", "dbhost1:1521/+ASM", "asmsnmp", "SYSDBA", "ASM", false},
    {"standby", "sbhost1:1521/PRODSB", "monitor", "", "DG", false},
};

void PrintTo(const SeedCase& c, std::ostream* os) { *os << c.seed; }

class ShippedOnSeeds : public ::testing::TestWithParam<SeedCase> {};

TEST_P(ShippedOnSeeds, EveryStatementRunsAndYieldsItsGroupsColumns) {
  const SeedCase& seed = GetParam();
  const Shipped& s = shipped();
  ocitest::SimDatabases sims;
  sims.make(seed.seed, seed.connect);
  const char* password = std::string(seed.user) == "asmsnmp" ? "asmsnmp" : "monitor";
  Ora_Database db(s.catalog, seed.connect, seed.user, password, seed.role, seed.seed, seed.seed);
  Ora_ErrorMsg error;
  ASSERT_TRUE(db.Connect(error, false)) << error.getMessage();
  const Ora_DatabaseInfo& info = db.getDatabaseInfo();
  EXPECT_EQ(info.m_type.c_str(), std::string(seed.type));
  EXPECT_EQ(info.m_isCluster, seed.cluster);
  EXPECT_EQ(info.m_shortVersion, 190);
  // Every view the catalog lists for this database type is there to be read.
  EXPECT_TRUE(db.checkPrivileges(false));

  // Every text of every version runs; at the seed's own version the columns match the groups.
  std::map<std::string, std::vector<std::string>> columnsAt;
  for (const OraXMLSQLInfo& e : s.catalog.getEntries()) {
    if (std::string(e.getId()) == "DatabaseInformation") continue;  // run by Connect
    const OraXMLSQL* own = e.findSQL(info.m_shortVersion);
    for (const OraXMLSQL& sql : e.getSQLList()) {
      for (bool isCluster : {false, true}) {
        std::string text = isCluster ? sql.getClusterSQLText() : sql.getSQLText();
        if (text.empty()) continue;
        SCOPED_TRACE(std::string(e.getId()) + " " + std::to_string(sql.getDBVersion()) +
                     (isCluster ? " cluster" : ""));
        std::map<std::string, std::string> binds;
        BoundQuery command(runnable(e.getId(), text, binds), binds);
        Ora_AutoStmtTable table;
        ASSERT_TRUE(db.executeTableCmd(command, &table, error, time(nullptr), 30))
            << error.getMessage();
        // The text the collector picks here: the cluster one on a cluster, when there is one.
        bool picked = seed.cluster && sql.getClusterSQLText()[0] != '\0';
        if (&sql != own || isCluster != picked) continue;
        std::vector<std::string>& names = columnsAt[e.getId()];
        for (unsigned c = 0; c < table.getColumnCount(); ++c)
          names.push_back(table.getColumnName(c));
      }
    }
  }
  for (const Contract& c : kContracts) {
    if (c.count == 0) continue;
    SCOPED_TRACE(std::string(c.id) + (c.group ? std::string(" for ") + c.group : ""));
    ASSERT_EQ(columnsAt.count(c.id), 1u);
    const std::vector<std::string>& names = columnsAt[c.id];
    if (c.count > 0) {
      EXPECT_EQ(static_cast<int>(names.size()), c.count);
    }
    if (c.group == nullptr) continue;
    const VelAttributeGroupDef* def = s.group(c.group);
    ASSERT_NE(def, nullptr);
    std::vector<std::string> expected, attrs = columnAttributes(*def);
    for (int i : c.columns) expected.push_back(names.at(static_cast<size_t>(i)));
    if (c.columns.empty()) expected = names;
    attrs.resize(std::min(attrs.size(), expected.size()));
    EXPECT_EQ(attrs, expected);
  }
  for (const OraXMLSQLInfo& e : s.catalog.getEntries()) {
    if (!e.isSimpleSQL()) continue;
    SCOPED_TRACE(e.getId());
    const VelAttributeGroupDef* def = s.group(e.getId());
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(columnAttributes(*def), columnsAt[e.getId()]);
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, ShippedOnSeeds, ::testing::ValuesIn(kSeeds),
                         [](const ::testing::TestParamInfo<SeedCase>& p) {
                           return std::string(p.param.seed);
                         });

// The diagnostic command's own check: velclient -parseref with the shipped files finds every
// catalog group's statement and every attribute's column, at each version it tries.
TEST(ShippedFiles, ParseRefFindsNothingMissing) {
  veltest::TempDir dir;
  ocitest::SimDatabases sims;
  sims.make("single", "dbhost1:1521/PROD");
  std::string ids = "RDB_Parameter\nASM_Parameter\n";
  size_t groups = 2;
  for (const OraXMLSQLInfo& e : shipped().catalog.getEntries()) {
    if (e.isSimpleSQL()) {
      ids += std::string(e.getId()) + "\n";
      ++groups;
    }
  }
  ASSERT_TRUE(veltest::writeFile(dir.file("ids.txt"), ids));
  std::string cmd =
      "cd " + dir.path() + " && ln -s " + etcFile("vel_ref.xml") + " vel.ref && ln -s " +
      etcFile("vel.atr") + " vel.atr && ln -s " + etcFile("velsql.xml") + " velsql.xml && " +
      veltest::buildDir() +
      "/bin/velclient -parseref dbhost1:1521/PROD monitor monitor '' ids.txt >out.txt "
      "2>err.txt";
  ASSERT_EQ(system(cmd.c_str()), 0);
  std::string out = veltest::readFile(dir.file("out.txt"));
  std::string err = veltest::readFile(dir.file("err.txt"));
  EXPECT_EQ(out.find("Error"), std::string::npos) << out;
  EXPECT_EQ(out.find("error is"), std::string::npos) << out;
  EXPECT_EQ(err.find("not found"), std::string::npos) << err;
  size_t tested = 0;
  for (size_t at = out.find("Testing "); at != std::string::npos; at = out.find("Testing ", at + 1))
    ++tested;
  EXPECT_EQ(tested, 8u * groups) << out;  // four versions, both cluster flags
}

}  // namespace
