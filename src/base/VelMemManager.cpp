#include "VelMemManager.h"

#include <cstdlib>
#include <cstring>

#include "MUT1.h"

// Under AddressSanitizer the pool marks what is not handed out (free blocks, the bytes of a block
// beyond the request) as unaddressable, so overflows and uses after release of pooled objects
// are caught as they would be on the general heap.
#if defined(__SANITIZE_ADDRESS__)
#define VEL_POOL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEL_POOL_ASAN 1
#endif
#endif
#ifdef VEL_POOL_ASAN
#include <sanitizer/asan_interface.h>
#define VEL_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define VEL_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define VEL_POISON(p, n) ((void)(p), (void)(n))
#define VEL_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

VEL_TRACE_UNIT("pool");

namespace {

constexpr int kClasses = 16;
constexpr int kClassSize[kClasses] = {64,   128,  256,  512,  768,  1024,  1280,  1536,
                                      1792, 2048, 3072, 4096, 8192, 16384, 32768, 65536};
// Class index of a request of n bytes, 1 <= n <= 2048, looked up by (n - 1) >> 6.
constexpr uint8_t kSmallClass[32] = {0, 1, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5,
                                     6, 6, 6, 6, 7, 7, 7, 7, 8, 8, 8, 8, 9, 9, 9, 9};

// Class index of a request of 1..65536 bytes.
inline int classIndex(size_t n) {
  if (n <= 2048) return kSmallClass[(n - 1) >> 6];
  if (n <= 3072) return 10;
  if (n <= 4096) return 11;
  // 4097..65536: one class per power of two from 8192 on.
  return 64 - __builtin_clzll(static_cast<unsigned long long>(n - 1)) - 1;
}

unsigned ptrBits(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }

// A set of chunk positions (list order) as a growable bitmap whose lowest member is found with a
// word scan from a hint. The hint never passes a member, so the scan is amortised constant.
struct ChunkSet {
  uint64_t* bits = nullptr;
  unsigned words = 0;  // allocated words
  unsigned hint = 0;   // no member lies in a word below hint

  void add(unsigned i) {
    bits[i >> 6] |= uint64_t{1} << (i & 63);
    if ((i >> 6) < hint) hint = i >> 6;
  }
  void remove(unsigned i) { bits[i >> 6] &= ~(uint64_t{1} << (i & 63)); }
  // Lowest member among the first `used` words, or -1.
  long first(unsigned used) {
    if (hint < used && bits[hint] != 0)
      return static_cast<long>(hint) * 64 + __builtin_ctzll(bits[hint]);
    for (unsigned w = hint; w < used; ++w) {
      if (bits[w] != 0) {
        hint = w;
        return static_cast<long>(w) * 64 + __builtin_ctzll(bits[w]);
      }
    }
    hint = used;
    return -1;
  }
  bool reserve(unsigned needWords) {
    if (needWords <= words) return true;
    unsigned n = words == 0 ? 4 : words * 2;
    while (n < needWords) n *= 2;
    void* p = realloc(bits, n * sizeof(uint64_t));
    if (p == nullptr) return false;
    bits = static_cast<uint64_t*>(p);
    memset(bits + words, 0, (n - words) * sizeof(uint64_t));
    words = n;
    return true;
  }
  void release() {
    free(bits);
    bits = nullptr;
    words = hint = 0;
  }
};

// Side indexes over the chunk list, guarded by the pool mutex. They only speed up the searches;
// the list itself stays the order of placement.
ChunkSet s_avail[kClasses];         // chunks of the class with a free block
ChunkSet s_empty;                   // chunks with no block in use
Vel_MemItem** s_byIndex = nullptr;  // every chunk, by list position
unsigned s_byIndexCap = 0;
// Open-addressing table of every chunk keyed by its buffer address >> 16 (buffers are aligned on
// 64 KiB), at most half full.
Vel_MemItem** s_table = nullptr;
unsigned s_tableBits = 0;

inline unsigned slotOf(uintptr_t key) {
  return static_cast<unsigned>((key * 0x9E3779B97F4A7C15ull) >> (64 - s_tableBits));
}

void tableInsert(Vel_MemItem** table, Vel_MemItem* item) {
  unsigned mask = (1u << s_tableBits) - 1;
  unsigned i = slotOf(reinterpret_cast<uintptr_t>(item->m_pStart) >> 16);
  while (table[i] != nullptr) i = (i + 1) & mask;
  table[i] = item;
}

// Makes room for `chunks` chunks in every side index; false when the heap refuses.
bool reserveIndexes(unsigned chunks) {
  unsigned words = (chunks + 63) / 64;
  for (ChunkSet& s : s_avail)
    if (!s.reserve(words)) return false;
  if (!s_empty.reserve(words)) return false;
  if (chunks > s_byIndexCap) {
    unsigned n = s_byIndexCap == 0 ? 64 : s_byIndexCap * 2;
    while (n < chunks) n *= 2;
    void* p = realloc(s_byIndex, n * sizeof(Vel_MemItem*));
    if (p == nullptr) return false;
    s_byIndex = static_cast<Vel_MemItem**>(p);
    s_byIndexCap = n;
  }
  if (s_tableBits == 0 || chunks * 2 > (1u << s_tableBits)) {
    unsigned bits = s_tableBits == 0 ? 7 : s_tableBits + 1;
    auto** table = static_cast<Vel_MemItem**>(calloc(size_t{1} << bits, sizeof(Vel_MemItem*)));
    if (table == nullptr) return false;
    unsigned oldBits = s_tableBits;
    s_tableBits = bits;
    for (unsigned i = 0; oldBits != 0 && i < (1u << oldBits); ++i)
      if (s_table[i] != nullptr) tableInsert(table, s_table[i]);
    free(s_table);
    s_table = table;
  }
  return true;
}

}  // namespace

