// The diagnostic command line: option parsing and help in-process, the commands by running the
// built program against the Oracle client stand-in.
#include "VelCommandLine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

// Runs fn with standard output going to a file; returns what it printed.
std::string captureStdout(const std::function<void()>& fn) {
  veltest::TempDir dir;
  std::string path = dir.file("out.txt");
  fflush(stdout);
  int saved = dup(1);
  FILE* file = fopen(path.c_str(), "w");
  dup2(fileno(file), 1);
  fn();
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  fclose(file);
  return veltest::readFile(path);
}

int parseWords(std::vector<std::string> words, std::string* printed = nullptr) {
  words.insert(words.begin(), "velclient");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  int command = 0;
  std::string out =
      captureStdout([&] { command = parseOptions(static_cast<int>(argv.size()), argv.data()); });
  if (printed) *printed = out;
  return command;
}

TEST(CommandLineOptions, CommandWordsAndOptionValues) {
  veltest::ScopedEnv connect("VEL_CONN_STR", "envhost:1521/ENV");
  veltest::ScopedEnv user("VEL_CONN_USERID", "envuser");
  veltest::ScopedEnv password("VEL_CONN_PASSWORD", nullptr);
  veltest::ScopedEnv mode("VEL_CONN_MODE", "SYSDBA");
  struct Case {
    std::vector<std::string> words;
    int command;
  } cases[] = {
      {{}, VEL_CMD_SQL},
      {{"SQL"}, VEL_CMD_SQL},
      {{"Test"}, VEL_CMD_TEST},
      {{"test", "sql"}, VEL_CMD_SQL},  // the last command word wins
      {{"-PARSETNS", "x"}, VEL_CMD_PARSETNS},
      {{"-parselistener"}, VEL_CMD_PARSELISTENER},
      {{"-parsesql", "f"}, VEL_CMD_PARSESQL},
      {{"-parsexml", "f"}, VEL_CMD_PARSEXML},
      {{"-parseref"}, VEL_CMD_PARSEREF},
      {{"test", "-dlatest", "1", "h"}, VEL_CMD_DLATEST},
  };
  for (const Case& c : cases) {
    std::string printed;
    EXPECT_EQ(parseWords(c.words, &printed), c.command) << c.words.size();
    EXPECT_EQ(printed, "");
  }

  // The environment gives the connection values; options replace them, matched ignoring case.
  // As connection|user|password|role|print option|catalog|sql id|version.
  auto options = [] {
    const VelCommandOptions& o = velCommandOptions();
    return o.connectionString + "|" + o.userId + "|" + o.password + "|" + o.role + "|" +
           o.printOption + "|" + o.catalogFile + "|" + o.sqlId + "|" + std::to_string(o.version);
  };
  EXPECT_EQ(parseWords({"-Username", "scott"}), VEL_CMD_SQL);
  EXPECT_EQ(options(), "envhost:1521/ENV|scott||SYSDBA||velsql.xml||101");
  EXPECT_EQ(parseWords({"-connstr", "h:1/D", "-PASSWORD", "pw", "-role", "sysasm", "-option",
                        "printXMLRow", "-xmlsqlfilename", "my.xml", "-sqlid", "ALL", "-version",
                        "112", "test"}),
            VEL_CMD_TEST);
  // A new parse starts again from the environment.
  EXPECT_EQ(options(), "h:1/D|envuser|pw|sysasm|printXMLRow|my.xml|ALL|112");
}

TEST(CommandLineOptions, UnknownWordsMissingValuesAndCommandArguments) {
  std::string printed;
  // An unknown word is reported and reading goes on.
  EXPECT_EQ(parseWords({"bogus", "-sqlid", "X", "test"}, &printed), VEL_CMD_TEST);
  EXPECT_EQ(printed, "Unknown option: bogus\n");
  EXPECT_EQ(velCommandOptions().sqlId, "X");
  // The value of a mistyped option word may be a password: it is echoed as the mask.
  EXPECT_EQ(parseWords({"-pasword", "s3cret", "test"}, &printed), VEL_CMD_TEST);
  EXPECT_EQ(printed, "Unknown option: -pasword\nUnknown option: **********\n");

  // Words after a parse command belong to it.
  EXPECT_EQ(parseWords({"-parsexml", "f.xml", "-sqlid", "Y", "junk"}, &printed), VEL_CMD_PARSEXML);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(velCommandOptions().sqlId, "");

  EXPECT_EQ(parseWords({"-sqlid"}, &printed), VEL_CMD_SQL);
  EXPECT_EQ(printed, "Missing value for option: -sqlid\n");

  // A value that is taken is not read as a word, even if it looks like one.
  EXPECT_EQ(parseWords({"-password", "test"}, &printed), VEL_CMD_SQL);
  EXPECT_EQ(velCommandOptions().password, "test");

  EXPECT_EQ(parseWords({"-version", "11x"}, &printed), VEL_CMD_SQL);
  EXPECT_EQ(printed, "Invalid value for option: -version 11x\n");
  EXPECT_EQ(velCommandOptions().version, 101);
  EXPECT_EQ(parseWords({"-version", "-5"}), VEL_CMD_SQL);
  EXPECT_EQ(velCommandOptions().version, -5);
}

