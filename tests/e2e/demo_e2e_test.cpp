// The demo (scripts/demo with demo/demo.vas and the demo catalog) run against this build tree: it
// must end with status 0 and print what its headings promise, so a change that breaks the demo
// breaks the build.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "VelclientRun.h"

namespace {

using vele2e::countOf;

struct DemoRun {
  int status = -1;
  std::string out;
  std::string err;
};

DemoRun runDemo(const std::string& args, const veltest::TempDir& dir) {
  std::string cmd = veltest::sourceDir() + "/scripts/demo " + args + " >" + dir.file("out.txt") +
                    " 2>" + dir.file("err.txt");
  int rc = system(cmd.c_str());
  DemoRun run;
  run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  run.out = veltest::readFile(dir.file("out.txt"));
  run.err = veltest::readFile(dir.file("err.txt"));
  return run;
}

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// One table as velagent prints it: a header line, a rule, then the rows; cells are trimmed.
struct Table {
  bool found = false;
  std::string title;  // the line above the table ("data G subnode S id N: 2 rows")
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;

  std::string cell(size_t row, const std::string& column) const {
    for (size_t c = 0; c < header.size(); ++c)
      if (header[c] == column && row < rows.size() && c < rows[row].size()) return rows[row][c];
    return "<no " + column + ">";
  }
  std::vector<std::string> column(const std::string& name) const {
    std::vector<std::string> out;
    for (size_t r = 0; r < rows.size(); ++r) out.push_back(cell(r, name));
    return out;
  }
};

std::vector<std::string> cells(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 1;  // past the leading '|'
  for (;;) {
    size_t bar = line.find('|', start);
    if (bar == std::string::npos) break;
    out.push_back(trim(line.substr(start, bar - start)));
    start = bar + 1;
  }
  return out;
}

// The table under the nth line (from 0) that starts with titlePrefix. An answer without rows has
// no table: found is true, the header and rows stay empty.
Table tableAfter(const std::string& text, const std::string& titlePrefix, int nth = 0) {
  Table t;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, titlePrefix.size(), titlePrefix) != 0 || nth-- > 0) continue;
    t.found = true;
    t.title = line;
    bool ruleSeen = false;
    while (std::getline(in, line) && !line.empty() && line[0] == '|') {
      if (t.header.empty()) {
        t.header = cells(line);
      } else if (!ruleSeen) {
        ruleSeen = true;
      } else {
        t.rows.push_back(cells(line));
      }
    }
    break;
  }
  return t;
}