// Constructed before any other static object of the program and destroyed after all of them,
// so that static objects that allocate from the pool find the mutex alive.
VelSpinMutex VelMemManager::m_Mutex __attribute__((init_priority(101)));
// A child of fork() may allocate before it execs: the pool is locked across the fork so that
// the child does not inherit it half-updated or locked by a thread that does not exist there.
struct VelMemManager::ForkGuard {
  ForkGuard() { pthread_atfork(&lock, &unlock, &unlock); }
  static void lock() { m_Mutex.get(); }
  static void unlock() { m_Mutex.release(); }
};
VelMemManager::ForkGuard VelMemManager::m_forkGuard __attribute__((init_priority(102)));
Vel_MemItem* VelMemManager::m_pHead = nullptr;
Vel_MemItem* VelMemManager::m_pTail = nullptr;
int VelMemManager::m_iChunkNum = 0;

void Vel_MemItem::reset(int cls) {
  m_class = cls;
  m_iBlockSize = kClassSize[cls];
  m_recip = static_cast<uint32_t>(((uint64_t{1} << 32) + m_iBlockSize - 1) / m_iBlockSize);
  m_iTotalNum = static_cast<unsigned>(kChunkSize / m_iBlockSize);
  if (m_iTotalNum > kMaxBlocks) m_iTotalNum = kMaxBlocks;
  m_iUsedNum = 0;
  memset(m_freeBits, 0, sizeof m_freeBits);
  unsigned full = m_iTotalNum / 64;
  for (unsigned w = 0; w < full; ++w) m_freeBits[w] = ~uint64_t{0};
  if (m_iTotalNum % 64 != 0) m_freeBits[full] = (uint64_t{1} << (m_iTotalNum % 64)) - 1;
  m_freeWords = (1u << ((m_iTotalNum + 63) / 64)) - 1;
}

inline long Vel_MemItem::usedBlockAt(const char* p) const {
  auto offset = static_cast<uint32_t>(p - m_pStart);
  // Exact for every offset below 2^16: the error of m_recip stays under one block.
  auto pos = static_cast<unsigned>((static_cast<uint64_t>(offset) * m_recip) >> 32);
  if (pos * static_cast<uint32_t>(m_iBlockSize) != offset || pos >= m_iTotalNum || !isUsed(pos))
    return -1;
  return pos;
}

size_t VelMemManager::getAllocSize(size_t need) {
  if (need == 0) return kClassSize[0];
  if (need > static_cast<size_t>(Vel_MemItem::kChunkSize)) return (need / 1024 + 1) * 1024;
  return static_cast<size_t>(kClassSize[classIndex(need)]);
}

