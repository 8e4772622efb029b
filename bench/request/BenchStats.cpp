#include "BenchStats.h"

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace velbench {

double percentileOfSorted(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  if (p <= 0) return sorted.front();
  // Nearest rank: the smallest value with at least p% of the sample at or below it.
  double rank = std::ceil(p / 100.0 * static_cast<double>(sorted.size()));
  size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
  if (index >= sorted.size()) index = sorted.size() - 1;
  return sorted[index];
}

LatencySummary summarize(std::vector<double>* samplesMs) {
  LatencySummary s;
  if (samplesMs == nullptr || samplesMs->empty()) return s;
  std::vector<double>& v = *samplesMs;
  std::sort(v.begin(), v.end());
  double sum = 0;
  for (double x : v) sum += x;
  s.count = v.size();
  s.mean = sum / static_cast<double>(v.size());
  s.p50 = percentileOfSorted(v, 50);
  s.p90 = percentileOfSorted(v, 90);
  s.p99 = percentileOfSorted(v, 99);
  s.max = v.back();
  return s;
}

namespace {

// The number after "Name:" on a status line, or -1.
long statusValue(const std::string& line, const char* name) {
  size_t n = std::strlen(name);
  if (line.compare(0, n, name) != 0) return -1;
  const char* p = line.c_str() + n;
  char* end = nullptr;
  long v = std::strtol(p, &end, 10);
  return end == p ? -1 : v;
}

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

bool parseProcStatus(const std::string& text, ProcMemory* out) {
  if (out == nullptr) return false;
  ProcMemory m;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    long v;
    if ((v = statusValue(line, "VmRSS:")) >= 0) m.vmRssKb = v;
    if ((v = statusValue(line, "VmHWM:")) >= 0) m.vmHwmKb = v;
    if ((v = statusValue(line, "Threads:")) >= 0) m.threads = v;
  }
  if (m.vmRssKb < 0) return false;
  *out = m;
  return true;
}

bool parseProcStatTicks(const std::string& text, unsigned long long* ticks) {
  if (ticks == nullptr) return false;
  size_t close = text.rfind(')');
  if (close == std::string::npos) return false;
  // After the name: field 3 (state) is the first word; utime and stime are fields 14 and 15.
  std::istringstream in(text.substr(close + 1));
  std::string word;
  unsigned long long utime = 0, stime = 0;
  for (int field = 3; field <= 15; ++field) {
    if (!(in >> word)) return false;
    if (field < 14) continue;
    char* end = nullptr;
    unsigned long long v = std::strtoull(word.c_str(), &end, 10);
    if (end == word.c_str() || *end != '\0') return false;
    (field == 14 ? utime : stime) = v;
  }
  *ticks = utime + stime;
  return true;
}

bool readProcMemory(pid_t pid, ProcMemory* out) {
  return parseProcStatus(readWhole("/proc/" + std::to_string(pid) + "/status"), out);
}

bool readProcCpuTicks(pid_t pid, unsigned long long* ticks) {
  return parseProcStatTicks(readWhole("/proc/" + std::to_string(pid) + "/stat"), ticks);
}

bool parseSchedstatNs(const std::string& text, unsigned long long* ns) {
  if (ns == nullptr) return false;
  const char* p = text.c_str();
  char* end = nullptr;
  unsigned long long v = std::strtoull(p, &end, 10);
  if (end == p || (*end != ' ' && *end != '\n' && *end != '\0')) return false;
  *ns = v;
  return true;
}

bool readProcCpuNanos(pid_t pid, unsigned long long* ns) {
  if (ns == nullptr) return false;
  std::string dir = "/proc/" + std::to_string(pid) + "/task";
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return false;
  unsigned long long sum = 0;
  int threads = 0;
  while (struct dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    unsigned long long v = 0;
    // A thread that ends between the listing and the read is skipped.
    if (!parseSchedstatNs(readWhole(dir + "/" + e->d_name + "/schedstat"), &v)) continue;
    sum += v;
    ++threads;
  }
  closedir(d);
  if (threads == 0) return false;
  *ns = sum;
  return true;
}

double cpuPercent(unsigned long long cpuNs, double seconds) {
  if (seconds <= 0) return 0;
  return 100.0 * static_cast<double>(cpuNs) / 1e9 / seconds;
}

}  // namespace velbench
