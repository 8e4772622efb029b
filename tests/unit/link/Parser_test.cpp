// The link's message parser, entity decoding, and the incoming vocabulary turned into records.
#include "Parser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ClientRequestXMLHandler.h"
#include "cp_internal.h"

namespace {

// Records every callback as text: S:name{k=v;...} E:name C:text F:message.
class Recorder : public XMLHandler {
 public:
  void startElement(const char* name, HashMap* attributes) override {
    std::string e = std::string("S:") + name + "{";
    std::vector<std::string> pairs;
    HashMapIterator it = attributes->iterator();
    while (it.hasNext()) {
      it.next();
      pairs.push_back(std::string(it.getKey()) + "=" + static_cast<const char*>(it.getData()));
    }
    std::sort(pairs.begin(), pairs.end());
    for (size_t i = 0; i < pairs.size(); ++i) e += (i ? ";" : "") + pairs[i];
    events.push_back(e + "}");
    if (attributes == &EMPTY_ATTRS) events.back() += "*";
  }
  void endElement(const char* name) override { events.push_back(std::string("E:") + name); }
  void characters(const char* text) override { events.push_back(std::string("C:") + text); }
  using XMLHandler::fatalError;
  void fatalError(const char* message) override { errors.push_back(message); }
  std::vector<std::string> events;
  std::vector<std::string> errors;
};

struct Outcome {
  bool ok;
  std::vector<std::string> events;
  std::vector<std::string> errors;
};

Outcome parse(const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  Recorder r;
  Parser p(&r);
  bool ok = p.parse(buffer.data());
  return {ok, r.events, r.errors};
}

using Events = std::vector<std::string>;

TEST(LinkParser, ElementsAttributesTextAndEmptyElements) {
  Outcome o = parse("<a x=\"1\" y=\"&lt;2&gt;\">hi &amp; bye<b/><c k=\"v\"/></a>");
  EXPECT_TRUE(o.ok);
  EXPECT_TRUE(o.errors.empty());
  EXPECT_EQ(o.events,
            (Events{"S:a{x=1;y=<2>}", "C:hi & bye", "S:b{}*", "E:b", "S:c{k=v}", "E:c", "E:a"}));
  // Attributes are cleared after each tag; a repeated name keeps the later value.
  o = parse("<a k=\"1\" k=\"2\"><b/></a>");
  EXPECT_EQ(o.events, (Events{"S:a{k=2}", "S:b{}*", "E:b", "E:a"}));
}

TEST(LinkParser, LenientCornersOfTheSubset) {
  EXPECT_TRUE(parse("").ok);
  EXPECT_TRUE(parse("").events.empty());
  // An unclosed element at the very end is accepted; trailing text without '<' is ignored.
  Outcome o = parse("<a>");
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.events, (Events{"S:a{}*"}));
  EXPECT_TRUE(parse("<a/>trailing").ok);
  // A space before '=' belongs to the name; a tab is not skipped between attributes.
  o = parse("<a x =\"1\"\ty=\"2\"/>");
  EXPECT_EQ(o.events, (Events{"S:a{\ty=2;x =1}", "E:a"}));
  // Comments and declarations produce nothing.
  o = parse("<?xml version=\"1.0\"?><a><!-- note <b/> --></a>");
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.events, (Events{"S:a{}*", "E:a"}));
  // Whitespace-only text is passed too.
  o = parse("<a> </a>");
  EXPECT_EQ(o.events, (Events{"S:a{}*", "C: ", "E:a"}));
}

TEST(LinkParser, EveryFailureIsReportedOnceWithItsText) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"<a>text", "Missing end tag for element: a"},
      {"<a><b>x", "Missing end tag for element: b"},
      {"<!-- open", "Unfinished comment found"},
      {"<?xml version", "Unfinished declaration found"},
      {"<abc", "Cannot find end of tag"},
      {"</abc", "Cannot find end of tag"},
      {"<a/x>", "Incorrect end of tag"},
      {"<a/", "Incorrect end of tag"},
      {"</a>", "Unbalanced end tag found:"},
      {"<a></b>", "Mismatched end tag found: b != a"},
      {"<a></a x=\"1\">", "Element ending tags cannot have attributes"},
      {"<a  ", "Cannot find end of tag or start of attribute"},
      {"<a x=\"1\"/x", "Incorrect end of tag found"},
      {"<a x=\"1\" /", "Incorrect end of tag found"},
      {"<a x>", "Cannot find start of attribute value"},
      {"<a x='1'/>", "Attribute value does not start with quote"},
      {"<a x=\"1/>", "Cannot find end of attribute value"},
      {"<a>&;</a>", "Entity name cannot be empty"},
      {"<a x=\"&;\"/>", "Entity name cannot be empty"},
      {"<a>&foo;</a>", "Unrecognized entity: foo"},
      {"<a x=\"&q;\"/>", "Unrecognized entity: q"},
  };
  for (const Case& c : cases) {
    Outcome o = parse(c.text);
    EXPECT_FALSE(o.ok) << c.text;
    ASSERT_EQ(o.errors.size(), 1u) << c.text;
    EXPECT_EQ(o.errors[0], c.message) << c.text;
  }
  // Callbacks made before the failure stand; nothing after it is examined.
  Outcome o = parse("<a><b x=\"1\"/></c><d/>");
  EXPECT_EQ(o.events, (Events{"S:a{}*", "S:b{x=1}", "E:b"}));
}