void* VelMemManager::Malloc(size_t size) {
  VEL_FLOW_ENTRY("VelMemManager::Malloc");
  VelSpinMutexHandler lock(m_Mutex);
  VEL_RETURN(MallocMemory(size));
}

void VelMemManager::Free(void* pointer) {
  VEL_FLOW_ENTRY("VelMemManager::Free");
  VelSpinMutexHandler lock(m_Mutex);
  FreeMemory(pointer);
}

inline void* VelMemManager::MallocMemory(size_t size) {
  if (size == 0) return nullptr;
  if (size > static_cast<size_t>(Vel_MemItem::kChunkSize)) return malloc(getAllocSize(size));
  int cls = classIndex(size);
  // The common case inline: a chunk of the class with a free block.
  long index = s_avail[cls].first((static_cast<unsigned>(m_iChunkNum) + 63) / 64);
  Vel_MemItem* item = index >= 0 ? s_byIndex[index] : findFreeChunk(kClassSize[cls]);
  if (item == nullptr) {
    item = grow(kClassSize[cls]);
    if (item == nullptr) return nullptr;
  }
  void* p = takeBlock(item);
  VEL_UNPOISON(p, size);
  return p;
}

// Hands out the first free position of a chunk that has one.
inline void* VelMemManager::takeBlock(Vel_MemItem* item) {
  unsigned w = static_cast<unsigned>(__builtin_ctz(item->m_freeWords));
  unsigned bit = static_cast<unsigned>(__builtin_ctzll(item->m_freeBits[w]));
  item->m_freeBits[w] &= item->m_freeBits[w] - 1;
  if (item->m_freeBits[w] == 0) item->m_freeWords &= ~(1u << w);
  if (item->m_iUsedNum++ == 0) s_empty.remove(item->m_index);
  if (item->m_iUsedNum == item->m_iTotalNum) s_avail[item->m_class].remove(item->m_index);
  unsigned pos = w * 64 + bit;
  return item->m_pStart + static_cast<size_t>(pos) * static_cast<unsigned>(item->m_iBlockSize);
}

inline void VelMemManager::releaseBlock(Vel_MemItem* item, unsigned pos) {
  VEL_POISON(item->m_pStart + static_cast<size_t>(pos) * static_cast<unsigned>(item->m_iBlockSize),
             static_cast<size_t>(item->m_iBlockSize));
  item->m_freeBits[pos >> 6] |= uint64_t{1} << (pos & 63);
  item->m_freeWords |= 1u << (pos >> 6);
  if (item->m_iUsedNum-- == item->m_iTotalNum) s_avail[item->m_class].add(item->m_index);
  if (item->m_iUsedNum == 0) s_empty.add(item->m_index);
}

inline Vel_MemItem* VelMemManager::findChunk(const void* pointer) {
  if (s_table == nullptr) return nullptr;
  uintptr_t key = reinterpret_cast<uintptr_t>(pointer) >> 16;
  unsigned mask = (1u << s_tableBits) - 1;
  for (unsigned i = slotOf(key);; i = (i + 1) & mask) {
    Vel_MemItem* item = s_table[i];
    if (item == nullptr) return nullptr;
    if (reinterpret_cast<uintptr_t>(item->m_pStart) >> 16 == key) return item;
  }
}

inline void VelMemManager::FreeMemory(void* pointer) {
  Vel_MemItem* item = findChunk(pointer);
  if (item == nullptr) {
    VEL_DETAIL("Global free at %X ", ptrBits(pointer));
    free(pointer);
    return;
  }
  // Besides a pointer inside a block, the tail beyond the last block and a block that is not in
  // use (a second free) are wrong pointers too: releasing them would corrupt the count.
  long pos = item->usedBlockAt(static_cast<char*>(pointer));
  if (pos < 0) {
    VEL_ERROR("Error at free, wrong pointer %X, start at %X, block size is:%d", ptrBits(pointer),
              ptrBits(item->m_pStart), item->m_iBlockSize);
    return;
  }
  releaseBlock(item, static_cast<unsigned>(pos));
}

