// Small measuring helpers of the whole-process benchmark: latency summaries and the figures a
// process publishes under /proc (resident memory, CPU time).
#ifndef VEL_BENCH_REQUEST_BENCHSTATS_H
#define VEL_BENCH_REQUEST_BENCHSTATS_H

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace velbench {

// A latency distribution in milliseconds. All fields are 0 for an empty sample.
struct LatencySummary {
  size_t count = 0;
  double mean = 0;
  double p50 = 0;
  double p90 = 0;
  double p99 = 0;
  double max = 0;
};

// Nearest-rank percentile (0 < p <= 100) of an ascending sample; 0 for an empty one.
double percentileOfSorted(const std::vector<double>& sorted, double p);

// Summarises the sample (it is sorted in place).
LatencySummary summarize(std::vector<double>* samplesMs);

// The memory lines of /proc/<pid>/status, in kB, and the thread count; -1 when absent.
struct ProcMemory {
  long vmRssKb = -1;
  long vmHwmKb = -1;
  long threads = -1;
};

// Parses the text of a /proc/<pid>/status file. False when no VmRSS line is there.
bool parseProcStatus(const std::string& text, ProcMemory* out);

// Parses utime + stime (fields 14 and 15, in clock ticks) from the text of a /proc/<pid>/stat
// file. The command name (field 2) is in parentheses and may hold blanks and parentheses, so
// fields are counted from the last ')'. False on text that does not have the fields.
bool parseProcStatTicks(const std::string& text, unsigned long long* ticks);

// Reads the files of a live process; false when the process or the file is gone.
bool readProcMemory(pid_t pid, ProcMemory* out);
bool readProcCpuTicks(pid_t pid, unsigned long long* ticks);

// Parses the first field of a /proc/<pid>/task/<tid>/schedstat file: the time the thread has run
// on a CPU, in nanoseconds. False on text that does not start with a number.
bool parseSchedstatNs(const std::string& text, unsigned long long* ns);

// The CPU time of every live thread of the process, in nanoseconds, summed from its schedstat
// files (much finer than the clock ticks of /proc/<pid>/stat, which matters for an idle
// process). False when the files are not there (a kernel without scheduler statistics).
bool readProcCpuNanos(pid_t pid, unsigned long long* ns);

// CPU use as a percentage of one core: CPU nanoseconds consumed over a wall-clock interval;
// 0 for an interval that is not positive.
double cpuPercent(unsigned long long cpuNs, double seconds);

}  // namespace velbench

#endif  // VEL_BENCH_REQUEST_BENCHSTATS_H
