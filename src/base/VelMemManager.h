// Pooled memory manager: one process-wide pool of 64 KiB chunks, each cut into equal blocks of
// one size class, with the general heap behind it for anything larger than a chunk.
//
// Size classes: 64, 128, 256, 512, 768, 1024, 1280, 1536, 1792, 2048, 3072, 4096, 8192, 16384,
// 32768 and 65536 bytes. A request takes the first class that holds it; a request above 65536
// bytes is rounded up to the next multiple of 1024 strictly above it and comes from the heap.
//
// Placement is deterministic: the first chunk (in list order) of the request's class with a free
// block, and in it the first free position; else the first entirely free chunk of any class,
// re-cut to the class; else a new chunk appended at the tail. Chunks go back to the heap only in
// clear(). Every public operation holds the pool mutex (a VelSpinMutex: a contending thread spins
// briefly before it sleeps, as the critical sections are short), which is always the innermost
// lock: the only lock taken while it is held is the trace service's own, which never allocates from
// the pool. A fork holds the pool mutex across the call, so the child finds the pool consistent.
#ifndef VEL_BASE_VELMEMMANAGER_H
#define VEL_BASE_VELMEMMANAGER_H

#include <cstddef>
#include <cstdint>
#include <new>

#include "VelMutex.h"

// One 64 KiB chunk of the pool. Its buffer is aligned on 64 KiB, so the chunk holding a
// pointer is found from the pointer's upper bits.
class Vel_MemItem {
 public:
  static constexpr int kChunkSize = 65536;
  static constexpr int kMaxBlocks = 1024;
  static constexpr int kWords = kMaxBlocks / 64;

  int m_iBlockSize = 0;              // the size class this chunk serves
  unsigned m_iTotalNum = 0;          // kChunkSize / m_iBlockSize, at most kMaxBlocks
  unsigned m_iUsedNum = 0;           // blocks handed out
  char* m_pStart = nullptr;          // the chunk's kChunkSize-byte buffer (general heap)
  uint64_t m_freeBits[kWords] = {};  // one bit per block position, set while the block is free
  uint32_t m_freeWords = 0;          // bit w set while m_freeBits[w] != 0
  uint32_t m_recip = 0;              // ceil(2^32 / m_iBlockSize): offset to position by multiply
  int m_class = 0;                   // index of m_iBlockSize among the size classes
  unsigned m_index = 0;              // position in the manager's list (0 = head)
  Vel_MemItem* m_pNext = nullptr;    // next chunk in the manager's list

  // Re-cuts the chunk for the size class cls: every block free.
  void reset(int cls);
  // Whether position pos is handed out.
  bool isUsed(unsigned pos) const { return (m_freeBits[pos >> 6] >> (pos & 63) & 1) == 0; }
  // Position of the block in use that starts at p (p inside the buffer), or -1 for a pointer
  // inside a block, beyond the last block or to a free block.
  long usedBlockAt(const char* p) const;
};

class VelMemManager {
 public:
  // Returns a block of at least size bytes, or null for 0 bytes or when memory is exhausted.
  static void* Malloc(size_t size);
  // Gives a block back. A pointer inside a chunk that is not the start of a block in use is
  // reported and nothing is released; a pointer in no chunk goes to the general heap.
  static void Free(void* pointer);
  // Resizes a block: null pointer = Malloc(size); size 0 = Free and null; the same pointer when
  // the block's class still holds size; else a new block with the old block's bytes copied (null
  // and the old block untouched when that fails).
  static void* Realloc(void* pointer, size_t size);
  // Gives every chunk back to the general heap and empties the list. Only safe when no block of
  // the pool is still in use (tests, process end).
  static void clear();
  // Traces every chunk and the totals under the detail flag.
  static void DisplayUsage();
  // Capacity a request of need bytes really gets: its size class, or above 65536 the next
  // multiple of 1024 strictly above need.
  static size_t getAllocSize(size_t need);

  // The totals DisplayUsage traces: chunks, bytes held in chunks (block size x total blocks) and
  // bytes handed out (block size x used blocks).
  static void getUsage(int* chunks, long long* totalSize, long long* totalUsed);

 private:
  // The functions below expect m_Mutex to be held.
  static void* MallocMemory(size_t size);
  static void FreeMemory(void* pointer);
  // First chunk in list order of the class with a free block; else the first empty chunk of any
  // class, re-cut to the class; else null.
  static Vel_MemItem* findFreeChunk(int blockSize);
  // Creates a chunk for the class and appends it at the tail; null when the heap refuses.
  static Vel_MemItem* grow(int blockSize);
  // Appends a chunk at the tail of the list.
  static bool push_back(Vel_MemItem* item);
  // The chunk whose buffer holds pointer, or null.
  static Vel_MemItem* findChunk(const void* pointer);
  static void* takeBlock(Vel_MemItem* item);
  static void releaseBlock(Vel_MemItem* item, unsigned pos);
  static void displayUsageLocked();
  static void clearLocked();

  static Vel_MemItem* m_pHead;  // guarded by m_Mutex
  static Vel_MemItem* m_pTail;  // guarded by m_Mutex
  static int m_iChunkNum;       // chunks created; guarded by m_Mutex
  static VelSpinMutex m_Mutex;
  struct ForkGuard;
  static ForkGuard m_forkGuard;
};

// Base class (no data) that routes a class's new/delete to the pool. A failed allocation gives a
// null pointer, never an exception.
class Vel_BaseMemPool {
 public:
  static void* operator new(size_t size) noexcept;
  static void* operator new[](size_t size) noexcept;
  static void* operator new(size_t size, const std::nothrow_t&) noexcept;
  static void* operator new[](size_t size, const std::nothrow_t&) noexcept;
  static void* operator new(size_t, void* where) noexcept { return where; }
  static void operator delete(void* pointer) noexcept;
  static void operator delete[](void* pointer) noexcept;
  static void operator delete(void* pointer, const std::nothrow_t&) noexcept;
  static void operator delete[](void* pointer, const std::nothrow_t&) noexcept;
  static void operator delete(void*, void*) noexcept {}
};

#endif  // VEL_BASE_VELMEMMANAGER_H
