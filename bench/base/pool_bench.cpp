// The pool against the system allocator on the same alloc/free pattern: mixed sizes of 16 to
// 2048 bytes (most of them small, as strings, list nodes and row values are), with a working
// set of live objects, each slot freed and refilled in turn. Compare the items/s of
// BM_Pool/... with BM_System/... at the same thread count; BM_PoolLockFloor is the part of
// the pool's cost that is its mutex.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "VelMemManager.h"
#include "VelMutex.h"

namespace {

constexpr int kLive = 512;    // objects alive at any time, per thread
constexpr int kSizes = 4096;  // pre-drawn sizes, cycled

std::vector<size_t> drawSizes(unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<size_t> sizes(kSizes);
  for (auto& s : sizes) {
    unsigned r = rng() % 100;
    if (r < 60)
      s = 16 + rng() % 113;  // 16..128: nodes, short strings
    else if (r < 90)
      s = 129 + rng() % 384;  // up to 512: rows, statements
    else
      s = 513 + rng() % 1536;  // up to 2048
  }
  return sizes;
}

struct PoolAlloc {
  static void* alloc(size_t n) { return VelMemManager::Malloc(n); }
  static void release(void* p) { VelMemManager::Free(p); }
};
struct SystemAlloc {
  static void* alloc(size_t n) { return malloc(n); }
  static void release(void* p) { free(p); }
};

template <typename A>
void BM_Mixed(benchmark::State& state) {
  std::vector<size_t> sizes = drawSizes(77 + static_cast<unsigned>(state.thread_index()));
  std::vector<void*> live(kLive, nullptr);
  // Warm up: fill the working set once.
  for (int i = 0; i < kLive; ++i) {
    live[i] = A::alloc(sizes[i]);
    static_cast<char*>(live[i])[0] = 1;
  }
  size_t k = kLive;
  unsigned slot = 0;
  std::mt19937 rng(5 + static_cast<unsigned>(state.thread_index()));
  std::vector<unsigned> order(kSizes);
  for (auto& o : order) o = rng() % kLive;
  for (auto _ : state) {
    slot = order[k % kSizes];
    A::release(live[slot]);
    void* p = A::alloc(sizes[k % kSizes]);
    static_cast<char*>(p)[0] = static_cast<char>(k);
    live[slot] = p;
    ++k;
  }
  for (void* p : live) A::release(p);
  state.SetItemsProcessed(state.iterations());
}

// The floor under the pool: the two lock/unlock pairs of one Free and one Malloc, nothing else.
void BM_PoolLockFloor(benchmark::State& state) {
  static VelSpinMutex mutex;
  for (auto _ : state) {
    {
      VelSpinMutexHandler lock(mutex);
      benchmark::ClobberMemory();
    }
    {
      VelSpinMutexHandler lock(mutex);
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_PoolLockFloor)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK_TEMPLATE(BM_Mixed, PoolAlloc)->Name("BM_Pool")->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK_TEMPLATE(BM_Mixed, SystemAlloc)->Name("BM_System")->Threads(1)->Threads(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
