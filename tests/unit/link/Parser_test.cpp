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
  const struct {
    const char *text, *message;
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
      {"<a></a/>", "Mismatched end tag found: a/ != a"},  // an end tag is cut at ' ' or '>' only
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
  for (const auto& c : cases) {
    Outcome o = parse(c.text);
    EXPECT_FALSE(o.ok) << c.text;
    ASSERT_EQ(o.errors.size(), 1u) << c.text;
    EXPECT_EQ(o.errors[0], c.message) << c.text;
  }
  // Callbacks made before the failure stand; nothing after it is examined.
  Outcome o = parse("<a><b x=\"1\"/></c><d/>");
  EXPECT_EQ(o.events, (Events{"S:a{}*", "S:b{x=1}", "E:b"}));
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
  // An '&' takes everything up to the next ';' as its name, spaces included.
  const char* const failures[][2] = {{"&#;", "Unrecognized entity: #"},
                                     {"&zz;", "Unrecognized entity: zz"},
                                     {"a & b;", "Unrecognized entity:  b"}};
  for (const auto& f : failures) {
    bool ok = true;
    std::string error;
    decode(f[0], &ok, &error);
    EXPECT_FALSE(ok) << f[0];
    EXPECT_EQ(error, f[1]);
  }
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
    cp_FreeRequest(r);
    for (AttrGroupReg* g : m_regs) {
      free(g->name);
      free(g);
    }
  }
  void add(const char* name, const void* handle) {
    auto* g = static_cast<AttrGroupReg*>(calloc(1, sizeof(AttrGroupReg)));
    g->name = strdup(name);
    g->handle = handle;
    m_regs.push_back(g);
    m_groups.put(g->name, g);
  }
  // Parses text and builds a fresh record into r; returns the action.
  IncomingAction build(const std::string& text, bool* parsed = nullptr) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    ClientRequestXMLHandler handler;
    Parser parser(&handler);
    bool ok = parser.parse(buffer.data());
    if (parsed) *parsed = ok;
    cp_FreeRequest(r);
    r = cpNewRequest();
    m_connectionId = -99;
    return cpBuildRequest(handler, &m_groups, r, text.c_str(), &m_connectionId);
  }
  // The record as one line: type, handle (A, B or -), the texts that are set, the shutdown flag,
  // the response code, the filter items [name value op logicalOp] and the rows {v,...}.
  std::string describe() const {
    std::string s = std::to_string(r->type) + (r->handle == &m_handleA   ? " A"
                                               : r->handle == &m_handleB ? " B"
                                                                         : " -");
    auto text = [&s](const char* name, const char* v) {
      if (v) s += std::string(" ") + name + "=" + v;
    };
    text("id", r->id);
    text("started", r->requestStartedID);
    text("subnode", r->subnode);
    text("action", r->action);
    text("user", r->user);
    text("group", r->responseAttrGroup);
    if (r->shuttingDown) s += " shuttingDown";
    if (r->responseRc) s += " rc=" + std::to_string(r->responseRc);
    auto orDash = [](const char* v) { return std::string(v ? v : "-"); };
    for (const RequestInfo* i = r->requestInfo; i; i = i->next)
      s += " [" + orDash(i->name) + " " + orDash(i->value) + " " + orDash(i->op) + " " +
           orDash(i->logicalOp) + "]";
    for (const ResponseRow* row = r->responseRows; row; row = row->next) {
      s += " {";
      for (int v = 0; v < row->count; ++v) s += (v ? "," : "") + orDash(row->values[v]);
      s += "}";
    }
    return s;
  }
  Request* r = nullptr;
  int m_handleA = 0;
  int m_handleB = 0;
  int m_connectionId = 0;
  HashMap m_groups;
  std::vector<AttrGroupReg*> m_regs;
};

TEST_F(Vocabulary, DataRequestWithFiltersInMessageOrder) {
  EXPECT_EQ(build("<dataRequest id=\"17\" requestStartedID=\"5\" subnode=\"VL:db1\">"
                  "<attrGroup name=\"Grp\"/>"
                  "<requestInfo name=\"A\" value=\"1\" op=\"EQ\" logOp=\"AND\"/>"
                  "<requestInfo name=\"B\" value=\"x&amp;y\" op=\"GT\"/>"
                  "<requestInfo name=\"C\" op=\"LT\"/>"
                  "</dataRequest>"),
            IncomingAction::kReturn);
  // Without logOp an item keeps its op; the item without a value is not copied.
  EXPECT_EQ(describe(), "1 A id=17 started=5 subnode=VL:db1 [A 1 EQ AND] [B x&y GT -]");
}