// ---- The built program on the stand-in ------------------------------------------------------

std::string entry(const std::string& attrs, const std::string& inner) {
  return "  <SQLInfo id=" + attrs + ">" + inner + "</SQLInfo>\n";
}

std::string sql(const std::string& version, const std::string& text,
                const std::string& cluster = "", const std::string& tables = "") {
  std::string s = "<SQL dbversion=\"" + version + "\"><SQLText>" + text + "</SQLText>";
  if (!cluster.empty()) s += "<ClusterText>" + cluster + "</ClusterText>";
  return s + tables + "</SQL>";
}

struct Result {
  int status;
  std::string out;
  std::string err;
};

class CommandLineRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(veltest::writeFile(m_dir.file("rows.sql"),
                                   "CREATE TABLE cli_rows(pos INTEGER, label_text TEXT);\n"
                                   "INSERT INTO cli_rows VALUES(2, 'a<b & \"c\">');\n"
                                   "INSERT INTO cli_rows VALUES(3, 'it''s');\n"));
    ASSERT_TRUE(veltest::makeSimDatabase("single.sql", m_dir.file("dbhost1_1521_PROD.db"),
                                         m_dir.file("rows.sql")));
    std::string entries =
        entry("\"DatabaseInformation\"", sql("101", veltest::kDatabaseInformationBlock)) +
        entry("\"CLI_ROWS\" simplesql=\"true\"",
              sql("101", "select pos, label_text from cli_rows order by pos") +
                  sql("190", "select pos from cli_rows where pos = 0") +  // the database's
                  sql("999", "select 'too new' from dual")) +
        entry("\"CLI_HIDDEN\"", sql("101", "select 'not simple' from dual")) +
        entry("\"CLI_BOTH\"", sql("101", "select 'single' as kind from dual",
                                  "select 'cluster' as kind from dual"));
    ASSERT_TRUE(veltest::writeFile(
        m_dir.file("velsql.xml"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SQLXML>\n" + entries + "</SQLXML>\n"));
  }

  // Runs velclient in the test folder with the stand-in. env holds options and assignments of
  // env(1); AGENT_BIN_DIR is the test folder unless env names it.
  Result run(const std::string& args, const std::string& env = "") {
    std::string binDir = env.find("AGENT_BIN_DIR") == std::string::npos
                             ? " AGENT_BIN_DIR=" + m_dir.path()
                             : std::string();
    std::string command =
        "cd " + m_dir.path() + " && env " + env + " LD_LIBRARY_PATH=" + veltest::buildDir() +
        "/sim VELSIM_DIR=" + m_dir.path() + binDir + " " + veltest::buildDir() + "/bin/velclient " +
        args + " >" + m_dir.file("out") + " 2>" + m_dir.file("err");
    int rc = system(command.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1000, veltest::readFile(m_dir.file("out")),
            veltest::readFile(m_dir.file("err"))};
  }
  Result runAs(const std::string& userAndPassword, const std::string& args,
               const std::string& env = "") {
    return run("-connstr dbhost1:1521/PROD " + userAndPassword + " " + args, env);
  }

  veltest::TempDir m_dir;
};

TEST_F(CommandLineRun, TestCommandExitCodes) {
  // Success is checked end to end with the collector's catalog.
  Result r = runAs("-username monitor -password wrong", "TEST");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("ORA-01017"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("SYSASM"), std::string::npos);

  // This instance is no ASM instance: the role is refused with 15000.
  r = runAs("-username sys -password oracle -role SYSASM", "test");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.rfind("Connect as SYSASM failed, try to connect as SYSDBA: ORA-15000", 0), 0u)
      << r.out;

  r = runAs("-username monitor -password monitor", "test", "-u AGENT_BIN_DIR");
  EXPECT_EQ(r.status, 254);
  EXPECT_NE(r.err.find("Can not find the AGENT_BIN_DIR environment variable!\n"),
            std::string::npos);

  // A catalog table the user may not read fails the privilege check.
  ASSERT_EQ(mkdir(m_dir.file("grants").c_str(), 0700), 0);
  std::string catalog = veltest::readFile(m_dir.file("velsql.xml"));
  catalog.insert(
      catalog.find("</SQLXML>"),
      entry("\"CLI_GRANTS\"",
            "<DatabaseType value=\"RDB\"/>" +
                sql("101", "select 1 from cli_missing", "",
                    "<BaseTable queryname=\"cli_missing\" grantname=\"CLI_MISSING\"/>")));
  ASSERT_TRUE(veltest::writeFile(m_dir.file("grants/velsql.xml"), catalog));
  r = runAs("-username monitor -password monitor", "test", "AGENT_BIN_DIR=" + m_dir.file("grants"));
  EXPECT_EQ(r.status, 253);
  EXPECT_EQ(r.out.find("Connection test successful"), std::string::npos);

  ASSERT_EQ(mkdir(m_dir.file("bad").c_str(), 0700), 0);
  ASSERT_TRUE(veltest::writeFile(m_dir.file("bad/velsql.xml"), "<<SQLXML>&&</"));
  for (const char* dir : {"bad", "nowhere"}) {
    r = runAs("-username monitor -password monitor", "test", "AGENT_BIN_DIR=" + m_dir.file(dir));
    EXPECT_EQ(r.status, 255) << dir;
    EXPECT_NE(r.err.find("XML " + m_dir.file(dir) +
                         "/velsql.xml parse failed, the application will exit\n"),
              std::string::npos)
        << r.err;
  }
}

