// docs/operating.md names every event id and every exit code the program has, read from the
// code: the ids passed to the event posts and listed in the suggestion tables, the exit codes of
// the agent-mode start-up and of the "test" command. A new id or code breaks this test until the
// guide explains it. (Plain scanning instead of std::regex: GCC 12 warns inside it under the
// sanitizers.)
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <string>

#include "TestSupport.h"

namespace {

// The body of the function that begins with header in text (up to the first line "}").
std::string bodyOf(const std::string& text, const std::string& header) {
  size_t start = text.find(header);
  EXPECT_NE(start, std::string::npos) << header;
  if (start == std::string::npos) return std::string();
  return text.substr(start, text.find("\n}\n", start) - start);
}

// The whole numbers (with their sign) that follow each occurrence of before in text, when the
// text after the number begins with after.
std::set<int> numbersAfter(const std::string& text, const std::string& before,
                           const std::string& after) {
  std::set<int> out;
  for (size_t at = text.find(before); at != std::string::npos; at = text.find(before, at + 1)) {
    size_t p = at + before.size();
    while (p < text.size() && text[p] == ' ') ++p;
    size_t digits = p + (p < text.size() && text[p] == '-');
    size_t end = digits;
    while (end < text.size() && isdigit(static_cast<unsigned char>(text[end]))) ++end;
    if (end > digits && text.compare(end, after.size(), after) == 0)
      out.insert(std::stoi(text.substr(p, end - p)));
  }
  return out;
}

// The four-digit numbers from 1000 to 1999 among the arguments of each call of function.
std::set<int> eventIdsPassedTo(const std::string& text, const std::string& function) {
  std::set<int> out;
  for (size_t at = text.find(function + "("); at != std::string::npos;
       at = text.find(function + "(", at + 1)) {
    std::string args = text.substr(at, text.find(';', at) - at);
    for (size_t p = 0; p < args.size(); ++p) {
      size_t end = p;
      while (end < args.size() && isdigit(static_cast<unsigned char>(args[end]))) ++end;
      bool word = (p == 0 || !isalnum(static_cast<unsigned char>(args[p - 1]))) && end - p == 4;
      if (word && args[p] == '1') out.insert(std::stoi(args.substr(p, 4)));
      p = end > p ? end : p;
    }
  }
  return out;
}

TEST(OperatingGuide, NamesEveryEventIdAndExitCode) {
  const std::string src = veltest::sourceDir() + "/src";
  const std::string guide = veltest::readFile(veltest::sourceDir() + "/docs/operating.md");
  ASSERT_FALSE(guide.empty());

  // Event ids: passed to the posting calls, constants named ...EventId, the suggestion tables.
  std::set<int> ids;
  for (const auto& f : std::filesystem::recursive_directory_iterator(src)) {
    if (f.path().extension() != ".cpp") continue;
    std::string text = veltest::readFile(f.path().string());
    for (const char* call : {"postAgentEvent", "postStartFailureEvent", "clientFailure"})
      for (int n : eventIdsPassedTo(text, call)) ids.insert(n);
    for (int n : numbersAfter(text, "EventId =", ";")) ids.insert(n);
  }
  for (int n : numbersAfter(veltest::readFile(src + "/collect/Vel_PostEvent.cpp"), "{", ","))
    if (n >= 100) ids.insert(n);  // event ids and Oracle error numbers, not array fillers
  EXPECT_GE(ids.size(), 6u);
  for (int n : ids) EXPECT_NE(guide.find("| " + std::to_string(n) + " |"), std::string::npos) << n;

  // Exit codes, as the shell sees them: a negative code c is 256 + c, written "| 255 (-1) |".
  std::set<int> codes;
  std::string mainText = veltest::readFile(src + "/main/VelMain.cpp");
  for (const char* f : {"int clientFailure(", "int runAgentMode(", "int velMain("})
    for (int n : numbersAfter(bodyOf(mainText, f), "return ", ";")) codes.insert(n);
  std::string cli = veltest::readFile(src + "/main/VelCommandLine.cpp");
  for (int n : numbersAfter(bodyOf(cli, "int doCommandTest("), "VEL_RETURN(", ")")) codes.insert(n);
  EXPECT_GE(codes.size(), 7u);
  for (int c : codes) {
    std::string cell = c >= 0 ? "| " + std::to_string(c) + " |"
                              : "| " + std::to_string(256 + c) + " (" + std::to_string(c) + ") |";
    EXPECT_NE(guide.find(cell), std::string::npos) << cell;
  }
}

// Every VEL_ variable the code reads, but the configuration-file keys, is in the guide.
TEST(OperatingGuide, NamesEveryVariable) {
  const std::string guide = veltest::readFile(veltest::sourceDir() + "/docs/operating.md");
  for (const auto& f :
       std::filesystem::recursive_directory_iterator(veltest::sourceDir() + "/src")) {
    if (f.path().extension() != ".cpp") continue;
    std::string text = veltest::readFile(f.path().string());
    for (size_t at = text.find("\"VEL_"); at != std::string::npos;
         at = text.find("\"VEL_", at + 1)) {
      size_t end = text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_", at + 1);
      std::string name = text.substr(at + 1, end - at - 1);
      if (at >= 10 && text.compare(at - 10, 10, "(section, ") == 0) continue;  // a file key
      EXPECT_TRUE(guide.find("`" + name + "`") != std::string::npos ||
                  guide.find("`$" + name + "`") != std::string::npos)
          << name << " " << f.path();
    }
  }
}

}  // namespace
