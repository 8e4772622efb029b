// The agent side of the wire format: the messages velagent writes, byte for byte, and the strict
// reading of what the collector writes.
#include "AgentWire.h"

#include <gtest/gtest.h>

#include <string>

using namespace velagent;

namespace {

RequestInfoItem item(const char* name, const char* op, const char* value, const char* logOp) {
  RequestInfoItem i;
  i.name = name;
  i.op = op;
  i.value = value;
  if (logOp == nullptr) {
    i.hasLogOp = false;
  } else {
    i.logOp = logOp;
  }
  return i;
}

bool hasProblem(const Incoming& m, const std::string& part) {
  for (const auto& p : m.problems) {
    if (p.find(part) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

TEST(AgentWireBuild, EveryBuiltMessageIsOneLineThatReadsBack) {
  const std::string nasty = "x&<>\"'\n\r\ty \xc3\xa9";
  std::string msg = buildDataRequest("1", "", "S", "G", {item("N", "EQ", nasty.c_str(), "OR")});
  ASSERT_EQ(msg.find('\n'), msg.size() - 1);
  XmlParseResult pr = parseXmlLine(msg.substr(0, msg.size() - 1));
  ASSERT_TRUE(pr.ok) << pr.error;
  ASSERT_EQ(pr.root.children.size(), 2u);
  const std::string* v = pr.root.children[1].attr("value");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(*v, nasty);
}

TEST(AgentWireRead, RegistrationKeepsGroupsInOrderAndNotesThreaded) {
  Incoming m = interpretMessage(
      "<cpciRegister ver=\"6\" threaded=\"1\"><attrGroupList><attrGroup name=\"B\" ver=\"1\"/>"
      "<attrGroup name=\"A\" ver=\"2\"/></attrGroupList></cpciRegister>");
  ASSERT_EQ(m.kind, MessageKind::kRegistration);
  EXPECT_TRUE(m.problems.empty());
  EXPECT_TRUE(m.registration.threaded);
  EXPECT_EQ(m.registration.version, "6");
  ASSERT_EQ(m.registration.groups.size(), 2u);
  EXPECT_EQ(m.registration.groups[0].name, "B");
  EXPECT_EQ(m.registration.groups[1].name, "A");
  EXPECT_EQ(m.registration.groups[1].version, 2);

  Incoming plain =
      interpretMessage("<cpciRegister ver=\"6\"><attrGroupList></attrGroupList></cpciRegister>");
  EXPECT_TRUE(plain.problems.empty());
  EXPECT_FALSE(plain.registration.threaded);

  Incoming bad = interpretMessage(
      "<cpciRegister ver=\"5\" threaded=\"yes\"><attrGroupList><attrGroup name=\"A\" ver=\"x\"/>"
      "<attrGroup name=\"A\" ver=\"1\"/></attrGroupList></cpciRegister>");
  EXPECT_TRUE(hasProblem(bad, "is not 6"));
  EXPECT_TRUE(hasProblem(bad, "threaded=\"yes\""));
  EXPECT_TRUE(hasProblem(bad, "is not a number"));
  EXPECT_TRUE(hasProblem(bad, "registered twice"));
}

TEST(AgentWireRead, DataResponseRowsDecodeEntities) {
  Incoming m = interpretMessage(
      "<dataResponse id=\"9\"><attrGroup name=\"G\"><in><al><a v=\"a&amp;b\"/><a v=\"\"/>"
      "<a v=\"x&#10;y&lt;&gt;&quot;&apos;\"/></al></in><in><al><a v=\"1\"/><a v=\"2\"/>"
      "<a v=\"3\"/></al></in></attrGroup></dataResponse>");
  ASSERT_EQ(m.kind, MessageKind::kDataAnswer);
  EXPECT_TRUE(m.problems.empty());
  EXPECT_EQ(m.data.id, "9");
  EXPECT_EQ(m.data.group, "G");
  ASSERT_EQ(m.data.rows.size(), 2u);
  EXPECT_EQ(m.data.rows[0], (Row{"a&b", "", "x\ny<>\"'"}));
  EXPECT_EQ(m.data.rows[1], (Row{"1", "2", "3"}));
  EXPECT_FALSE(m.data.isError);

  Incoming empty =
      interpretMessage("<dataResponse id=\"9\"><attrGroup name=\"G\"></attrGroup></dataResponse>");
  EXPECT_TRUE(empty.problems.empty());
  EXPECT_TRUE(empty.data.rows.empty());

  Incoming err = interpretMessage(
      "<dataResponse id=\"9\"><attrGroup name=\"G\"><error rc=\"-5\"/></attrGroup>"
      "</dataResponse>");
  EXPECT_TRUE(err.problems.empty());
  EXPECT_TRUE(err.data.isError);
  EXPECT_EQ(err.data.rc, -5);
}

TEST(AgentWireRead, MalformedResponsesAreReported) {
  const std::pair<const char*, const char*> cases[] = {
      {"<dataResponse><attrGroup name=\"G\"></attrGroup></dataResponse>", "without id"},
      {"<dataResponse id=\"1\"><attrGroup name=\"G\"><in><a v=\"1\"/></in></attrGroup>"
       "</dataResponse>",
       "exactly one <al>"},
      {"<dataResponse id=\"1\"><attrGroup name=\"G\"><in><al><a/></al></in></attrGroup>"
       "</dataResponse>",
       "<a> without v"},
      {"<dataResponse id=\"1\"><attrGroup name=\"G\"><error rc=\"x1\"/></attrGroup>"
       "</dataResponse>",
       "not a number"},
      {"<dataResponse id=\"1\"><attrGroup name=\"G\"><in><al></al></in><error rc=\"1\"/>"
       "</attrGroup></dataResponse>",
       "rows and <error>"},
      {"<dataResponse id=\"1\" x=\"2\"><attrGroup name=\"G\"></attrGroup></dataResponse>",
       "unexpected attribute x"},
      {"<dataResponse id=\"1\"><attrGroup name=\"G\"></attrGroup></pureEvent>",
       "mismatched end tag"},
  };
  for (const auto& c : cases)
    EXPECT_TRUE(hasProblem(interpretMessage(c.first), c.second)) << c.first;
}

TEST(AgentWireRead, EventsWithAndWithoutSubnode) {
  Incoming with = interpretMessage(
      "<pureEvent subnode=\"S\"><attrGroup name=\"Agent_Event\"><in><al><a v=\"1\"/></al></in>"
      "</attrGroup></pureEvent>");
  ASSERT_EQ(with.kind, MessageKind::kEvent);
  EXPECT_TRUE(with.problems.empty());
  EXPECT_TRUE(with.event.hasSubnode);
  EXPECT_EQ(with.event.subnode, "S");
  ASSERT_EQ(with.event.rows.size(), 1u);

  Incoming without = interpretMessage(
      "<pureEvent><attrGroup name=\"G\"><error rc=\"2\"/></attrGroup></pureEvent>");
  EXPECT_TRUE(without.problems.empty());
  EXPECT_FALSE(without.event.hasSubnode);
  EXPECT_TRUE(without.event.isError);
  EXPECT_EQ(without.event.rc, 2);

  Incoming two = interpretMessage(
      "<pureEvent><attrGroup name=\"G\"><in><al></al></in><in><al></al></in></attrGroup>"
      "</pureEvent>");
  EXPECT_TRUE(hasProblem(two, "2 rows instead of one"));
}

TEST(AgentWireRead, TaskResponsesWithAndWithoutOutput) {
  Incoming bare = interpretMessage("<taskResponse id=\"4\" rc=\"-1\"/>");
  ASSERT_EQ(bare.kind, MessageKind::kTaskAnswer);
  EXPECT_TRUE(bare.problems.empty());
  EXPECT_EQ(bare.task.rc, -1);
  EXPECT_TRUE(bare.task.outputs.empty());

  Incoming out = interpretMessage(
      "<taskResponse id=\"4\" rc=\"0\"><output value=\"a|b\" inst=\"\"/><output value=\"c\"/>"
      "</taskResponse>");
  EXPECT_TRUE(out.problems.empty());
  ASSERT_EQ(out.task.outputs.size(), 2u);
  EXPECT_TRUE(out.task.outputs[0].hasInst);
  EXPECT_EQ(out.task.outputs[0].inst, "");
  EXPECT_FALSE(out.task.outputs[1].hasInst);
  EXPECT_EQ(out.task.outputs[1].value, "c");

  EXPECT_TRUE(hasProblem(interpretMessage("<taskResponse id=\"4\"/>"), "without rc"));
}

TEST(AgentWireRead, ClientRequestClosedByTheResponseEndTagIsItsKnownForm) {
  Incoming m = interpretMessage(
      "<dataRequest id=\"268435457\" subnode=\"S\"><attrGroup name=\"G\"/><requestInfo "
      "name=\"N\" value=\"V\" op=\"EQ\" logicalOp=\"AND\"/></dataResponse>");
  ASSERT_EQ(m.kind, MessageKind::kClientRequest);
  EXPECT_TRUE(m.problems.empty()) << m.problems[0];
  EXPECT_EQ(m.request.id, "268435457");
  EXPECT_EQ(m.request.group, "G");
  ASSERT_EQ(m.request.items.size(), 1u);
  EXPECT_EQ(m.request.items[0].logOp, "AND");

  Incoming plain = interpretMessage("<dataRequest id=\"1\"><attrGroup name=\"G\"/></dataResponse>");
  EXPECT_TRUE(plain.problems.empty());
  EXPECT_FALSE(plain.request.hasSubnode);
  // Any other mismatch is a fault.
  EXPECT_TRUE(
      hasProblem(interpretMessage("<dataRequest id=\"1\"><attrGroup name=\"G\"/></taskResponse>"),
                 "mismatched end tag"));
}

TEST(AgentWireRead, StrictReaderRefusesWhatACorrectWriterNeverWrites) {
  const char* bad[] = {
      "",
      "<?xml version=\"1.0\"?><shutdown/>",
      "<!-- c --><x/>",
      "<x a='1'/>",
      "<x a=\"1<2\"/>",
      "<x a=\"1>2\"/>",
      "<x a=\"it's\"/>",
      "<x a=\"&bogus;\"/>",
      "<x a=\"a & b\"/>",
      "<x a=\"&#0;\"/>",
      "<x a=\"&#xD800;\"/>",
      "<x a=\"1\"b=\"2\"/>",
      "<x a=\"1\" a=\"2\"/>",
      "<x a=\"1",
      "<x>text</x>",
      "<x><y/>",
      "<x/><y/>",
      "<x/> ",
      "<1x/>",
  };
  for (const char* line : bad) {
    XmlParseResult pr = parseXmlLine(line);
    EXPECT_FALSE(pr.ok) << "accepted: " << line;
    EXPECT_FALSE(pr.error.empty()) << line;
    EXPECT_EQ(interpretMessage(line).kind, MessageKind::kInvalid) << line;
  }
}

TEST(AgentWireRead, DeepNestingAndUnknownMessagesFailCleanly) {
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<a>";
  for (int i = 0; i < 5000; ++i) deep += "</a>";
  XmlParseResult pr = parseXmlLine(deep);
  EXPECT_FALSE(pr.ok);
  EXPECT_NE(pr.error.find("nested too deeply"), std::string::npos);

  Incoming unknown = interpretMessage("<hello/>");
  EXPECT_EQ(unknown.kind, MessageKind::kInvalid);
  EXPECT_TRUE(hasProblem(unknown, "unknown message <hello>"));

  XmlParseResult ref = parseXmlLine("<x a=\"&#x41;&#66;&#x20AC;\"/>");
  ASSERT_TRUE(ref.ok);
  EXPECT_EQ(*ref.root.attr("a"), "AB\xe2\x82\xac");
}
