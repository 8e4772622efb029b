// Pooled memory manager: size classes, placement inside and across chunks, reuse of empty
// chunks by other classes, the general heap above a chunk, resizing, wrong pointers, totals.
#include "VelMemManager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

char* P(void* p) { return static_cast<char*>(p); }

struct Usage {
  int chunks = 0;
  long long size = 0;
  long long used = 0;
};

Usage usage() {
  Usage u;
  VelMemManager::getUsage(&u.chunks, &u.size, &u.used);
  return u;
}

// Every test starts from an empty pool, so addresses show the placement.
class VelPoolTest : public ::testing::Test {
 protected:
  void SetUp() override { VelMemManager::clear(); }
  void TearDown() override { VelMemManager::clear(); }
};

TEST_F(VelPoolTest, SmallRequestsShareAClassAndSitSideBySide) {
  EXPECT_EQ(VelMemManager::Malloc(0), nullptr);  // zero bytes: nothing, not even a chunk
  EXPECT_EQ(usage().chunks, 0);
  char* a = P(VelMemManager::Malloc(1));
  char* b = P(VelMemManager::Malloc(64));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(b, a + 64);
  EXPECT_EQ(usage().chunks, 1);
  // A 65-byte request is of the next class: a chunk of its own.
  char* c = P(VelMemManager::Malloc(65));
  EXPECT_EQ(usage().chunks, 2);
  EXPECT_TRUE(c < a || c >= a + 65536);
  char* d = P(VelMemManager::Malloc(100));
  EXPECT_EQ(d, c + 128);
  EXPECT_EQ(usage().used, 64 + 64 + 128 + 128);
}

TEST_F(VelPoolTest, FirstFreePositionIsTakenAgain) {
  char* blocks[5];
  for (auto& b : blocks) b = P(VelMemManager::Malloc(50));
  VelMemManager::Free(blocks[3]);
  VelMemManager::Free(blocks[1]);
  EXPECT_EQ(VelMemManager::Malloc(60), blocks[1]);
  EXPECT_EQ(VelMemManager::Malloc(60), blocks[3]);
  EXPECT_EQ(VelMemManager::Malloc(60), blocks[4] + 64);
}

TEST_F(VelPoolTest, ChunkHoldsItsClassCountThenANewChunkGrows) {
  // 1024 blocks of 64 bytes fill one chunk; the next one starts a second chunk.
  std::vector<char*> small;
  for (int i = 0; i < 1024; ++i) small.push_back(P(VelMemManager::Malloc(64)));
  for (int i = 1; i < 1024; ++i) ASSERT_EQ(small[i], small[0] + 64 * i);
  EXPECT_EQ(usage().chunks, 1);
  char* next = P(VelMemManager::Malloc(64));
  EXPECT_EQ(usage().chunks, 2);
  EXPECT_TRUE(next < small[0] || next >= small[0] + 65536);

  // 768 does not divide 65536: 85 blocks, the tail of the chunk stays unused.
  std::vector<char*> mid;
  for (int i = 0; i < 85; ++i) mid.push_back(P(VelMemManager::Malloc(700)));
  EXPECT_EQ(mid[84], mid[0] + 84 * 768);
  EXPECT_EQ(usage().chunks, 3);
  VelMemManager::Malloc(700);
  EXPECT_EQ(usage().chunks, 4);
  EXPECT_EQ(usage().size, 2 * 65536 + 85 * 768 + 85 * 768);
}

TEST_F(VelPoolTest, EarlierChunkIsPreferredAndEmptyChunkServesAnyClass) {
  std::vector<char*> first;
  for (int i = 0; i < 1024; ++i) first.push_back(P(VelMemManager::Malloc(64)));
  char* second = P(VelMemManager::Malloc(64));  // start of the second chunk
  char* third = P(VelMemManager::Malloc(300));  // a 512-byte chunk, the third
  ASSERT_EQ(usage().chunks, 3);

  // A free block in the first chunk wins over the free blocks of the second.
  VelMemManager::Free(first[700]);
  EXPECT_EQ(VelMemManager::Malloc(64), first[700]);

  // Emptied, the second chunk is re-cut for the 2048-byte class instead of growing.
  VelMemManager::Free(second);
  char* big = P(VelMemManager::Malloc(2000));
  EXPECT_EQ(big, second);
  EXPECT_EQ(usage().chunks, 3);
  EXPECT_EQ(VelMemManager::Malloc(2048), second + 2048);

  // The 512-byte chunk keeps serving its class.
  EXPECT_EQ(VelMemManager::Malloc(512), third + 512);

  // With both small chunks busy, a 64-byte request grows a fourth chunk at the tail.
  char* tail = P(VelMemManager::Malloc(64));
  EXPECT_EQ(usage().chunks, 4);
  EXPECT_TRUE(tail < first[0] || tail >= first[0] + 65536);
}

TEST_F(VelPoolTest, WholeChunkBlockAndGeneralHeapAboveIt) {
  char* whole = P(VelMemManager::Malloc(65536));
  ASSERT_NE(whole, nullptr);
  memset(whole, 0x5a, 65536);
  EXPECT_EQ(usage().chunks, 1);
  EXPECT_EQ(usage().used, 65536);
  char* whole2 = P(VelMemManager::Malloc(40000));
  EXPECT_EQ(usage().chunks, 2);

  // One byte more comes from the general heap, rounded up to 65 KiB: usable to its end.
  char* heap = P(VelMemManager::Malloc(65537));
  ASSERT_NE(heap, nullptr);
  memset(heap, 0x33, 66560);
  EXPECT_EQ(usage().chunks, 2);
  EXPECT_EQ(usage().used, 2 * 65536);
  VelMemManager::Free(heap);
  VelMemManager::Free(whole);
  VelMemManager::Free(whole2);
  EXPECT_EQ(usage().used, 0);
}

