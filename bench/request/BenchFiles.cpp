#include "BenchFiles.h"

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace velbench {

bool writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  return text.str();
}

bool copyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  if (!in || !out) return false;
  out << in.rdbuf();
  return static_cast<bool>(out);
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

namespace {
int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }
}  // namespace

WorkDir::WorkDir(bool keep) : m_keep(keep) {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velbench.XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) != nullptr) m_path = buf.data();
}

WorkDir::~WorkDir() {
  if (m_path.empty()) return;
  if (m_keep) {
    std::printf("files kept in %s\n", m_path.c_str());
    return;
  }
  nftw(m_path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string catalogEntry(const std::string& attrs, const std::string& sql) {
  return "  <SQLInfo id=" + attrs + "><SQL dbversion=\"101\"><SQLText>" + sql +
         "</SQLText></SQL></SQLInfo>\n";
}

std::string sessionCatalogEntries() {
  const char* info =
      "BEGIN\n"
      "  SELECT DECODE(SUBSTR(i.instance_name, 1, 1), '+', 'ASM', 'RDB'),\n"
      "         NVL((SELECT name FROM v$database), i.instance_name), i.version_full,\n"
      "         TO_NUMBER(SUBSTR(i.version, 1, 2)) * 10, '64',\n"
      "         DECODE(i.parallel, 'YES', 'true', 'false'),\n"
      "         NVL((SELECT database_role FROM v$database), 'PRIMARY'), i.instance_name,"
      " i.host_name\n"
      "    INTO :db_type, :db_name, :version, :shortversion, :bitversion, :iscluster, :db_role,\n"
      "         :dbinstance_name, :dbhostname\n"
      "    FROM v$instance i;\n"
      "END;";
  return catalogEntry("\"DatabaseInformation\"", info) +
         catalogEntry("\"All_Instance_Name\"",
                      "select inst_id, instance_name from gv$instance order by inst_id") +
         catalogEntry("\"Current_Instance_Info\"",
                      "select instance_name, host_name from v$instance") +
         // The instance cache reads these 17 columns at start and at every keep-alive check.
         catalogEntry(
             "\"RDB_Instance_Info\"",
             "select inst_id, instance_number, instance_name, host_name, version, startup_time,"
             " status, parallel, thread#, archiver, logins, shutdown_pending, database_status,"
             " instance_role, active_state, blocked, edition from gv$instance order by inst_id");
}

std::string catalogDocument(const std::string& entries) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SQLXML>\n" + entries + "</SQLXML>\n";
}

std::string subnodeName(int i) { return "DB" + std::to_string(i); }
std::string connectString(int i) {
  return "benchhost" + std::to_string(i) + ":1521/DB" + std::to_string(i);
}
std::string databaseFile(int i) {
  return "benchhost" + std::to_string(i) + "_1521_DB" + std::to_string(i) + ".db";
}

velagent::ClientOptions collectorOptions(const std::string& buildDir, const WorkDir& dir,
                                         const WorkDir& sim, const std::string& configFile,
                                         const std::string& logPath) {
  velagent::ClientOptions o;
  o.inheritEnv = false;
  o.logPath = logPath;
  o.env = {"LD_LIBRARY_PATH=" + buildDir + "/sim",
           "VELSIM_DIR=" + sim.path(),
           "AGENT_BIN_DIR=" + dir.path(),
           "AGENT_REF_FILE=" + dir.file("ref.xml"),
           "ATTRLIB=" + dir.path(),
           "VEL_CONFIG_FILE=" + configFile,
           "VEL_INSTANCE_NAME=bench",
           "NOVAG_HOSTNAME=benchagent",
           "VEL_SUBNODE_INCLUDING_AGENTNAME=NO",
           "VEL_SUBNODE_INCLUDING_HOSTNAME=NO",
           "PATH=/usr/bin:/bin"};
  return o;
}

bool makeSeedDatabase(const std::string& buildDir, const std::string& sourceDir,
                      const std::string& extraSql, const std::string& seedDb,
                      const std::string& log) {
  std::string mkdb = buildDir + "/sim/velsim-mkdb " + sourceDir + "/sim/oracle/seeds/single.sql " +
                     extraSql + " " + seedDb + " >" + log + " 2>&1";
  if (system(mkdb.c_str()) == 0 && exists(seedDb)) return true;
  std::fprintf(stderr, "%s failed:\n%s\n", mkdb.c_str(), readText(log).c_str());
  return false;
}

bool copyDatabase(const std::string& seedDb, const std::string& target) {
  return copyFile(seedDb, target) &&
         (!exists(seedDb + "-wal") || copyFile(seedDb + "-wal", target + "-wal"));
}

}  // namespace velbench
