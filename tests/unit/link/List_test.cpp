// The link's own list of pointers.
#include "List.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(LinkList, ShiftsOnInsertAndRemove) {
  List l;
  EXPECT_EQ(l.peek(), nullptr);
  EXPECT_EQ(l.pop(), nullptr);
  int v[25];
  for (int i = 0; i < 10; ++i) l.add(&v[i]);
  l.add(&v[10]);
  l.insert(l.getCount() + 5, &v[11]);  // beyond the end appends
  EXPECT_EQ(l.get(11), &v[11]);
  l.insert(-1, &v[12]);
  EXPECT_EQ(l.getCount(), 12);
  l.insert(0, &v[13]);
  EXPECT_EQ(l.get(0), &v[13]);
  EXPECT_EQ(l.get(1), &v[0]);
  EXPECT_EQ(l.remove(0), &v[13]);
  EXPECT_EQ(l.get(0), &v[0]);
  EXPECT_EQ(l.remove(99), nullptr);
  EXPECT_EQ(l.remove(-1), nullptr);
  EXPECT_EQ(l.find(&v[5], nullptr), 5);
  EXPECT_EQ(l.find(&v[20], nullptr), -1);
  EXPECT_EQ(l.pop(), &v[11]);
  EXPECT_EQ(l.peek(), &v[10]);

  void** array = l.toArray();
  EXPECT_EQ(array[0], &v[0]);
  EXPECT_EQ(array[l.getCount()], nullptr);
  free(array);

  List copy(&l);
  EXPECT_EQ(copy.getCount(), l.getCount());
  EXPECT_EQ(copy.get(3), &v[3]);

  int visited = 0;
  ListIterator it = l.iterator();
  while (it.hasNext()) {
    EXPECT_EQ(it.next(), &v[visited]);
    ++visited;
  }
  EXPECT_EQ(visited, 11);
  l.clear();
  EXPECT_EQ(l.getCount(), 0);
}

TEST(LinkList, FindUsesTheComparatorWhenGiven) {
  List l;
  const char* a = "alpha";
  const char* b = "beta";
  l.add(a);
  l.add(b);
  std::string key = "beta";
  auto cmp = [](const void* item, const void* p) {
    return strcmp(static_cast<const char*>(item), static_cast<const char*>(p));
  };
  EXPECT_EQ(l.find(key.c_str(), cmp), 1);
  EXPECT_EQ(l.find(key.c_str(), nullptr), -1);  // identity differs
}

}  // namespace
