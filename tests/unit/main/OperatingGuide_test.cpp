// docs/operating.md names every event id and every exit code the program has, read from the
// code: the ids passed to the event posts and listed in the suggestion tables, the exit codes of
// the agent-mode start-up and of the "test" command. A new id or code breaks this test until the
// guide explains it.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
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

std::set<std::string> matches(const std::string& text, const std::regex& re, int group = 1) {
  std::set<std::string> out;
  for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it)
    out.insert((*it)[group]);
  return out;
}

TEST(OperatingGuide, NamesEveryEventIdAndExitCode) {
  const std::string src = veltest::sourceDir() + "/src";
  const std::string guide = veltest::readFile(veltest::sourceDir() + "/docs/operating.md");
  ASSERT_FALSE(guide.empty());

  // Event ids: four-digit numbers among the arguments of the posting calls, constants named
  // ...EventId, and the numbers of the suggestion tables.
  std::set<std::string> ids;
  static const std::regex post(
      "(postAgentEvent|postStartFailureEvent|clientFailure)\\s*\\(([^;]*)\\)\\s*;");
  static const std::regex id("\\b(1\\d{3})\\b");
  static const std::regex constant("EventId\\s*=\\s*(\\d+)");
  for (const auto& f : std::filesystem::recursive_directory_iterator(src)) {
    if (f.path().extension() != ".cpp") continue;
    std::string text = veltest::readFile(f.path().string());
    for (const std::string& args : matches(text, post, 2))
      for (const std::string& n : matches(args, id)) ids.insert(n);
    for (const std::string& n : matches(text, constant)) ids.insert(n);
  }
  std::string tables = veltest::readFile(src + "/collect/Vel_PostEvent.cpp");
  for (const std::string& n : matches(tables, std::regex("\\{\\s*(\\d{3,5})\\s*,"))) ids.insert(n);
  EXPECT_GE(ids.size(), 6u);
  for (const std::string& n : ids) EXPECT_NE(guide.find("| " + n + " |"), std::string::npos) << n;

  // Exit codes, as the shell sees them: a negative code c is 256 + c, written "| 255 (-1) |".
  std::set<int> codes;
  std::string mainText = veltest::readFile(src + "/main/VelMain.cpp");
  for (const char* f : {"int clientFailure(", "int runAgentMode(", "int velMain("})
    for (const std::string& n : matches(bodyOf(mainText, f), std::regex("return (-?\\d+);")))
      codes.insert(std::stoi(n));
  std::string cli = veltest::readFile(src + "/main/VelCommandLine.cpp");
  for (const std::string& n :
       matches(bodyOf(cli, "int doCommandTest("), std::regex("VEL_RETURN\\((-?\\d+)\\)")))
    codes.insert(std::stoi(n));
  EXPECT_GE(codes.size(), 7u);
  for (int c : codes) {
    std::string cell = c >= 0 ? "| " + std::to_string(c) + " |"
                              : "| " + std::to_string(256 + c) + " (" + std::to_string(c) + ") |";
    EXPECT_NE(guide.find(cell), std::string::npos) << cell;
  }
}

}  // namespace