TEST(LinkParser, AnEndTagCanNeverBeSelfTerminated) {
  // The tag name of an end tag is cut at a space or '>' only, so "</a/>" is an end tag for "a/".
  Outcome o = parse("<a></a/>");
  ASSERT_EQ(o.errors.size(), 1u);
  EXPECT_EQ(o.errors[0], "Mismatched end tag found: a/ != a");
}

TEST(LinkParser, NullHandlerStillStopsAtTheFirstError) {
  char good[] = "<a x=\"1\"><b/></a>";
  char bad[] = "<a x='1'>";
  Parser p(nullptr);
  EXPECT_TRUE(p.parse(good));
  EXPECT_FALSE(p.parse(bad));
  // The open-element list is emptied between parses.
  char second[] = "<x></x>";
  EXPECT_TRUE(p.parse(second));
}

std::string decode(const std::string& text, bool* ok = nullptr, std::string* error = nullptr) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  Recorder r;
  bool result = replaceEntities(&r, buffer.data());
  if (ok) *ok = result;
  if (error) *error = r.errors.empty() ? "" : r.errors[0];
  return std::string(buffer.data());
}

TEST(LinkEntities, NamedNumericAndLeftAlone) {
  EXPECT_EQ(decode("&lt;&gt;&amp;&quot;&apos;"), "<>&\"'");
  EXPECT_EQ(decode("x&#65;y&#x42;z&#x6a;"), "xAyBzj");
  EXPECT_EQ(decode("&#321;"), "A");       // 321 & 0xFF = 65
  EXPECT_EQ(decode("&#x141;"), "A");      // low byte of a larger hex number
  EXPECT_EQ(decode("&amp;lt;"), "&lt;");  // a decoded '&' is not decoded again
  EXPECT_EQ(decode("a & b"), "a & b");    // no ';' after it: left in place
  EXPECT_EQ(decode("&lt;a&b"), "<a&b");
  EXPECT_EQ(decode("tail&"), "tail&");
  EXPECT_EQ(decode("&#10;"), "\n");
  bool ok = true;
  std::string error;
  decode("&#;", &ok, &error);
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, "Unrecognized entity: #");
  decode("&zz;", &ok, &error);
  EXPECT_EQ(error, "Unrecognized entity: zz");
}

TEST(LinkEntities, AnAmpersandBeforeADistantSemicolonTakesTheWholeName) {
  bool ok = true;
  std::string error;
  decode("a & b;", &ok, &error);
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, "Unrecognized entity:  b");
}

TEST(LinkEntities, ManyEntitiesInALongValueDecodeInOnePass) {
  std::string text;
  std::string expected;
  for (int i = 0; i < 200000; ++i) {
    text += "&lt;x";
    expected += "<x";
  }
  EXPECT_EQ(decode(text), expected);
}

// ---- Vocabulary: parse + record building -------------------------------------------------------

class Vocabulary : public ::testing::Test {
 protected:
  Vocabulary() {
    add("Grp", &m_handleA);
    add("Other", &m_handleB);
  }
  ~Vocabulary() override {
    for (AttrGroupReg* r : m_regs) {
      free(r->name);
      free(r);
    }
  }
  void add(const char* name, const void* handle) {
    auto* r = static_cast<AttrGroupReg*>(calloc(1, sizeof(AttrGroupReg)));
    r->name = strdup(name);
    r->handle = handle;
    m_regs.push_back(r);
    m_groups.put(r->name, r);
  }
  // Parses text and builds a record; returns the action.
  IncomingAction build(const std::string& text, Request** out, bool* parsed = nullptr) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    ClientRequestXMLHandler handler;
    Parser parser(&handler);
    bool ok = parser.parse(buffer.data());
    if (parsed) *parsed = ok;
    *out = cpNewRequest();
    m_connectionId = -99;
    return cpBuildRequest(handler, &m_groups, *out, text.c_str(), &m_connectionId);
  }
  int m_handleA = 0;
  int m_handleB = 0;
  int m_connectionId = 0;
  HashMap m_groups;
  std::vector<AttrGroupReg*> m_regs;
};

