#include "MUT1.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "PEB1.h"

std::atomic<uint32_t> g_MUT1_SyncCounter{1};

namespace {

// Head of the list of blocks that have been synchronised once; the SIGHUP handler walks it.
std::atomic<MUT1_Block*> g_blocks{nullptr};

// The parsed settings and the output descriptor, rebuilt when the counter moves.
struct Settings {
  uint32_t counter = 0;  // counter value these settings were read at
  uint32_t defaultFlags = MUT1_ERROR;
  std::vector<std::pair<std::string, uint32_t>> units;
  int fd = 2;
  bool ownFd = false;
  std::string fileName;
};

pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
Settings g_settings;  // guarded by g_lock

// A child of fork() may trace before it execs (the pool traces its calls, and every trace line
// looks up the output under g_lock): the lock is held across the call, so the child never inherits
// it taken by a thread that does not exist there. Registered before the pool's own guard: prepare
// handlers run in reverse order of registration, so the pool lock is taken first, as everywhere.
struct ForkGuard {
  ForkGuard() { pthread_atfork(&lock, &unlock, &unlock); }
  static void lock() { pthread_mutex_lock(&g_lock); }
  static void unlock() { pthread_mutex_unlock(&g_lock); }
};
ForkGuard g_forkGuard __attribute__((init_priority(101)));

bool parseWord(const std::string& word, uint32_t* flags) {
  std::string w;
  for (char c : word)
    if (!isspace(static_cast<unsigned char>(c))) w += static_cast<char>(tolower(c));
  if (w.empty()) return true;
  if (w == "error")
    *flags |= MUT1_ERROR;
  else if (w == "detail")
    *flags |= MUT1_DETAIL;
  else if (w == "dump")
    *flags |= MUT1_DUMP;
  else if (w == "flow")
    *flags |= MUT1_FLOW;
  else if (w == "all")
    *flags |= MUT1_DETAIL | MUT1_DUMP | MUT1_FLOW | MUT1_ERROR;
  else if (w == "none")
    *flags = 0;
  else if (w.size() > 2 && w[0] == '0' && w[1] == 'x') {
    char* end = nullptr;
    unsigned long v = strtoul(w.c_str() + 2, &end, 16);
    if (*end != 0) return false;
    *flags |= static_cast<uint32_t>(v) & ~MUT1_STALE;
  } else {
    return false;
  }
  return true;
}

// "words" is a list of words separated by ',' or '|'.
uint32_t parseFlags(const std::string& words) {
  uint32_t flags = 0;
  size_t pos = 0;
  while (pos <= words.size()) {
    size_t end = words.find_first_of(",|", pos);
    if (end == std::string::npos) end = words.size();
    if (!parseWord(words.substr(pos, end - pos), &flags)) {
      // An unknown word is reported once per read of the settings and otherwise ignored.
      fprintf(stderr, "VEL_TRACE: unknown trace word '%s' ignored\n",
              words.substr(pos, end - pos).c_str());
    }
    pos = end + 1;
  }
  return flags;
}

// Reads VEL_TRACE and VEL_TRACE_FILE. Called with g_lock held.
void readSettings(uint32_t counter) {
  Settings& s = g_settings;
  s.counter = counter;
  s.units.clear();
  const char* spec = PEB1_GetEnv("VEL_TRACE", nullptr);
  std::string text = spec ? spec : "error";
  size_t semi = text.find(';');
  s.defaultFlags = parseFlags(text.substr(0, semi));
  while (semi != std::string::npos) {
    size_t next = text.find(';', semi + 1);
    std::string part =
        text.substr(semi + 1, next == std::string::npos ? std::string::npos : next - semi - 1);
    size_t eq = part.find('=');
    if (eq != std::string::npos) {
      std::string unit;
      for (char c : part.substr(0, eq))
        if (!isspace(static_cast<unsigned char>(c))) unit += c;
      s.units.emplace_back(unit, parseFlags(part.substr(eq + 1)));
    }
    semi = next;
  }
  const char* file = PEB1_GetEnv("VEL_TRACE_FILE", nullptr);
  std::string fileName = file ? file : "";
  if (fileName != s.fileName || (!fileName.empty() && !s.ownFd)) {
    if (s.ownFd) close(s.fd);
    s.fd = 2;
    s.ownFd = false;
    s.fileName = fileName;
    if (!fileName.empty()) {
      int fd = open(fileName.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
      if (fd >= 0) {
        // A trace file that existed before keeps its old mode on open: tighten it, since what
        // support receives must not be readable by every user of the host.
        (void)fchmod(fd, 0600);
        s.fd = fd;
        s.ownFd = true;
      } else {
        fprintf(stderr, "VEL_TRACE_FILE: cannot open %s: %s; tracing to standard error\n",
                fileName.c_str(), strerror(errno));
      }
    }
  }
}

uint32_t flagsFor(const char* unit) {
  for (const auto& u : g_settings.units)
    if (strcasecmp(u.first.c_str(), unit) == 0) return u.second;
  return g_settings.defaultFlags;
}

void writeAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
}

int currentFd() {
  pthread_mutex_lock(&g_lock);
  int fd = g_settings.fd;
  pthread_mutex_unlock(&g_lock);
  return fd;
}

// Writes the line prefix "YYYY-MM-DD HH:MM:SS.mmm [tid] unit:line " into out.
void appendPrefix(std::string& out, MUT1_Block* block, int line) {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  struct tm tmv;
  time_t secs = tv.tv_sec;
  localtime_r(&secs, &tmv);
  char buf[96];
  int n = snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d [%ld] %s:%d ",
                   tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour, tmv.tm_min,
                   tmv.tm_sec, static_cast<int>(tv.tv_usec / 1000),
                   static_cast<long>(syscall(SYS_gettid)), block->unit, line);
  out.append(buf, n > 0 ? std::min(static_cast<size_t>(n), sizeof buf - 1) : 0);
}

