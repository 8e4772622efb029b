// No secret reaches a trace, standard output or standard error: velclient runs with every trace
// flag on through start-up, plain and encrypted configured passwords, a take action on a
// connection with its own credentials, a refused log-on and the command line's sql and test
// with -password; then every output is searched for every secret.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "VelclientRun.h"

namespace {

using veltest::readFile;
using veltest::writeFile;

// Distinct texts, so a hit names the leak.
const char kGlobalSecret[] = "GlobSecr3t-91";
const char kPlainSecret[] = "PlainSecr3t-27";
const char kEncSecret[] = "EncSecr3t-58";
const char kActionSecret[] = "ActSecr3t-33";
const char kWrongSecret[] = "WrongSecr3t-46";
const char kEnvSecret[] = "EnvSecr3t-64";
const char kCliSecret[] = "CliSecr3t-75";

class SecretsRun : public vele2e::VelclientRun {
 protected:
  void SetUp() override {
    // The key and the encrypted values come from the shipped tool, as an operator makes them.
    ASSERT_EQ(shell(velcrypt() + " --new-key"), 0);
    m_key = readFile(keyFile());
    ASSERT_FALSE(m_key.empty());
    m_encGlobal = encrypt(kGlobalSecret);
    m_encConn = encrypt(kEncSecret);
    ASSERT_FALSE(m_encGlobal.empty() || m_encConn.empty());
    VelclientRun::SetUp();
  }

  std::string configText() const override {
    return "[default]\nVEL_CONN_USERID = monitor\nVEL_CONN_PASSWORD = " + m_encGlobal + "\n" +
           section("PLAIN", "plainuser", kPlainSecret) + section("ENC", "encuser", m_encConn) +
           section("BAD", "plainuser", kWrongSecret) + section("ACT", "actuser", kActionSecret) +
           "[config GLOB]\nVEL_CONN_STR = dbhost1:1521/PROD\n";
  }
  static std::string section(const std::string& name, const std::string& user,
                             const std::string& password) {
    return "[config " + name + "]\nVEL_CONN_STR = dbhost1:1521/PROD\nVEL_CONN_USERID = " + user +
           "\nVEL_CONN_PASSWORD = " + password + "\n";
  }
  void makeDatabases() override {
    std::string users = "INSERT INTO sim_users VALUES('plainuser', '" + std::string(kPlainSecret) +
                        "', '', 0);\nINSERT INTO sim_users VALUES('encuser', '" + kEncSecret +
                        "', '', 0);\nINSERT INTO sim_users VALUES('actuser', '" + kActionSecret +
                        "', '', 0);\nINSERT INTO sim_users VALUES('cliuser', '" + kCliSecret +
                        "', '', 0);\nUPDATE sim_users SET password = '" + kGlobalSecret +
                        "' WHERE username = 'monitor';\n";
    ASSERT_TRUE(writeFile(m_dir.file("users.sql"), users));
    makeDatabase("single.sql", "dbhost1_1521_PROD.db", m_dir.file("users.sql"));
  }

  std::string keyFile() const { return m_dir.file("vel.key"); }
  std::string velcrypt() const { return veltest::buildDir() + "/bin/velcrypt -k " + keyFile(); }
  int shell(const std::string& command) const {
    int rc = system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  std::string encrypt(const char* secret) const {
    if (shell("printf '%s' '" + std::string(secret) + "' | " + velcrypt() + " >" +
              m_dir.file("enc") + " 2>/dev/null") != 0)
      return std::string();
    std::string text = readFile(m_dir.file("enc"));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
  }

  // The command line with every trace flag on; its standard output and error joined.
  std::string commandLine(const std::string& args, int* status) const {
    std::string command =
        "cd " + m_dir.path() +
        " && env -i PATH=/usr/bin:/bin VEL_TRACE=all VEL_TRACE_FILE=" + m_dir.file("cli.trace") +
        " VEL_CONN_PASSWORD=" + kEnvSecret + " LD_LIBRARY_PATH=" + veltest::buildDir() +
        "/sim VELSIM_DIR=" + m_sim.path() + " AGENT_BIN_DIR=" + m_dir.path() + " " + binary() +
        " -connstr dbhost1:1521/PROD -username cliuser " + args + " >" + m_dir.file("cli.out") +
        " 2>&1";
    *status = shell(command);
    return readFile(m_dir.file("cli.out"));
  }

  std::string m_key;
  std::string m_encGlobal;
  std::string m_encConn;
};

TEST_F(SecretsRun, NoSecretInAnyTraceDumpOrOutput) {
  startRegistered({"VEL_TRACE=all", "VEL_TRACE_FILE=" + m_dir.file("agent.trace"),
                   "VEL_KEYFILE=" + keyFile(), "VEL_CONN_PASSWORD=" + std::string(kEnvSecret)});
  // Plain, encrypted and inherited encrypted passwords log on; the wrong one is refused.
  for (const char* subnode : {"PLAIN", "ENC", "GLOB"})
    EXPECT_TRUE(hasStatus(waitStatus(subnode, "Active", 15000), subnode, "Active")) << subnode;
  EXPECT_FALSE(hasStatus(waitStatus("BAD", "Active", 1500), "BAD", "Active"));
  velagent::TaskResult action = m_agent.task("ACT", "VELSELECT:select 1 from dual", 10000);
  ASSERT_TRUE(action.ok());
  EXPECT_EQ(action.rc, 0) << action.raw;
  shutdownCleanly();

  int status = 0;
  std::string cli = commandLine("-password " + std::string(kCliSecret) + " test", &status);
  EXPECT_EQ(status, 0) << cli;
  cli += commandLine("-password " + std::string(kCliSecret) + " sql -sqlid TEST_STATS", &status);
  cli += commandLine("-password " + std::string(kWrongSecret) + " test", &status);
  EXPECT_EQ(status, 1) << cli;
  EXPECT_NE(cli.find("ORA-01017"), std::string::npos) << cli;

  struct Output {
    const char* name;
    std::string text;
    bool written;  // the run must have written something there
  };
  const std::vector<Output> outputs = {
      {"agent-mode trace", readFile(m_dir.file("agent.trace")), true},
      {"agent-mode stdout and stderr", clientLog(), false},
      {"command-line trace", readFile(m_dir.file("cli.trace")), true},
      {"command-line stdout and stderr", cli, true}};
  // The traces really ran at every level: environment, configuration dump, string contents.
  const std::string& trace = outputs[0].text;
  for (const char* expected : {"VEL_CONN_PASSWORD=**********", "Password has 14 characters",
                               "content is:**********", "Environment variable settting is"})
    EXPECT_NE(trace.find(expected), std::string::npos) << expected;

  std::string keyBody = m_key.substr(0, m_key.find_first_of("\r\n"));
  const std::vector<std::string> secrets = {kGlobalSecret, kPlainSecret, kEncSecret, kActionSecret,
                                            kWrongSecret,  kEnvSecret,   kCliSecret, m_encGlobal,
                                            m_encConn,     keyBody};
  for (const Output& o : outputs) {
    EXPECT_TRUE(!o.written || !o.text.empty()) << o.name;
    for (const std::string& secret : secrets)
      EXPECT_EQ(o.text.find(secret), std::string::npos) << secret << " in the " << o.name;
  }

  for (const char* file : {"agent.trace", "cli.trace"}) {
    struct stat st;
    ASSERT_EQ(stat(m_dir.file(file).c_str(), &st), 0) << file;
    EXPECT_EQ(st.st_mode & 0777, 0600u) << file;
  }
}

}  // namespace