TEST_F(CommandLineRun, SqlAllListsRowsOfSimpleEntries) {
  Result r = runAs("-username monitor -password monitor -option printxmlrow", "-sqlid ALL sql");
  EXPECT_EQ(r.status, 0);
  // The version-999 text is newer than the database and the entry that is not simple is skipped.
  EXPECT_EQ(r.out,
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
            "<ROOT>\n"
            "\t\t\t<ResultSet>\n"
            "\t\t\t\t<Row Num=\"0\">\n"
            "\t\t\t\t\t<Colum Name=\"POS\"  Value=\"2\" />\n"
            "\t\t\t\t\t<Colum Name=\"LABEL_TEXT\"  Value=\"a&lt;b &amp; &quot;c&quot;&gt;\" />\n"
            "\t\t\t\t</Row>\n"
            "\t\t\t\t<Row Num=\"1\">\n"
            "\t\t\t\t\t<Colum Name=\"POS\"  Value=\"3\" />\n"
            "\t\t\t\t\t<Colum Name=\"LABEL_TEXT\"  Value=\"it's\" />\n"
            "\t\t\t\t</Row>\n"
            "\t\t\t</ResultSet>\n"
            "\t\t\t<ResultSet>\n\t\t\t</ResultSet>\n"  // version 190, no row
            "</ROOT>\n")
      << r.err;

  // Without a print option the rows are fetched but nothing is listed.
  r = runAs("-username monitor -password monitor", "-sqlid all");
  EXPECT_EQ(r.out, "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<ROOT>\n</ROOT>\n");
}

TEST_F(CommandLineRun, SqlSingleIdRunsClusterTextToo) {
  Result r = runAs("-username monitor -password monitor -option printXMLRow", "-sqlid CLI_BOTH");
  std::string single = "<Colum Name=\"KIND\"  Value=\"single\" />";
  std::string cluster = "<Colum Name=\"KIND\"  Value=\"cluster\" />";
  ASSERT_NE(r.out.find(single), std::string::npos) << r.out << r.err;
  ASSERT_NE(r.out.find(cluster), std::string::npos) << r.out;
  EXPECT_LT(r.out.find(single), r.out.find(cluster));

  // A version below every text finds nothing: only the frame is printed.
  r = runAs("-username monitor -password monitor -option printXMLRow",
            "-sqlid CLI_BOTH -version 92");
  EXPECT_EQ(r.out, "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<ROOT>\n</ROOT>\n");

  r = runAs("-username monitor -password wrong -option printXMLRow", "-sqlid CLI_BOTH");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("error is 1017 ORA-01017", 0), 0u) << r.out;
}