TEST(Demo, RunsEveryStepAndEndsWithACleanShutdown) {
  veltest::TempDir dir;
  DemoRun run =
      runDemo("--build-dir " + veltest::buildDir() + " --no-build --work " + dir.path(), dir);
  const std::string& out = run.out;
  ASSERT_EQ(run.status, 0) << run.err << "\n" << out;
  // velagent reports every failed line and protocol violation on standard error.
  EXPECT_EQ(run.err.find("velagent:"), std::string::npos) << run.err;
  EXPECT_EQ(countOf(out, "client exit code 0"), 2u);
  struct stat st;
  EXPECT_EQ(stat(dir.file("velclient.log").c_str(), &st), 0);

  // The headings come in order, each once.
  size_t last = 0;
  for (int step = 1; step <= 19; ++step) {
    std::string heading = "== " + std::to_string(step) + ". ";
    size_t at = out.find(heading);
    ASSERT_NE(at, std::string::npos) << heading;
    EXPECT_GT(at, last) << heading;
    EXPECT_EQ(countOf(out, heading), 1u) << heading;
    last = at;
  }

  // The catalog's simple-SQL entries are registered with their versions.
  Table reg = tableAfter(out, "registration:");
  std::set<std::vector<std::string>> groups(reg.rows.begin(), reg.rows.end());
  for (const auto& g : std::vector<std::vector<std::string>>{
           {"RDB_Tablespace", "2"}, {"RDB_Sysstat", "1"}, {"RDB_Session", "3"}})
    EXPECT_EQ(groups.count(g), 1u) << g[0];

  Table info = tableAfter(out, "data Database_Information ");
  ASSERT_EQ(info.rows.size(), 4u) << info.title;
  EXPECT_EQ(info.column("INSTANCE"), (std::vector<std::string>{"PROD", "RACDB", "ASM", "GONE"}));
  EXPECT_EQ(info.column("STATUS"),
            (std::vector<std::string>{"Active", "Active", "Active", "Inactive"}));
  EXPECT_EQ(info.column("TYPE"), (std::vector<std::string>{"RDB", "RDB", "ASM", ""}));
  EXPECT_EQ(info.column("DB_INSTANCE"), (std::vector<std::string>{"PROD", "RACDB1", "+ASM", ""}));

  Table monitored = tableAfter(out, "data Monitored_Databases ");
  EXPECT_EQ(monitored.column("SUBNODE"), (std::vector<std::string>{"PROD", "RACDB", "ASM"}));
  EXPECT_EQ(monitored.cell(2, "SUBNODE_TYPE"), "%ZUL.OracleAgentASM");

  Table prodInstances = tableAfter(out, "data RDB_Instance_Info subnode PROD ");
  EXPECT_EQ(prodInstances.column("INSTANCE"), std::vector<std::string>{"PROD"});
  Table racInstances = tableAfter(out, "data RDB_Instance_Info subnode RACDB ");
  EXPECT_EQ(racInstances.column("INSTANCE"), (std::vector<std::string>{"RACDB1", "RACDB2"}));
  EXPECT_EQ(racInstances.column("HOST"), (std::vector<std::string>{"rachost1", "rachost2"}));
  EXPECT_EQ(racInstances.column("DB_UNIQUE"), (std::vector<std::string>{"RACDB", "RACDB"}));
  Table asmInstances = tableAfter(out, "data ASM_Instance subnode ASM ");
  EXPECT_EQ(asmInstances.column("INSTANCE"), std::vector<std::string>{"+ASM"});
  EXPECT_EQ(asmInstances.column("DB_UNIQUE"), std::vector<std::string>{"+ASM"});
  Table goneInstances = tableAfter(out, "data RDB_Instance_Info subnode GONE ");
  ASSERT_TRUE(goneInstances.found);
  EXPECT_NE(goneInstances.title.find(": 0 rows"), std::string::npos) << goneInstances.title;

  // The unreachable database is reported as an Oracle event naming it.
  Table event = tableAfter(out, "event Agent_Event");
  ASSERT_EQ(event.rows.size(), 1u);
  EXPECT_EQ(event.cell(0, "SUBNODE"), "GONE");
  EXPECT_EQ(event.cell(0, "ID"), "12541");

  Table all = tableAfter(out, "data RDB_Tablespace subnode PROD ", 0);
  EXPECT_EQ(all.rows.size(), 5u) << all.title;
  Table diskgroups = tableAfter(out, "data ASM_Diskgroup subnode ASM ");
  EXPECT_EQ(diskgroups.column("NAME"), (std::vector<std::string>{"DATA", "FRA"}));
  EXPECT_EQ(diskgroups.column("USED_PCT"), (std::vector<std::string>{"40", "20"}));
  Table filtered = tableAfter(out, "data RDB_Tablespace subnode PROD ", 1);
  EXPECT_EQ(filtered.column("TABLESPACE"), (std::vector<std::string>{"SYSAUX", "SYSTEM"}));
  for (size_t r = 0; r < filtered.rows.size(); ++r) {
    EXPECT_EQ(filtered.cell(r, "CONTENTS"), "PERMANENT");
    EXPECT_GT(atoi(filtered.cell(r, "USED_PCT").c_str()), 90);
    EXPECT_EQ(filtered.cell(r, "INSTANCE"), "PROD");
  }

  // Take actions: query rows last fetched first, then the column names; the PL/SQL block's
  // update is seen by the next query; a failing block says why (a failing connection is
  // checked by ActionTest).
  EXPECT_NE(out.find("| 1 | PROD / READ WRITE / PRIMARY "), std::string::npos);
  size_t second2 = out.find("2 / RACDB2 / rachost2 / OPEN");
  size_t first1 = out.find("1 / RACDB1 / rachost1 / OPEN");
  ASSERT_NE(second2, std::string::npos);
  EXPECT_LT(second2, first1);
  EXPECT_NE(out.find("| 1 | SCOTT / OPEN "), std::string::npos);
  EXPECT_NE(out.find("rc 20001, 1 output line"), std::string::npos);
  EXPECT_NE(out.find("ORA-20001: refused by the demo"), std::string::npos);

  // Cluster rows and cached interval groups have unit tests, the supplementary groups, the alert
  // log and Oracle Net end-to-end tests of their own: here each of the demo's answers must hold
  // rows.
  for (const char* title :
       {"data RDB_Session subnode RACDB ", "data RDB_Sysstat subnode PROD ",
        "data RDB_Top_SQL subnode PROD ", "data RDB_SQLTEXT subnode PROD ",
        "data RDB_Disk_Space subnode PROD ", "data RDB_Customized_SQL_Summary subnode PROD ",
        "event DG_Status subnode PRODSB", "event RDB_Alert_Log_Details subnode PROD",
        "data RDB_Alert_Log_Summary subnode PROD ", "data Agent_Listener ",
        "data Agent_Remote_Connection "})
    EXPECT_FALSE(tableAfter(out, title).rows.empty()) << title;
}

TEST(Demo, RefusesUnknownOptionsAndAMissingBuild) {
  veltest::TempDir dir;
  DemoRun bad = runDemo("--colour", dir);
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("usage: scripts/demo"), std::string::npos) << bad.err;

  // An empty build folder is not built in with --no-build: the missing program is named.
  DemoRun empty = runDemo("--no-build --build-dir " + dir.path(), dir);
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.err.find(dir.path() + "/bin/velclient is missing"), std::string::npos)
      << empty.err;
  // A folder that does not exist is not made.
  std::string none = dir.file("none");
  DemoRun missing = runDemo("--no-build --build-dir " + none, dir);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no build folder"), std::string::npos) << missing.err;
  struct stat st;
  EXPECT_NE(stat(none.c_str(), &st), 0);
}

}  // namespace
