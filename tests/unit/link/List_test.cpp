// The link's own list of pointers, as the parser's open-element stack and the buffer registry use
// it.
#include "List.h"

#include <gtest/gtest.h>

namespace {

TEST(LinkList, ShiftsOnRemoveAndStacksAtTheEnd) {
  List l;
  EXPECT_EQ(l.peek(), nullptr);
  EXPECT_EQ(l.pop(), nullptr);
  int v[12];
  for (int i = 0; i < 12; ++i) l.add(&v[i]);  // beyond the first capacity
  EXPECT_EQ(l.get(11), &v[11]);
  EXPECT_EQ(l.remove(0), &v[0]);
  EXPECT_EQ(l.get(0), &v[1]);
  EXPECT_EQ(l.getCount(), 11);
  EXPECT_EQ(l.remove(99), nullptr);
  EXPECT_EQ(l.remove(-1), nullptr);
  EXPECT_EQ(l.find(&v[5], nullptr), 4);
  EXPECT_EQ(l.find(&v[0], nullptr), -1);
  EXPECT_EQ(l.pop(), &v[11]);
  EXPECT_EQ(l.peek(), &v[10]);
  l.clear();
  EXPECT_EQ(l.getCount(), 0);
}

}  // namespace
