// Trace service of the agent runtime (MUT1_*).
//
// Every source file that traces owns one trace control block, declared once at file scope with
// VEL_TRACE_UNIT("unit"). The block caches the unit's flag word; a trace point tests that word
// with one load and one branch. When the settings change (start-up, SIGHUP) every block is marked
// stale and the next trace point of that unit calls MUT1_Sync, which re-reads the settings.
//
// Settings: VEL_TRACE holds words separated by ',' or '|': error, detail, dump, flow, all, none,
// or a hex mask (0x..); an optional per-unit form follows ';': "error;link=detail,dump;pool=all".
// Default "error". Output goes to VEL_TRACE_FILE (appended; created with mode 0600, as traces
// name hosts, users and statements) or standard error, one whole line per
// message: "YYYY-MM-DD HH:MM:SS.mmm [tid] unit:line text".
#ifndef VEL_BASE_MUT1_H
#define VEL_BASE_MUT1_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

// Flag bits of a trace block.
constexpr uint32_t MUT1_DETAIL = 0x01;  // detailed step messages
constexpr uint32_t MUT1_DUMP = 0x10;    // detail dumps
constexpr uint32_t MUT1_FLOW = 0x40;    // entry/exit and flow-level messages
constexpr uint32_t MUT1_ERROR = 0x80;   // errors
// Set in a block's word when its cached flags are out of date.
constexpr uint32_t MUT1_STALE = 0x80000000u;

struct MUT1_Block {
  const char* unit;            // unit name, as matched by the per-unit settings
  std::atomic<uint32_t> word;  // cached flags, plus MUT1_STALE when they must be re-read
  uint32_t sync;     // global counter value at the last MUT1_Sync (guarded by the service)
  MUT1_Block* next;  // registry of synchronised blocks (written once, under the service)
};

// Global synchronisation counter; moves when the settings must be re-read.
extern std::atomic<uint32_t> g_MUT1_SyncCounter;

// Re-reads the settings if they changed and returns the block's current flag word.
uint32_t MUT1_Sync(MUT1_Block* block);

// Writes one formatted trace line for the block.
void MUT1_Printf(MUT1_Block* block, int line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Flow events: kind 0 = entry (optional const char* function name follows), 1 = exit with a
// value (a long long follows), 2 = exit without value.
void MUT1_Event(MUT1_Block* block, int line, int kind, ...);

// Writes a hexadecimal dump of length bytes at address under a formatted title, as one write.
void MUT1_Dump(MUT1_Block* block, int line, const void* address, size_t length, const char* title,
               ...) __attribute__((format(printf, 5, 6)));

// Marks every block stale and moves the global counter, so the settings are re-read at the next
// trace point. Async-signal-safe (the SIGHUP handler calls it).
void MUT1_Invalidate();

// Installs the SIGHUP handler that calls MUT1_Invalidate. Idempotent.
void MUT1_InstallSighup();

// Returns whether any of the bits in mask are on for the block: one load and one branch while the
// block is current.
inline bool MUT1_On(MUT1_Block* block, uint32_t mask) {
  uint32_t w = block->word.load(std::memory_order_relaxed);
  if (__builtin_expect((w & (mask | MUT1_STALE)) == 0, 1)) return false;
  if (w & MUT1_STALE) w = MUT1_Sync(block);
  return (w & mask) != 0;
}

// Entry/exit tracing of one function through one object: constructed at entry, it traces the
// exit (with the value given to ret(), if any) when it goes out of scope.
class MUT1_FlowScope {
 public:
  MUT1_FlowScope(MUT1_Block* block, int line, const char* function)
      : m_block(block), m_line(line), m_on(MUT1_On(block, MUT1_FLOW)) {
    if (m_on) MUT1_Event(m_block, line, 0, function);
  }
  ~MUT1_FlowScope() {
    if (!m_on) return;
    if (m_hasValue)
      MUT1_Event(m_block, m_line, 1, m_value);
    else
      MUT1_Event(m_block, m_line, 2);
  }
  MUT1_FlowScope(const MUT1_FlowScope&) = delete;
  MUT1_FlowScope& operator=(const MUT1_FlowScope&) = delete;

  // Records the value the function returns and hands it back: return flow.ret(__LINE__, v);
  template <typename T>
  T ret(int line, T value) {
    if (m_on) {
      m_line = line;
      m_hasValue = true;
      m_value = toLong(value);
    }
    return value;
  }

 private:
  template <typename T>
  static long long toLong(T v) {
    if constexpr (std::is_pointer_v<T>)
      return static_cast<long long>(reinterpret_cast<intptr_t>(v));
    else
      return static_cast<long long>(v);
  }
  MUT1_Block* m_block;
  int m_line;
  bool m_on;
  bool m_hasValue = false;
  long long m_value = 0;
};

// ---- Macros used by the program -------------------------------------------------------------

// Declares the file's trace block. Use once per source file, at namespace scope.
#define VEL_TRACE_UNIT(name) static MUT1_Block s_velTraceBlock = {name, {MUT1_STALE}, 0, nullptr}

// True when the flag bit(s) are on for this file's unit.
#define VEL_TRACE_ON(mask) MUT1_On(&s_velTraceBlock, (mask))

// One trace line under the given flag bit(s).
#define VEL_TRACE(mask, ...)                                                                     \
  do {                                                                                           \
    if (MUT1_On(&s_velTraceBlock, (mask))) MUT1_Printf(&s_velTraceBlock, __LINE__, __VA_ARGS__); \
  } while (0)
#define VEL_DETAIL(...) VEL_TRACE(MUT1_DETAIL, __VA_ARGS__)
#define VEL_DUMPMSG(...) VEL_TRACE(MUT1_DUMP, __VA_ARGS__)
#define VEL_FLOWMSG(...) VEL_TRACE(MUT1_FLOW, __VA_ARGS__)
#define VEL_ERROR(...) VEL_TRACE(MUT1_ERROR, __VA_ARGS__)

// Hex dump under the dump bit.
#define VEL_DUMP(address, length, ...)                                         \
  do {                                                                         \
    if (MUT1_On(&s_velTraceBlock, MUT1_DUMP))                                  \
      MUT1_Dump(&s_velTraceBlock, __LINE__, (address), (length), __VA_ARGS__); \
  } while (0)

// Entry/exit tracing: VEL_FLOW_ENTRY("Class::function"); ... VEL_RETURN(value); or plain return.
#define VEL_FLOW_ENTRY(function) \
  MUT1_FlowScope vel_flow_scope_(&s_velTraceBlock, __LINE__, function)
#define VEL_RETURN(value) return vel_flow_scope_.ret(__LINE__, (value))

#endif  // VEL_BASE_MUT1_H
