// velagent's request language, its printing, the runner against a raw collector, and the
// velagent command itself.
#include "AgentScript.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <thread>

#include "RawClient.h"
#include "TestSupport.h"

using namespace velagent;

namespace {

Command parse(const std::string& line) {
  Command c;
  std::string err;
  EXPECT_TRUE(parseCommand(line, c, &err)) << line << ": " << err;
  return c;
}

std::string parseError(const std::string& line) {
  Command c;
  std::string err;
  EXPECT_FALSE(parseCommand(line, c, &err)) << "accepted: " << line;
  return err;
}

}  // namespace

TEST(AgentScriptParse, DataLineBuildsRequestInfoInOrder) {
  Command c = parse(
      "data RDB_Tablespace PROD rid=r1 attrs=NAME,STATUS filter=\"((STATUS EQ 'ONLINE'))\" "
      "ID GT 5 and NAME EQ \"a b\" OR X LE 1");
  EXPECT_EQ(c.kind, Command::kData);
  EXPECT_EQ(c.group, "RDB_Tablespace");
  EXPECT_EQ(c.subnode, "PROD");
  EXPECT_EQ(c.requestStartedId, "r1");
  ASSERT_EQ(c.items.size(), 6u);
  EXPECT_EQ(c.items[0].name, "NAME");
  EXPECT_EQ(c.items[0].value, "");
  EXPECT_EQ(c.items[0].op, "EQ");
  EXPECT_EQ(c.items[0].logOp, "AND");
  EXPECT_EQ(c.items[1].name, "STATUS");
  EXPECT_EQ(c.items[2].name, "_FILTER");
  EXPECT_EQ(c.items[2].value, "((STATUS EQ 'ONLINE'))");
  EXPECT_EQ(c.items[3].name, "ID");
  EXPECT_EQ(c.items[3].op, "GT");
  EXPECT_EQ(c.items[3].value, "5");
  EXPECT_EQ(c.items[3].logOp, "AND");
  EXPECT_EQ(c.items[4].value, "a b");
  EXPECT_EQ(c.items[4].logOp, "OR");
  // The last condition has no connective after it, so no logOp.
  EXPECT_FALSE(c.items[5].hasLogOp);
  // A trailing connective gives it one; '-' means no subnode.
  Command t = parse("data G - A EQ 1 and");
  EXPECT_EQ(t.subnode, "");
  ASSERT_EQ(t.items.size(), 1u);
  EXPECT_TRUE(t.items[0].hasLogOp);
  EXPECT_EQ(t.items[0].logOp, "AND");
}

TEST(AgentScriptParse, EveryOtherCommand) {
  Command task = parse("task S1 user=sys SELECT 'x' FROM dual  ");
  EXPECT_EQ(task.kind, Command::kTask);
  EXPECT_EQ(task.subnode, "S1");
  EXPECT_TRUE(task.hasUser);
  EXPECT_EQ(task.user, "sys");
  EXPECT_EQ(task.text, "SELECT 'x' FROM dual");
  Command quoted = parse("task - \"BEGIN\\n  NULL;\\nEND;\"");
  EXPECT_FALSE(quoted.hasUser);
  EXPECT_EQ(quoted.text, "BEGIN\n  NULL;\nEND;");
  Command literal = parse("task S SELECT \"a\" || 'b' FROM t");
  EXPECT_EQ(literal.text, "SELECT \"a\" || 'b' FROM t");

  Command stop = parse("stop G - r2 shutting-down");
  EXPECT_EQ(stop.kind, Command::kStop);
  EXPECT_TRUE(stop.flag);
  EXPECT_EQ(stop.requestStartedId, "r2");
  EXPECT_FALSE(parse("stop G S r2").flag);
  EXPECT_EQ(parse("start G S r2").kind, Command::kStart);
  EXPECT_EQ(parse("connection 3").number, 3);
  EXPECT_EQ(parse("SHUTDOWN").kind, Command::kShutdown);
  EXPECT_EQ(parse("sleep 20").number, 20);
  EXPECT_EQ(parse("events").number, -1);
  EXPECT_EQ(parse("events 2").number, 2);
  EXPECT_EQ(parse("timeout 500").kind, Command::kTimeout);
  EXPECT_EQ(parse("wait-exit").kind, Command::kWaitExit);
  EXPECT_EQ(parse("   # a comment").kind, Command::kNone);
  EXPECT_EQ(parse("").kind, Command::kNone);

  Command raw = parse("raw <x a=\"1\"/>\\x41\\\\");
  EXPECT_EQ(raw.text, "<x a=\"1\"/>A\\\n");
  Command part = parse("rawpart <shut");
  EXPECT_TRUE(part.flag);
  EXPECT_EQ(part.text, "<shut");
  EXPECT_EQ(parse("raw").text, "\n");
}