TEST_F(VelPoolTest, WrongPointersReleaseNothing) {
  char* a = P(VelMemManager::Malloc(64));
  char* b = P(VelMemManager::Malloc(64));
  VelMemManager::Free(a + 2);  // inside a block
  a[0] = 'x';
  EXPECT_EQ(VelMemManager::Realloc(a + 8, 1000), nullptr);
  EXPECT_EQ(a[0], 'x');
  EXPECT_EQ(usage().used, 128);
  EXPECT_EQ(VelMemManager::Malloc(64), b + 64);  // a is still taken

  VelMemManager::Free(a);
  VelMemManager::Free(a);  // second release of the same block
  EXPECT_EQ(usage().used, 128);
  EXPECT_EQ(VelMemManager::Malloc(64), a);
  EXPECT_EQ(VelMemManager::Malloc(64), b + 128);

  // The unused tail of a 768-byte chunk is not a block.
  char* m = P(VelMemManager::Malloc(768));
  long long before = usage().used;
  VelMemManager::Free(m + 85 * 768);
  EXPECT_EQ(usage().used, before);
}

TEST_F(VelPoolTest, ReallocCases) {
  char* p = P(VelMemManager::Realloc(nullptr, 100));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(usage().used, 128);

  // Still inside its 128-byte block: the same pointer.
  EXPECT_EQ(VelMemManager::Realloc(p, 120), p);
  EXPECT_EQ(VelMemManager::Realloc(p, 128), p);
  for (int i = 0; i < 128; ++i) p[i] = static_cast<char>(i);
  EXPECT_EQ(VelMemManager::Realloc(p, 10), p);

  // Beyond it: a 256-byte block with the whole old block copied; the old block is free again.
  char* q = P(VelMemManager::Realloc(p, 200));
  ASSERT_NE(q, nullptr);
  EXPECT_NE(q, p);
  for (int i = 0; i < 128; ++i) ASSERT_EQ(q[i], static_cast<char>(i)) << i;
  EXPECT_EQ(usage().used, 256);
  EXPECT_EQ(VelMemManager::Malloc(128), p);
  VelMemManager::Free(p);

  // From the pool to the general heap and on within the heap.
  char* r = P(VelMemManager::Realloc(q, 70000));
  ASSERT_NE(r, nullptr);
  for (int i = 0; i < 128; ++i) ASSERT_EQ(r[i], static_cast<char>(i)) << i;
  EXPECT_EQ(usage().used, 0);
  memset(r + 128, 7, 70000 - 128);
  char* s = P(VelMemManager::Realloc(r, 200000));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s[0], 0);
  EXPECT_EQ(s[69999], 7);

  EXPECT_EQ(VelMemManager::Realloc(s, 0), nullptr);
  char* t = P(VelMemManager::Malloc(64));
  EXPECT_EQ(VelMemManager::Realloc(t, 0), nullptr);
  EXPECT_EQ(usage().used, 0);
}

class Pooled : public Vel_BaseMemPool {
 public:
  char bytes[100];
};
class PooledBig : public Vel_BaseMemPool {
 public:
  char bytes[70000];
};

TEST_F(VelPoolTest, DerivedClassesAllocateFromThePool) {
  Pooled* one = new Pooled;
  EXPECT_EQ(usage().used, 128);
  Pooled* many = new Pooled[3];  // 300 bytes: a 512-byte block
  EXPECT_EQ(usage().used, 128 + 512);
  delete[] many;
  delete one;
  EXPECT_EQ(usage().used, 0);
  PooledBig* big = new PooledBig;
  ASSERT_NE(big, nullptr);
  big->bytes[69999] = 1;
  EXPECT_EQ(usage().used, 0);
  delete big;
  Pooled* nothrow = new (std::nothrow) Pooled;
  EXPECT_EQ(usage().used, 128);
  delete nothrow;
}

TEST_F(VelPoolTest, ManyChunksKeepPlacementOrder) {
  // Enough chunks to span several words of the side indexes.
  std::vector<char*> starts;
  for (int i = 0; i < 200; ++i) starts.push_back(P(VelMemManager::Malloc(65536)));
  EXPECT_EQ(usage().chunks, 200);
  VelMemManager::Free(starts[150]);
  VelMemManager::Free(starts[70]);
  VelMemManager::Free(starts[130]);
  EXPECT_EQ(VelMemManager::Malloc(64), starts[70]);
  EXPECT_EQ(VelMemManager::Malloc(3000), starts[130]);
  EXPECT_EQ(VelMemManager::Malloc(65536), starts[150]);
  EXPECT_EQ(VelMemManager::Malloc(64), starts[70] + 64);
  // Each chunk start is a block in use again; only the second 64-byte block remains after.
  for (char* s : starts) VelMemManager::Free(s);
  EXPECT_EQ(usage().used, 64);
}

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer the bytes of a block beyond the request and released blocks are
// unaddressable.
TEST(VelPoolAsanDeathTest, AccessOutsideAHandedOutBlockIsReported) {
  char* p = P(VelMemManager::Malloc(40));
  ASSERT_NE(p, nullptr);
  p[39] = 1;
  EXPECT_DEATH(
      {
        volatile char* v = p;
        v[40] = 1;
      },
      "use-after-poison");
  VelMemManager::Free(p);
  EXPECT_DEATH(
      {
        volatile char* v = p;
        v[0] = 1;
      },
      "use-after-poison");
}
#endif

}  // namespace