TEST_F(Vocabulary, DataRequestWithFiltersInMessageOrder) {
  Request* r = nullptr;
  EXPECT_EQ(build("<dataRequest id=\"17\" requestStartedID=\"5\" subnode=\"VL:db1\">"
                  "<attrGroup name=\"Grp\"/>"
                  "<requestInfo name=\"A\" value=\"1\" op=\"EQ\" logOp=\"AND\"/>"
                  "<requestInfo name=\"B\" value=\"x&amp;y\" op=\"GT\"/>"
                  "<requestInfo name=\"C\" op=\"LT\"/>"
                  "</dataRequest>",
                  &r),
            IncomingAction::kReturn);
  EXPECT_EQ(r->type, DATA_REQUEST);
  EXPECT_EQ(r->handle, &m_handleA);
  EXPECT_STREQ(r->id, "17");
  EXPECT_STREQ(r->requestStartedID, "5");
  EXPECT_STREQ(r->subnode, "VL:db1");
  ASSERT_NE(r->requestInfo, nullptr);
  EXPECT_STREQ(r->requestInfo->name, "A");
  EXPECT_STREQ(r->requestInfo->value, "1");
  EXPECT_STREQ(r->requestInfo->op, "EQ");
  EXPECT_STREQ(r->requestInfo->logicalOp, "AND");
  RequestInfo* second = r->requestInfo->next;
  ASSERT_NE(second, nullptr);
  EXPECT_STREQ(second->value, "x&y");
  EXPECT_STREQ(second->op, "GT");  // no logOp: keeps its op
  EXPECT_EQ(second->logicalOp, nullptr);
  EXPECT_EQ(second->next, nullptr);  // the entry without a value is not copied
  cp_FreeRequest(r);
}

TEST_F(Vocabulary, DataRequestsThatCannotBeAnsweredAreSkipped) {
  Request* r = nullptr;
  EXPECT_EQ(build("<dataRequest id=\"1\"><attrGroup name=\"Nope\"/></dataRequest>", &r),
            IncomingAction::kWait);
  cp_FreeRequest(r);
  EXPECT_EQ(build("<dataRequest><attrGroup name=\"Grp\"/></dataRequest>", &r),
            IncomingAction::kWait);
  cp_FreeRequest(r);
  EXPECT_EQ(build("<dataRequest id=\"1\"></dataRequest>", &r), IncomingAction::kWait);
  cp_FreeRequest(r);
}

TEST_F(Vocabulary, AParseErrorAfterTheGroupStillYieldsTheDataRequest) {
  Request* r = nullptr;
  bool parsed = true;
  EXPECT_EQ(build("<dataRequest id=\"9\"><attrGroup name=\"Other\"/><requestInfo name='x'/>", &r,
                  &parsed),
            IncomingAction::kReturn);
  EXPECT_FALSE(parsed);
  EXPECT_EQ(r->type, DATA_REQUEST);
  EXPECT_EQ(r->handle, &m_handleB);
  EXPECT_STREQ(r->id, "9");
  EXPECT_EQ(r->requestStartedID, nullptr);
  cp_FreeRequest(r);
}

TEST_F(Vocabulary, TaskRequests) {
  Request* r = nullptr;
  EXPECT_EQ(build("<taskRequest id=\"t1\" subnode=\"s\"><task command=\"select 1 from dual\" "
                  "user=\"ops\"/></taskRequest>",
                  &r),
            IncomingAction::kReturn);
  EXPECT_EQ(r->type, TASK_REQUEST);
  EXPECT_EQ(r->handle, nullptr);
  EXPECT_STREQ(r->id, "t1");
  EXPECT_STREQ(r->action, "select 1 from dual");
  EXPECT_STREQ(r->user, "ops");
  EXPECT_STREQ(r->subnode, "s");
  cp_FreeRequest(r);
  // Without a command or an id there is nothing to run or to answer.
  EXPECT_EQ(build("<taskRequest id=\"t2\"><task user=\"u\"/></taskRequest>", &r),
            IncomingAction::kWait);
  cp_FreeRequest(r);
  EXPECT_EQ(build("<taskRequest id=\"t3\"></taskRequest>", &r), IncomingAction::kWait);
  cp_FreeRequest(r);
  EXPECT_EQ(build("<taskRequest><task command=\"x\"/></taskRequest>", &r), IncomingAction::kWait);
  cp_FreeRequest(r);
  // A user is optional.
  EXPECT_EQ(build("<taskRequest id=\"t4\"><task command=\"x\"/></taskRequest>", &r),
            IncomingAction::kReturn);
  EXPECT_EQ(r->user, nullptr);
  cp_FreeRequest(r);
}