Vel_MemItem* VelMemManager::findFreeChunk(int blockSize) {
  int cls = classIndex(static_cast<size_t>(blockSize));
  unsigned words = (static_cast<unsigned>(m_iChunkNum) + 63) / 64;
  long index = s_avail[cls].first(words);
  if (index >= 0) return s_byIndex[index];
  index = s_empty.first(words);
  if (index < 0) return nullptr;
  // Re-cut the empty chunk to this class.
  Vel_MemItem* item = s_byIndex[index];
  s_avail[item->m_class].remove(item->m_index);
  item->reset(cls);
  s_avail[cls].add(item->m_index);
  return item;
}

Vel_MemItem* VelMemManager::grow(int blockSize) {
  VEL_DETAIL("Grow the memory block size is:%d", blockSize);
  if (VEL_TRACE_ON(MUT1_DETAIL)) displayUsageLocked();
  unsigned index = static_cast<unsigned>(m_iChunkNum);
  auto* item = static_cast<Vel_MemItem*>(malloc(sizeof(Vel_MemItem)));
  // Aligned on its own size, so that the upper bits of a pointer name its chunk.
  auto* start = static_cast<char*>(aligned_alloc(Vel_MemItem::kChunkSize, Vel_MemItem::kChunkSize));
  if (item == nullptr || start == nullptr || !reserveIndexes(index + 1)) {
    VEL_ERROR("Error at allocation memory for item %d", m_iChunkNum);
    free(item);
    free(start);
    return nullptr;
  }
  VEL_POISON(start, Vel_MemItem::kChunkSize);
  new (item) Vel_MemItem();
  item->m_pStart = start;
  item->m_index = index;
  item->reset(classIndex(static_cast<size_t>(blockSize)));
  s_byIndex[index] = item;
  tableInsert(s_table, item);
  ++m_iChunkNum;
  s_empty.add(index);
  s_avail[item->m_class].add(index);
  push_back(item);
  return item;
}

bool VelMemManager::push_back(Vel_MemItem* item) {
  if (item == nullptr) {
    VEL_ERROR("Error at insert a NULL pointer");
    return false;
  }
  if (m_pHead == nullptr) {
    m_pHead = m_pTail = item;
  } else {
    if (m_pTail == nullptr) {
      VEL_ERROR("Error at tail pointer");
      return false;
    }
    m_pTail->m_pNext = item;
    m_pTail = item;
  }
  item->m_pNext = nullptr;
  return true;
}

void* VelMemManager::Realloc(void* pointer, size_t size) {
  VEL_FLOW_ENTRY("VelMemManager::Realloc");
  VelSpinMutexHandler lock(m_Mutex);
  if (pointer == nullptr) VEL_RETURN(MallocMemory(size));
  if (size == 0) {
    FreeMemory(pointer);
    VEL_RETURN(static_cast<void*>(nullptr));
  }
  Vel_MemItem* item = findChunk(pointer);
  if (item == nullptr) {
    // Only the old address is traced after the call, never the memory behind it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif
    unsigned oldBits = ptrBits(pointer);
    void* p = realloc(pointer, size);
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    VEL_DETAIL("Call system realloc on %X, %d, returned ptr is:%X", oldBits, static_cast<int>(size),
               ptrBits(p));
    VEL_RETURN(p);
  }
  VEL_DETAIL("Found the allocation size for %X, %d", ptrBits(pointer), item->m_iBlockSize);
  // A pointer that is not a block in use is refused rather than copied from.
  long pos = item->usedBlockAt(static_cast<char*>(pointer));
  if (pos < 0) {
    VEL_ERROR("Error at free, wrong pointer %X, start at %X, block size is:%d", ptrBits(pointer),
              ptrBits(item->m_pStart), item->m_iBlockSize);
    VEL_RETURN(static_cast<void*>(nullptr));
  }
  auto blockSize = static_cast<size_t>(item->m_iBlockSize);
  if (size <= blockSize) {
    VEL_POISON(static_cast<char*>(pointer) + size, blockSize - size);
    VEL_UNPOISON(pointer, size);
    VEL_RETURN(pointer);
  }
  void* p = MallocMemory(size);
  if (p == nullptr) {
    VEL_ERROR("Realloc fail for size:%d", static_cast<int>(size));
    VEL_RETURN(static_cast<void*>(nullptr));
  }
  VEL_UNPOISON(pointer, blockSize);  // the whole old block is copied
  memcpy(p, pointer, blockSize);
  releaseBlock(item, static_cast<unsigned>(pos));
  VEL_RETURN(p);
}