TEST_F(Vocabulary, MessagesWithNothingToAnswerAreSkipped) {
  for (const char* text : {
           "<dataRequest id=\"1\"><attrGroup name=\"Nope\"/></dataRequest>",
           "<dataRequest><attrGroup name=\"Grp\"/></dataRequest>",
           "<dataRequest id=\"1\"></dataRequest>",
           "<taskRequest id=\"t2\"><task user=\"u\"/></taskRequest>",
           "<taskRequest id=\"t3\"></taskRequest>",
           "<taskRequest><task command=\"x\"/></taskRequest>",
           "<startRequestInfo ag=\"Grp\"/>",
           "<startRequestInfo requestStartedID=\"1\"/>",
           "<startRequestInfo requestStartedID=\"1\" ag=\"Nope\"/>",
           "<stopRequestInfo requestStartedID=\"4\"/>",  // without ag not a stop request at all
           "<hello a=\"b\"/>",
           "garbage without tags",
       }) {
    EXPECT_EQ(build(text), IncomingAction::kWait) << text;
  }
}

TEST_F(Vocabulary, AParseErrorAfterTheGroupStillYieldsTheDataRequest) {
  bool parsed = true;
  EXPECT_EQ(
      build("<dataRequest id=\"9\"><attrGroup name=\"Other\"/><requestInfo name='x'/>", &parsed),
      IncomingAction::kReturn);
  EXPECT_FALSE(parsed);
  EXPECT_EQ(describe(), "1 B id=9");
}

TEST_F(Vocabulary, TaskRequests) {
  EXPECT_EQ(build("<taskRequest id=\"t1\" subnode=\"s\"><task command=\"select 1 from dual\" "
                  "user=\"ops\"/></taskRequest>"),
            IncomingAction::kReturn);
  EXPECT_EQ(describe(), "2 - id=t1 subnode=s action=select 1 from dual user=ops");
  // A user is optional.
  EXPECT_EQ(build("<taskRequest id=\"t4\"><task command=\"x\"/></taskRequest>"),
            IncomingAction::kReturn);
  EXPECT_EQ(describe(), "2 - id=t4 action=x");
}

TEST_F(Vocabulary, StartAndStopOfContinuousRequests) {
  EXPECT_EQ(build("<startRequestInfo requestStartedID=\"44\" ag=\"Grp\"/>"),
            IncomingAction::kReturn);
  EXPECT_EQ(describe(), "3 A started=44");
  EXPECT_EQ(build("<stopRequestInfo requestStartedID=\"44\" ag=\"Other\" shuttingDown=\"true\"/>"),
            IncomingAction::kReturn);
  EXPECT_EQ(describe(), "4 B started=44 shuttingDown");
  EXPECT_EQ(build("<stopRequestInfo requestStartedID=\"44\" ag=\"Grp\"/>"),
            IncomingAction::kReturn);
  EXPECT_EQ(describe(), "4 A started=44");
  // An unknown group is returned as a shutdown record carrying the flag.
  EXPECT_EQ(build("<stopRequestInfo requestStartedID=\"4\" ag=\"Nope\" shuttingDown=\"TRUE\"/>"),
            IncomingAction::kReturn);
  EXPECT_EQ(describe(), "0 - shuttingDown");
}

TEST_F(Vocabulary, ShutdownAndConnectionMessages) {
  EXPECT_EQ(build("<shutdown/>"), IncomingAction::kReturn);
  EXPECT_EQ(r->type, SHUTDOWN_REQUEST);
  EXPECT_EQ(build("<connection id=\"3\"/>"), IncomingAction::kConnection);
  EXPECT_EQ(m_connectionId, 3);
  EXPECT_EQ(build("<connection/>"), IncomingAction::kConnection);
  EXPECT_EQ(m_connectionId, 1);
}

TEST_F(Vocabulary, DataResponseRowsAndMalformedPieces) {
  EXPECT_EQ(build("<dataResponse id=\"7\" subnode=\"n\"><attrGroup name=\"G\">"
                  "<in><al><a v=\"1\"/><a v=\"2\"/><a v=\"&lt;3\"/></al></in>"
                  "<in><al><a v=\"4\"/><a/><a v=\"5\"/><a v=\"6\"/></al></in>"
                  "<error rc=\"12\"/></attrGroup></dataResponse>"),
            IncomingAction::kReturn);
  // The <a/> without v is ignored.
  EXPECT_EQ(describe(), "5 - subnode=n group=G rc=12 {1,2,<3} {4,5,6}");
  // 'a' outside any row and 'error' without rc are ignored, not dereferenced.
  EXPECT_EQ(build("<dataResponse id=\"8\"><a v=\"x\"/><error/><attrGroup name=\"G\"/>"
                  "</dataResponse>"),
            IncomingAction::kReturn);
  EXPECT_EQ(r->responseRows, nullptr);
  EXPECT_EQ(r->responseRc, 0);
}

}  // namespace