TEST_F(Vocabulary, StartAndStopOfContinuousRequests) {
  Request* r = nullptr;
  EXPECT_EQ(build("<startRequestInfo requestStartedID=\"44\" ag=\"Grp\"/>", &r),
            IncomingAction::kReturn);
  EXPECT_EQ(r->type, REQUEST_STARTED);
  EXPECT_EQ(r->handle, &m_handleA);
  EXPECT_STREQ(r->requestStartedID, "44");
  cp_FreeRequest(r);
  EXPECT_EQ(build("<startRequestInfo ag=\"Grp\"/>", &r), IncomingAction::kWait);
  cp_FreeRequest(r);
  EXPECT_EQ(build("<startRequestInfo requestStartedID=\"1\"/>", &r), IncomingAction::kWait);
  cp_FreeRequest(r);
  EXPECT_EQ(build("<startRequestInfo requestStartedID=\"1\" ag=\"Nope\"/>", &r),
            IncomingAction::kWait);
  cp_FreeRequest(r);

  EXPECT_EQ(
      build("<stopRequestInfo requestStartedID=\"44\" ag=\"Other\" shuttingDown=\"true\"/>", &r),
      IncomingAction::kReturn);
  EXPECT_EQ(r->type, REQUEST_STOPPED);
  EXPECT_EQ(r->handle, &m_handleB);
  EXPECT_TRUE(r->shuttingDown);
  cp_FreeRequest(r);
  EXPECT_EQ(build("<stopRequestInfo requestStartedID=\"44\" ag=\"Grp\"/>", &r),
            IncomingAction::kReturn);
  EXPECT_EQ(r->type, REQUEST_STOPPED);
  EXPECT_FALSE(r->shuttingDown);
  cp_FreeRequest(r);
  // An unknown group is returned as a shutdown record carrying the flag.
  EXPECT_EQ(
      build("<stopRequestInfo requestStartedID=\"4\" ag=\"Nope\" shuttingDown=\"TRUE\"/>", &r),
      IncomingAction::kReturn);
  EXPECT_EQ(r->type, SHUTDOWN_REQUEST);
  EXPECT_EQ(r->handle, nullptr);
  EXPECT_TRUE(r->shuttingDown);
  cp_FreeRequest(r);
  // Without ag it is not a stop request at all.
  EXPECT_EQ(build("<stopRequestInfo requestStartedID=\"4\"/>", &r), IncomingAction::kWait);
  cp_FreeRequest(r);
}

TEST_F(Vocabulary, ShutdownConnectionAndUnknownMessages) {
  Request* r = nullptr;
  EXPECT_EQ(build("<shutdown/>", &r), IncomingAction::kReturn);
  EXPECT_EQ(r->type, SHUTDOWN_REQUEST);
  cp_FreeRequest(r);
  EXPECT_EQ(build("<connection id=\"3\"/>", &r), IncomingAction::kConnection);
  EXPECT_EQ(m_connectionId, 3);
  cp_FreeRequest(r);
  EXPECT_EQ(build("<connection/>", &r), IncomingAction::kConnection);
  EXPECT_EQ(m_connectionId, 1);
  cp_FreeRequest(r);
  EXPECT_EQ(build("<hello a=\"b\"/>", &r), IncomingAction::kWait);
  cp_FreeRequest(r);
  EXPECT_EQ(build("garbage without tags", &r), IncomingAction::kWait);
  cp_FreeRequest(r);
}

TEST_F(Vocabulary, DataResponseRowsAndMalformedPieces) {
  Request* r = nullptr;
  EXPECT_EQ(build("<dataResponse id=\"7\" subnode=\"n\"><attrGroup name=\"G\">"
                  "<in><al><a v=\"1\"/><a v=\"2\"/><a v=\"&lt;3\"/></al></in>"
                  "<in><al><a v=\"4\"/><a/><a v=\"5\"/><a v=\"6\"/></al></in>"
                  "<error rc=\"12\"/></attrGroup></dataResponse>",
                  &r),
            IncomingAction::kReturn);
  EXPECT_EQ(r->type, DATA_RESPONSE);
  EXPECT_STREQ(r->responseAttrGroup, "G");
  EXPECT_EQ(r->responseRc, 12);
  ASSERT_NE(r->responseRows, nullptr);
  EXPECT_EQ(r->responseRows->count, 3);
  EXPECT_STREQ(r->responseRows->values[2], "<3");
  ResponseRow* second = r->responseRows->next;
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->count, 3);  // the <a/> without v is ignored
  EXPECT_STREQ(second->values[0], "4");
  EXPECT_EQ(second->next, nullptr);
  cp_FreeRequest(r);
  // 'a' outside any row and 'error' without rc are ignored, not dereferenced.
  EXPECT_EQ(build("<dataResponse id=\"8\"><a v=\"x\"/><error/><attrGroup name=\"G\"/>"
                  "</dataResponse>",
                  &r),
            IncomingAction::kReturn);
  EXPECT_EQ(r->responseRows, nullptr);
  EXPECT_EQ(r->responseRc, 0);
  cp_FreeRequest(r);
}

}  // namespace