TEST(AgentScriptParse, MistakesAreExplained) {
  EXPECT_EQ(parseError("fetch G S"), "unknown command 'fetch'");
  EXPECT_NE(parseError("data G").find("usage: data"), std::string::npos);
  EXPECT_NE(parseError("data G S and A EQ 1").find("without a condition"), std::string::npos);
  EXPECT_NE(parseError("data G S A EQ 1 B EQ 2").find("expected 'and' or 'or'"), std::string::npos);
  EXPECT_NE(parseError("data G S A EQ").find("NAME OP VALUE"), std::string::npos);
  EXPECT_NE(parseError("data G S A EQ \"open").find("unterminated quote"), std::string::npos);
  EXPECT_NE(parseError("task S").find("usage: task"), std::string::npos);
  EXPECT_NE(parseError("sleep").find("usage: sleep"), std::string::npos);
  EXPECT_NE(parseError("sleep -5").find("usage: sleep"), std::string::npos);
  EXPECT_NE(parseError("sleep 5 6").find("usage: sleep"), std::string::npos);
  EXPECT_NE(parseError("connection x").find("usage: connection"), std::string::npos);
  EXPECT_NE(parseError("start G S r1 shutting-down").find("usage: start"), std::string::npos);
  EXPECT_NE(parseError("shutdown now").find("usage: shutdown"), std::string::npos);
  EXPECT_NE(parseError("raw \\q").find("unknown escape"), std::string::npos);
  EXPECT_NE(parseError("raw ab\\x4").find("unknown escape"), std::string::npos);
}

TEST(AgentScriptPrint, CellsShowControlBytesAndAreCut) {
  EXPECT_EQ(cellText("a\nb\tc\r\x01", 40), "a\\nb\\tc\\r\\x01");
  EXPECT_EQ(cellText("abcdef", 3), "abc...");
  // Characters, not bytes, are counted.
  EXPECT_EQ(cellText("\xc3\xa9\xc3\xa9\xc3\xa9", 2), "\xc3\xa9\xc3\xa9...");
  EXPECT_EQ(cellText("\xff", 5), "\\xFF");
  EXPECT_EQ(jsonString("q\"b\\n\n\x01\xc3\xa9\xff"), "\"q\\\"b\\\\n\\n\\u0001\xc3\xa9\\ufffd\"");
  EXPECT_EQ(jsonString("\xe0\x80\x80"), "\"\\ufffd\\ufffd\\ufffd\"");  // overlong form
}

TEST(AgentScriptPrint, AnswersAsTableAndAsJson) {
  Answer a;
  a.status = WaitStatus::kOk;
  a.id = "3";
  a.group = "G";
  a.rows = {{"PROD", "x\ny"}, {"T", ""}};
  std::ostringstream table;
  Printer(table, Format::kTable).answer("S1", a);
  EXPECT_EQ(table.str(),
            "data G subnode S1 id 3: 2 rows\n"
            "| # | 1    | 2    |\n"
            "|---|------|------|\n"
            "| 1 | PROD | x\\ny |\n"
            "| 2 | T    |      |\n");
  std::ostringstream json;
  Printer(json, Format::kJson).answer("S1", a);
  EXPECT_EQ(json.str(),
            "{\"type\":\"data\",\"id\":\"3\",\"group\":\"G\",\"subnode\":\"S1\",\"status\":\"ok\","
            "\"error\":false,\"rc\":0,\"rows\":[[\"PROD\",\"x\\ny\"],[\"T\",\"\"]]}\n");

  Event e;
  e.group = "Agent_Event";
  e.hasSubnode = true;
  e.isError = true;
  e.rc = 4;
  std::ostringstream ev;
  Printer(ev, Format::kJson).event(e);
  EXPECT_EQ(ev.str(),
            "{\"type\":\"event\",\"group\":\"Agent_Event\",\"subnode\":\"\",\"error\":true,"
            "\"rc\":4,\"rows\":[]}\n");
  Answer late;
  late.id = "4";
  late.group = "G";
  late.status = WaitStatus::kTimeout;
  std::ostringstream none;
  Printer(none, Format::kTable).answer("", late);
  EXPECT_EQ(none.str(), "data G id 4: no answer (timeout)\n");
}

