// Lists: node links after every kind of removal, ownership of elements, the locked list,
// VelAutoPtr (as its one user holds it), and the end of the process on a node that follows itself.
#include "VelList.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "MUT1.h"
#include "TestSupport.h"

namespace {

// Elements that count their destructions per id, so a double destruction shows up.
std::map<int, int> g_destroyed;

class Tracked {
 public:
  explicit Tracked(int id) : m_id(id) {}
  virtual ~Tracked() { ++g_destroyed[m_id]; }
  int id() const { return m_id; }

 private:
  int m_id;
};

class TrackedChild : public Tracked {
 public:
  explicit TrackedChild(int id, int* flag) : Tracked(id), m_flag(flag) {}
  ~TrackedChild() override { ++*m_flag; }

 private:
  int* m_flag;
};

// Walks the list both ways and checks that the links agree with the count; returns the
// elements from head to tail.
std::vector<void*> walk(const VelBaseVoidList& list) {
  std::vector<void*> forward;
  VelListBaseItem* prev = nullptr;
  for (VelListBaseItem* n = list.getHead(); n != nullptr; n = n->getNext()) {
    EXPECT_EQ(n->getPrev(), prev);
    forward.push_back(n->getDataPtr());
    prev = n;
  }
  EXPECT_EQ(list.getTail(), prev);
  EXPECT_EQ(forward.size(), list.getCount());
  std::vector<void*> backward;
  for (VelListBaseItem* n = list.getTail(); n != nullptr; n = n->getPrev())
    backward.insert(backward.begin(), n->getDataPtr());
  EXPECT_EQ(forward, backward);
  return forward;
}

class VelListTest : public ::testing::Test {
 protected:
  void SetUp() override { g_destroyed.clear(); }
  int a = 1, b = 2, c = 3, d = 4;
};

TEST_F(VelListTest, VoidListPushPopRemoveKeepLinksConsistent) {
  VelBaseVoidList list;
  EXPECT_EQ(list.pop_front(), nullptr);
  EXPECT_FALSE(list.push_back(nullptr));
  EXPECT_TRUE(list.push_back(&a));
  EXPECT_EQ(list.pop_front(), &a);
  EXPECT_EQ(walk(list), std::vector<void*>{});
  for (int* p : {&a, &b, &c, &d}) EXPECT_TRUE(list.push_back(p));
  EXPECT_EQ(walk(list), (std::vector<void*>{&a, &b, &c, &d}));
  EXPECT_FALSE(list.remove(nullptr));
  int other = 9;
  EXPECT_FALSE(list.remove(&other));
  EXPECT_EQ(list.pop_front(), &a);
  EXPECT_TRUE(list.remove(&b));
  EXPECT_EQ(walk(list), (std::vector<void*>{&c, &d}));
  EXPECT_TRUE(list.remove(&d));
  EXPECT_EQ(walk(list), (std::vector<void*>{&c}));
  list.push_back(&a);
  EXPECT_EQ(walk(list), (std::vector<void*>{&c, &a}));
  list.push_back(&b);
  EXPECT_TRUE(list.remove(&a));
  EXPECT_EQ(walk(list), (std::vector<void*>{&c, &b}));
  // Only the first of duplicates goes.
  list.push_back(&c);
  EXPECT_TRUE(list.remove(&c));
  EXPECT_EQ(walk(list), (std::vector<void*>{&b, &c}));
  EXPECT_TRUE(list.remove(&c));
  EXPECT_FALSE(list.remove(&c));
  EXPECT_TRUE(list.remove(&b));
  EXPECT_EQ(walk(list), std::vector<void*>{});
  EXPECT_EQ(list.getHead(), nullptr);
}

TEST_F(VelListTest, NodesComeFromThePoolAndGoBack) {
  long long before = 0, during = 0, after = 0;
  VelMemManager::getUsage(nullptr, nullptr, &before);
  {
    VelBaseVoidList list;
    for (int i = 0; i < 10; ++i) list.push_back(&a);
    VelMemManager::getUsage(nullptr, nullptr, &during);
    EXPECT_EQ(during - before, 10 * 64);
    list.pop_front();
    list.remove(&a);
  }
  VelMemManager::getUsage(nullptr, nullptr, &after);
  EXPECT_EQ(after, before);
}

TEST_F(VelListTest, TypedListDestroysEachElementOnce) {
  Tracked* popped = nullptr;
  {
    VelTypePtrList<Tracked> list;
    EXPECT_FALSE(list.push_back(nullptr));
    for (int i = 1; i <= 5; ++i) list.push_back(new Tracked(i));
    EXPECT_EQ(list.getCount(), 5u);
    popped = list.pop_front();
    ASSERT_NE(popped, nullptr);
    EXPECT_EQ(popped->id(), 1);
    std::vector<int> ids;
    for (auto it = list.begin(); it != list.end(); ++it) ids.push_back((*it)->id());
    EXPECT_EQ(ids, (std::vector<int>{2, 3, 4, 5}));
    EXPECT_EQ(*list.end(), nullptr);
    EXPECT_TRUE(g_destroyed.empty());
  }
  EXPECT_EQ(g_destroyed, (std::map<int, int>{{2, 1}, {3, 1}, {4, 1}, {5, 1}}));
  delete popped;
  EXPECT_EQ(g_destroyed[1], 1);

  // clear() destroys the elements and leaves a usable list.
  VelTypePtrList<Tracked> list;
  list.push_back(new Tracked(6));
  list.clear();
  EXPECT_TRUE(list.begin() == list.end());
  EXPECT_EQ(g_destroyed[6], 1);
  list.push_back(new Tracked(7));
  Tracked* t = list.pop_front();
  EXPECT_EQ(list.pop_front(), nullptr);
  EXPECT_EQ(g_destroyed.count(7), 0u);
  delete t;
}

TEST_F(VelListTest, LockedListRemoveAndOwnership) {
  int childGone = 0;
  Tracked* kept = new Tracked(7);
  Tracked* second = new Tracked(8);
  {
    VelBaseListLockTemplate<Tracked> list;
    EXPECT_EQ(list.remove(), nullptr);
    EXPECT_FALSE(list.push_back(nullptr));
    EXPECT_TRUE(list.remove(nullptr));
    list.push_back(kept);
    list.push_back(second);
    list.push_back(new TrackedChild(9, &childGone));
    list.push_back(new Tracked(10));
    EXPECT_EQ(list.getCount(), 4u);
    EXPECT_TRUE(list.remove(second));  // unlinked, not destroyed
    EXPECT_FALSE(list.remove(second));
    EXPECT_EQ(list.remove(), kept);  // first in, first out; the caller owns it
    EXPECT_EQ(list.getCount(), 2u);
    EXPECT_TRUE(g_destroyed.empty());
  }
  // The destructor destroys the rest through their virtual destructors.
  EXPECT_EQ(g_destroyed, (std::map<int, int>{{9, 1}, {10, 1}}));
  EXPECT_EQ(childGone, 1);
  delete kept;
  delete second;
}

TEST_F(VelListTest, AutoPtrDeletesItsObjectOnce) {
  {
    VelAutoPtr<Tracked> p(new Tracked(1));
    EXPECT_EQ(p.get()->id(), 1);
    VelAutoPtr<Tracked> none;
  }
  EXPECT_EQ(g_destroyed, (std::map<int, int>{{1, 1}}));
}

TEST(VelListDeathTest, NodeThatFollowsItselfEndsTheProcess) {
  veltest::ScopedEnv trace("VEL_TRACE", "error");
  veltest::ScopedEnv file("VEL_TRACE_FILE", nullptr);
  MUT1_Invalidate();
  int x = 0;
  VelListBaseItem node(&x);
  EXPECT_EQ(node.getNext(), nullptr);
  node.setNext(&node);
  EXPECT_EXIT(node.getNext(), ::testing::ExitedWithCode(255), "Error at getNext");
  node.setNext(nullptr);
}

}  // namespace