void appendV(std::string& out, const char* format, va_list ap) {
  char stackBuf[1024];
  va_list copy;
  va_copy(copy, ap);
  int n = vsnprintf(stackBuf, sizeof stackBuf, format, copy);
  va_end(copy);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof stackBuf) {
    out.append(stackBuf, static_cast<size_t>(n));
  } else {
    size_t old = out.size();
    out.resize(old + static_cast<size_t>(n) + 1);
    vsnprintf(&out[old], static_cast<size_t>(n) + 1, format, ap);
    out.resize(old + static_cast<size_t>(n));
  }
}

// Ends the text with exactly one line feed (a message's own trailing line feeds are folded).
void finishLine(std::string& out) {
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  out += '\n';
}

void onSighup(int) { MUT1_Invalidate(); }

}  // namespace

uint32_t MUT1_Sync(MUT1_Block* block) {
  pthread_mutex_lock(&g_lock);
  uint32_t counter = g_MUT1_SyncCounter.load(std::memory_order_acquire);
  if (g_settings.counter != counter) readSettings(counter);
  if (block->next == nullptr && g_blocks.load(std::memory_order_relaxed) != block) {
    // First synchronisation of this block: add it to the registry.
    block->next = g_blocks.load(std::memory_order_relaxed);
    if (block->next == nullptr) block->next = block;  // self marks the list's end
    g_blocks.store(block, std::memory_order_release);
  }
  block->sync = counter;
  uint32_t flags = flagsFor(block->unit);
  block->word.store(flags, std::memory_order_relaxed);
  pthread_mutex_unlock(&g_lock);
  return flags;
}

void MUT1_Invalidate() {
  g_MUT1_SyncCounter.fetch_add(1, std::memory_order_acq_rel);
  for (MUT1_Block* b = g_blocks.load(std::memory_order_acquire); b != nullptr;) {
    b->word.fetch_or(MUT1_STALE, std::memory_order_relaxed);
    MUT1_Block* next = b->next;
    b = (next == b) ? nullptr : next;
  }
}

void MUT1_InstallSighup() {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = onSighup;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGHUP, &sa, nullptr);
}

void MUT1_Printf(MUT1_Block* block, int line, const char* format, ...) {
  std::string out;
  out.reserve(256);
  appendPrefix(out, block, line);
  va_list ap;
  va_start(ap, format);
  appendV(out, format, ap);
  va_end(ap);
  finishLine(out);
  writeAll(currentFd(), out.data(), out.size());
}

void MUT1_Event(MUT1_Block* block, int line, int kind, ...) {
  std::string out;
  appendPrefix(out, block, line);
  va_list ap;
  va_start(ap, kind);
  char buf[128];
  if (kind == 0) {
    const char* fn = va_arg(ap, const char*);
    snprintf(buf, sizeof buf, "Entry %s", fn ? fn : "");
    out += buf;
  } else if (kind == 1) {
    long long v = va_arg(ap, long long);
    snprintf(buf, sizeof buf, "Exit, result %lld (0x%llx)", v, static_cast<unsigned long long>(v));
    out += buf;
  } else {
    out += "Exit";
  }
  va_end(ap);
  finishLine(out);
  writeAll(currentFd(), out.data(), out.size());
}

void MUT1_Dump(MUT1_Block* block, int line, const void* address, size_t length, const char* title,
               ...) {
  std::string out;
  appendPrefix(out, block, line);
  va_list ap;
  va_start(ap, title);
  appendV(out, title, ap);
  va_end(ap);
  char head[64];
  snprintf(head, sizeof head, " (%zu bytes)", length);
  out += head;
  finishLine(out);
  const unsigned char* p = static_cast<const unsigned char*>(address);
  if (p == nullptr) length = 0;
  static const char hex[] = "0123456789ABCDEF";
  for (size_t off = 0; off < length; off += 16) {
    char row[96];
    int n = snprintf(row, sizeof row, "  %08zX  ", off);
    std::string text(row, static_cast<size_t>(n));
    std::string chars;
    for (size_t i = 0; i < 16; ++i) {
      if (off + i < length) {
        unsigned char c = p[off + i];
        text += hex[c >> 4];
        text += hex[c & 15];
        text += ' ';
        chars += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '.';
      } else {
        text += "   ";
      }
    }
    out += text;
    out += ' ';
    out += chars;
    out += '\n';
  }
  writeAll(currentFd(), out.data(), out.size());
}