TEST(AgentScriptPrint, NamedColumnsHeadTablesAndKeyJsonRows) {
  Command c = parse("columns G NAME,\"OPEN MODE\"");
  EXPECT_EQ(c.kind, Command::kColumns);
  EXPECT_EQ(c.names, (std::vector<std::string>{"NAME", "OPEN MODE"}));
  EXPECT_NE(parseError("columns G").find("usage: columns"), std::string::npos);

  Answer a;
  a.status = WaitStatus::kOk;
  a.id = "1";
  a.group = "G";
  a.rows = {{"PROD", "READ WRITE", "extra"}};
  std::ostringstream table;
  Printer tp(table, Format::kTable);
  tp.setColumns("G", c.names);
  tp.answer("", a);
  EXPECT_EQ(table.str(),
            "data G id 1: 1 row\n"
            "| # | NAME | OPEN MODE  | 3     |\n"
            "|---|------|------------|-------|\n"
            "| 1 | PROD | READ WRITE | extra |\n");
  std::ostringstream json;
  Printer jp(json, Format::kJson);
  jp.setColumns("G", c.names);
  jp.answer("", a);
  EXPECT_NE(json.str().find("\"rows\":[{\"NAME\":\"PROD\",\"OPEN MODE\":\"READ WRITE\","
                            "\"3\":\"extra\"}]"),
            std::string::npos)
      << json.str();
  // Other groups keep numbered columns.
  a.group = "H";
  std::ostringstream other;
  Printer op(other, Format::kJson);
  op.setColumns("G", c.names);
  op.answer("", a);
  EXPECT_NE(other.str().find("\"rows\":[[\"PROD\""), std::string::npos);
}

TEST(AgentScriptEcho, PrintsTheLineAsWrittenWithoutWaitingForAClient) {
  Command c = parse("echo   == 2. \"Sessions\" #1  ");
  EXPECT_EQ(c.kind, Command::kEcho);
  EXPECT_EQ(c.text, "== 2. \"Sessions\" #1");
  EXPECT_EQ(parse("ECHO").text, "");

  // No client ever connects: an echo must neither wait for one nor count as a failure.
  AgentSim sim;
  ASSERT_TRUE(sim.listen(0));
  std::ostringstream table;
  std::ostringstream err;
  Printer tp(table, Format::kTable);
  ScriptRunner runner(sim, tp, err, 100);
  EXPECT_TRUE(runner.runLine("echo == Step 1 =="));
  EXPECT_TRUE(runner.runLine("echo"));
  EXPECT_EQ(table.str(), "== Step 1 ==\n\n");
  EXPECT_EQ(runner.failures(), 0);
  EXPECT_EQ(err.str(), "");

  std::ostringstream json;
  Printer(json, Format::kJson).echo("a \"b\"");
  EXPECT_EQ(json.str(), "{\"type\":\"echo\",\"text\":\"a \\\"b\\\"\"}\n");
}

namespace {

// A runner over an agent with a raw collector that answers in a thread.
class AgentRunner : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.listen(0));
    ASSERT_TRUE(client.connect(sim.port()));
    ASSERT_TRUE(
        client.send("<cpciRegister ver=\"6\"><attrGroupList><attrGroup name=\"G\" ver=\"1\"/>"
                    "</attrGroupList></cpciRegister>\n"));
  }
  AgentSim sim;
  RawClient client;
  std::ostringstream out;
  std::ostringstream err;
  Printer printer{out, Format::kTable};
};

}  // namespace

TEST_F(AgentRunner, DataLineWaitsForItsAnswerAndPrintsEventsThatCameFirst) {
  std::thread collector([&] {
    std::string line;
    if (!client.readLine(line, 3000)) return;
    XmlParseResult pr = parseXmlLine(line);
    if (!pr.ok || pr.root.attr("id") == nullptr) return;
    client.send(
        "<pureEvent><attrGroup name=\"G\"><in><al><a v=\"ev\"/></al></in></attrGroup>"
        "</pureEvent>\n<dataResponse id=\"" +
        *pr.root.attr("id") +
        "\"><attrGroup name=\"G\"><in><al><a v=\"r1\"/></al></in></attrGroup>"
        "</dataResponse>\n");
  });
  ScriptRunner runner(sim, printer, err, 3000);
  EXPECT_TRUE(runner.runLine("data G S A EQ 1"));
  collector.join();
  EXPECT_EQ(runner.failures(), 0);
  std::string text = out.str();
  size_t reg = text.find("registration: version 6, 1 group");
  size_t ev = text.find("event G:");
  size_t data = text.find("data G subnode S id 1: 1 row\n");
  ASSERT_NE(reg, std::string::npos) << text;
  ASSERT_NE(ev, std::string::npos) << text;
  ASSERT_NE(data, std::string::npos) << text;
  EXPECT_LT(reg, ev);
  EXPECT_LT(ev, data);
  EXPECT_NE(text.find("| 1 | r1 |"), std::string::npos);
  EXPECT_EQ(err.str(), "");
}

