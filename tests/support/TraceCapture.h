// Trace capture for tests: while a TraceCapture lives, the trace goes to a file of its own with
// the given settings (VEL_TRACE syntax; null unsets VEL_TRACE, which means "error"). Settings are
// re-read at the next trace point after construction and again after destruction. Not for use
// from two threads' fixtures at once: the variables are process-wide.
#ifndef VEL_TESTS_SUPPORT_TRACECAPTURE_H
#define VEL_TESTS_SUPPORT_TRACECAPTURE_H

#include <string>

#include "MUT1.h"
#include "TestSupport.h"

namespace veltest {

class TraceCapture {
 public:
  explicit TraceCapture(const char* flags = "error")
      : m_trace("VEL_TRACE", flags), m_file("VEL_TRACE_FILE", m_dir.file("trace.log").c_str()) {
    MUT1_Invalidate();
  }
  // The guards restore the variables after this body; the next trace point re-reads them.
  ~TraceCapture() { MUT1_Invalidate(); }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  std::string text() const { return readFile(m_dir.file("trace.log")); }
  bool contains(const std::string& s) const { return text().find(s) != std::string::npos; }
  // True when one line of the trace holds both texts.
  bool lineHas(const std::string& a, const std::string& b) const {
    std::string t = text();
    for (size_t start = 0; start < t.size();) {
      size_t end = t.find('\n', start);
      if (end == std::string::npos) end = t.size();
      std::string line = t.substr(start, end - start);
      if (line.find(a) != std::string::npos && line.find(b) != std::string::npos) return true;
      start = end + 1;
    }
    return false;
  }

 private:
  TempDir m_dir;
  ScopedEnv m_trace;
  ScopedEnv m_file;
};

}  // namespace veltest

#endif  // VEL_TESTS_SUPPORT_TRACECAPTURE_H