void VelMemManager::clear() {
  VEL_FLOW_ENTRY("VelMemManager::clear");
  VelSpinMutexHandler lock(m_Mutex);
  clearLocked();
}

void VelMemManager::clearLocked() {
  Vel_MemItem* item = m_pHead;
  while (item != nullptr) {
    Vel_MemItem* next = item->m_pNext;
    VEL_UNPOISON(item->m_pStart, Vel_MemItem::kChunkSize);
    free(item->m_pStart);
    item->~Vel_MemItem();
    free(item);
    item = next;
  }
  m_pHead = m_pTail = nullptr;
  m_iChunkNum = 0;
  for (ChunkSet& s : s_avail) s.release();
  s_empty.release();
  free(s_byIndex);
  s_byIndex = nullptr;
  s_byIndexCap = 0;
  free(s_table);
  s_table = nullptr;
  s_tableBits = 0;
}

void VelMemManager::DisplayUsage() {
  VEL_FLOW_ENTRY("VelMemManager::DisplayUsage");
  if (!VEL_TRACE_ON(MUT1_DETAIL)) return;
  VelSpinMutexHandler lock(m_Mutex);
  displayUsageLocked();
}

void VelMemManager::displayUsageLocked() {
  long long size = 0, used = 0;
  for (Vel_MemItem* item = m_pHead; item != nullptr; item = item->m_pNext) {
    VEL_DETAIL("Block size is:%d, total num:%d, used num:%d", item->m_iBlockSize,
               static_cast<int>(item->m_iTotalNum), static_cast<int>(item->m_iUsedNum));
    VEL_DETAIL("this is:%X, next is:%X, start with:%X", ptrBits(item), ptrBits(item->m_pNext),
               ptrBits(item->m_pStart));
    size += static_cast<long long>(item->m_iBlockSize) * item->m_iTotalNum;
    used += static_cast<long long>(item->m_iBlockSize) * item->m_iUsedNum;
  }
  VEL_DETAIL("Total count is %d, total size is:%d, total used is:%d", m_iChunkNum,
             static_cast<int>(size), static_cast<int>(used));
}

void VelMemManager::getUsage(int* chunks, long long* totalSize, long long* totalUsed) {
  VelSpinMutexHandler lock(m_Mutex);
  long long size = 0, used = 0;
  for (Vel_MemItem* item = m_pHead; item != nullptr; item = item->m_pNext) {
    size += static_cast<long long>(item->m_iBlockSize) * item->m_iTotalNum;
    used += static_cast<long long>(item->m_iBlockSize) * item->m_iUsedNum;
  }
  if (chunks) *chunks = m_iChunkNum;
  if (totalSize) *totalSize = size;
  if (totalUsed) *totalUsed = used;
}

// ---- Vel_BaseMemPool ----------------------------------------------------------------------------

// A zero-byte object still needs a distinct address: it takes one byte.
void* Vel_BaseMemPool::operator new(size_t size) noexcept {
  return VelMemManager::Malloc(size ? size : 1);
}
void* Vel_BaseMemPool::operator new[](size_t size) noexcept {
  return VelMemManager::Malloc(size ? size : 1);
}
void* Vel_BaseMemPool::operator new(size_t size, const std::nothrow_t&) noexcept {
  return VelMemManager::Malloc(size ? size : 1);
}
void* Vel_BaseMemPool::operator new[](size_t size, const std::nothrow_t&) noexcept {
  return VelMemManager::Malloc(size ? size : 1);
}
void Vel_BaseMemPool::operator delete(void* pointer) noexcept {
  if (pointer != nullptr) VelMemManager::Free(pointer);
}
void Vel_BaseMemPool::operator delete[](void* pointer) noexcept {
  if (pointer != nullptr) VelMemManager::Free(pointer);
}
void Vel_BaseMemPool::operator delete(void* pointer, const std::nothrow_t&) noexcept {
  if (pointer != nullptr) VelMemManager::Free(pointer);
}
void Vel_BaseMemPool::operator delete[](void* pointer, const std::nothrow_t&) noexcept {
  if (pointer != nullptr) VelMemManager::Free(pointer);
}