TEST_F(CommandLineRun, DefinitionListingFollowsColumnKinds) {
  Result r =
      runAs("-username monitor -password monitor -option printXMLDefinition", "-sqlid CLI_ROWS");
  EXPECT_NE(r.out.find("\t\t<item name=\"_REQ_TYPE\"/>\n\t\t<item name=\"POS\"/>\n"
                       "\t\t<item name=\"LABEL_TEXT\"/>\n"),
            std::string::npos)
      << r.out;
  size_t pos = r.out.find("<attribute name=\"POS\"");
  size_t label = r.out.find("<attribute name=\"LABEL_TEXT\"");
  ASSERT_NE(pos, std::string::npos);
  ASSERT_NE(label, std::string::npos);
  EXPECT_NE(r.out.find("<counter64>", pos), std::string::npos);
  EXPECT_LT(r.out.find("<counter64>", pos), label);
  EXPECT_NE(r.out.find("<displayString size=", label), std::string::npos);
}

TEST_F(CommandLineRun, ParseRefChecksEachIdentifierAgainstItsGroup) {
  // The tool reads vel.ref, vel.atr and velsql.xml from the current folder.
  ASSERT_TRUE(veltest::writeFile(
      m_dir.file("vel.ref"),
      "<?xml version=\"1.0\"?>\n<agent_ref>\n"
      "  <custom ag=\"CLI_ROWS\"><metric metricName=\"LABEL_TEXT\" type=\"string\" size=\"9\"/>"
      "<metric metricName=\"MISSINGCOL\" type=\"string\" size=\"9\"/></custom>\n"
      "  <custom ag=\"CLI_NEW\"><metric metricName=\"X\" type=\"string\"/></custom>\n"
      "  <custom ag=\"CLI_BROKEN\"><metric metricName=\"X\" type=\"string\"/></custom>\n"
      "  <custom ag=\"REF_ONLY\"><metric metricName=\"X\" type=\"string\"/></custom>\n"
      "</agent_ref>\n"));
  ASSERT_TRUE(veltest::writeFile(m_dir.file("vel.atr"), "* none\n"));
  std::string catalog = veltest::readFile(m_dir.file("velsql.xml"));
  catalog.insert(catalog.find("</SQLXML>"),
                 entry("\"CLI_NEW\"", sql("111", "select 'x' as x from dual")) +
                     entry("\"CLI_BROKEN\"", sql("101", "select nosuchcolumn from dual")));
  ASSERT_TRUE(veltest::writeFile(m_dir.file("velsql.xml"), catalog));
  ASSERT_TRUE(veltest::writeFile(m_dir.file("ids.txt"),
                                 "CLI_ROWS  \nNOPE\nREF_ONLY\n\nCLI_NEW\nCLI_BROKEN\n"));

  Result r = run("-parseref dbhost1:1521/PROD monitor monitor \"\" ids.txt");
  EXPECT_EQ(r.status, 0);
  std::string expected;
  for (int version : {101, 102, 111, 112})
    for (int cluster : {0, 1})
      expected += "Testing CLI_ROWS, version:" + std::to_string(version) +
                  ", cluster:" + std::to_string(cluster) + "\n";
  expected +=
      "Error at searching attribute group for SQLID:NOPE\n"
      "Can not get the SQL for:REF_ONLY\n";
  for (int version : {101, 102, 111, 112}) {
    for (int cluster : {0, 1}) {
      std::string v = std::to_string(version), c = std::to_string(cluster);
      expected += "Testing CLI_NEW, version:" + v + ", cluster:" + c + "\n";
      if (version < 111)
        expected += "Error, failed getting SQL for version:" + v + ", cluster:" + c +
                    ", for SQLID:CLI_NEW\n";
    }
  }
  ASSERT_EQ(r.out.substr(0, expected.size()), expected) << r.out;
  // The broken statement fails for every version and flag, and each failure is printed.
  std::string rest = r.out.substr(expected.size());
  size_t errors = 0;
  for (size_t at = rest.find("error is 904 "); at != std::string::npos;
       at = rest.find("error is 904 ", at + 1))
    ++errors;
  EXPECT_EQ(errors, 8u) << rest;
  // The column step ran: the attribute without a fetched column was reported.
  EXPECT_NE(r.err.find("the column MISSINGCOL is not found at attribute group:CLI_ROWS"),
            std::string::npos)
      << r.err;

  r = run("-parseref dbhost1:1521/PROD monitor wrong \"\" ids.txt");
  EXPECT_EQ(r.out, "Can not connect to database\n");
  r = run("-parseref dbhost1:1521/PROD monitor monitor \"\" missing.txt");
  EXPECT_EQ(r.out, "Error, opening file missing.txt failed\n");
}

}  // namespace