TEST_F(AgentRunner, FailuresAreCountedAndReportedByLine) {
  ScriptRunner runner(sim, printer, err, 3000);
  std::istringstream script(
      "# nothing to do\n"
      "timeout 100\n"
      "bogus\n"
      "data G S\n"
      "data Other S\n"
      "events 1\n"
      "wait-exit\n");
  EXPECT_EQ(runner.runStream(script, nullptr, nullptr), 5);
  std::string e = err.str();
  EXPECT_NE(e.find("line 3: unknown command 'bogus'"), std::string::npos) << e;
  EXPECT_NE(e.find("line 4: no answer: timeout"), std::string::npos) << e;
  EXPECT_NE(e.find("line 5: warning: Other is not registered"), std::string::npos) << e;
  EXPECT_NE(e.find("line 6: fewer than 1 new events"), std::string::npos) << e;
  EXPECT_NE(e.find("line 7: no client was started"), std::string::npos) << e;
  EXPECT_NE(out.str().find("data G subnode S id 1: no answer (timeout)"), std::string::npos);
}

TEST_F(AgentRunner, ViolationsAndTheCollectorsCloseAreReported) {
  ScriptRunner runner(sim, printer, err, 2000);
  ASSERT_TRUE(runner.runLine("registration"));
  ASSERT_TRUE(
      client.send("<dataResponse id=\"77\"><attrGroup name=\"G\"></attrGroup>"
                  "</dataResponse>\n"));
  client.close();
  EXPECT_TRUE(runner.runLine("wait-close"));
  EXPECT_EQ(runner.violationCount(), 1u);
  EXPECT_NE(err.str().find("protocol violation: message 2: answer for id 77"), std::string::npos)
      << err.str();
  EXPECT_NE(out.str().find("unexpected answer:\ndata G id 77: 0 rows"), std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("closed: the client closed the connection"), std::string::npos);
  EXPECT_FALSE(runner.runLine("shutdown"));
}

TEST(VelagentCommand, RunsAScriptAgainstAStartedProgramAndReportsItsExit) {
  veltest::TempDir dir;
  std::string prog = dir.file("client.sh");
  // Registers, answers every data request with one row holding VEL_WORD, exits 0 on EOF.
  ASSERT_TRUE(veltest::writeFile(
      prog,
      "#!/bin/bash\n"
      "exec 3<>/dev/tcp/127.0.0.1/$CP_PORT\n"
      "printf '<cpciRegister ver=\"6\"><attrGroupList><attrGroup name=\"G\" ver=\"1\"/>"
      "</attrGroupList></cpciRegister>\\n' >&3\n"
      "while IFS= read -r line <&3; do\n"
      "  id=$(sed -E 's/^<dataRequest id=\"([0-9]+)\".*/\\1/' <<<\"$line\")\n"
      "  printf '<dataResponse id=\"%s\"><attrGroup name=\"G\"><in><al><a v=\"%s\"/></al></in>"
      "</attrGroup></dataResponse>\\n' \"$id\" \"$VEL_WORD\" >&3\n"
      "done\n"
      "exit 0\n"));
  ASSERT_EQ(chmod(prog.c_str(), 0755), 0);
  std::string script = dir.file("s.txt");
  ASSERT_TRUE(veltest::writeFile(script, "data G S1\n"));
  std::string cmd = veltest::buildDir() + "/bin/velagent --start " + prog +
                    " --env VEL_WORD=hello --format json --timeout 5000 --script " + script +
                    " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string text;
  char buf[512];
  while (fgets(buf, sizeof buf, p) != nullptr) text += buf;
  int status = pclose(p);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << text;
  EXPECT_EQ(text.find("{\"type\":\"listening\""), 0u) << text;
  EXPECT_NE(text.find("\"subnode\":\"S1\",\"status\":\"ok\",\"error\":false,\"rc\":0,"
                      "\"rows\":[[\"hello\"]]}"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("{\"type\":\"exit\",\"code\":0}"), std::string::npos) << text;

  // A request nobody answers makes the exit status 1; a bad option makes it 2.
  ASSERT_TRUE(veltest::writeFile(script, "timeout 200\ntask S1 x\n"));
  status = system((veltest::buildDir() + "/bin/velagent --start " + prog + " --script " + script +
                   " >/dev/null 2>&1")
                      .c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  status = system((veltest::buildDir() + "/bin/velagent --format xml >/dev/null 2>&1").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
}
