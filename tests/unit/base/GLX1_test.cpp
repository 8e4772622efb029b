// The XML event layer: element and text events, incremental feeding, malformed documents.
#include "GLX1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Records every event as text: "<name a=v ...>", "</name>", and character data joined until the
// next element event.
struct Recorder {
  std::vector<std::string> events;
  std::string text;

  void flush() {
    if (!text.empty()) events.push_back("text:" + text);
    text.clear();
  }
  static void start(void* user, const char* name, const char** atts) {
    auto* r = static_cast<Recorder*>(user);
    r->flush();
    std::string e = std::string("<") + name;
    for (const char** a = atts; a[0] != nullptr; a += 2) e += std::string(" ") + a[0] + "=" + a[1];
    r->events.push_back(e + ">");
  }
  static void end(void* user, const char* name) {
    auto* r = static_cast<Recorder*>(user);
    r->flush();
    r->events.push_back(std::string("</") + name + ">");
  }
  static void chars(void* user, const char* s, int len) {
    auto* r = static_cast<Recorder*>(user);
    r->text.append(s, static_cast<size_t>(len));
  }
};

// Owns a parser wired to a recorder.
struct Fixture {
  Recorder rec;
  GLX1_Parser parser = GLX1_ParserCreate(nullptr);
  Fixture() {
    GLX1_SetUserData(parser, &rec);
    GLX1_SetElementHandler(parser, Recorder::start, Recorder::end);
    GLX1_SetCharacterDataHandler(parser, Recorder::chars);
  }
  ~Fixture() { GLX1_ParserFree(parser); }
  // Feeds the document in blocks of the given size, never flagging the last one.
  int feed(const std::string& doc, size_t block) {
    for (size_t pos = 0; pos < doc.size(); pos += block) {
      int n = static_cast<int>(std::min(block, doc.size() - pos));
      if (GLX1_Parse(parser, doc.data() + pos, n, 0) == 0) return 0;
    }
    return 1;
  }
};

TEST(GLX1, ReportsElementsAttributesAndText) {
  Fixture f;
  ASSERT_NE(f.parser, nullptr);
  std::string doc =
      "<?xml version=\"1.0\"?>\n<catalog version=\"2\"><sql id=\"A&amp;B\" type='q'>"
      "select 1 &lt; 2</sql><empty/></catalog>";
  ASSERT_EQ(f.feed(doc, 7), 1);  // in small pieces
  std::vector<std::string> expected = {"<catalog version=2>",
                                       "<sql id=A&B type=q>",
                                       "text:select 1 < 2",
                                       "</sql>",
                                       "<empty>",
                                       "</empty>",
                                       "</catalog>"};
  EXPECT_EQ(f.rec.events, expected);
}

TEST(GLX1, MalformedInputGivesZeroAndStaysFailed) {
  Fixture f;
  EXPECT_EQ(GLX1_Parse(f.parser, "<a>\n<b></a>", 11, 0), 0);
  EXPECT_EQ(GLX1_GetErrorLine(f.parser), 2u);
  EXPECT_STRNE(GLX1_GetErrorText(f.parser), "");
  EXPECT_STRNE(GLX1_GetErrorText(f.parser), "no error");
  EXPECT_EQ(GLX1_Parse(f.parser, "</a>", 4, 0), 0);

  Fixture g;
  EXPECT_EQ(GLX1_Parse(g.parser, "<a b=\"1></a>", 12, 1), 0);  // unterminated attribute
  Fixture h;
  EXPECT_EQ(GLX1_Parse(h.parser, "no markup at all", 16, 1), 0);
  // An unfinished document fails only when its last block is flagged.
  Fixture open;
  EXPECT_EQ(GLX1_Parse(open.parser, "<a><b>", 6, 0), 1);
  Fixture last;
  EXPECT_EQ(GLX1_Parse(last.parser, "<a><b>", 6, 1), 0);
  EXPECT_EQ(GLX1_Parse(nullptr, "<a/>", 4, 1), 0);
  EXPECT_EQ(GLX1_GetErrorLine(nullptr), 0u);
  GLX1_ParserFree(nullptr);
}

}  // namespace
