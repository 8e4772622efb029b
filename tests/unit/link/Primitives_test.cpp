// The link's own text, list and hash-table types.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "HOZString.h"
#include "HashMap.h"
#include "List.h"

namespace {

TEST(HozString, AppendGrowsOnlyWhenTheTextWouldReachTheCapacity) {
  HOZ::String s;
  EXPECT_EQ(s.capacity, 31);
  s.append(std::string(30, 'x').c_str());
  EXPECT_EQ(s.capacity, 31);  // 0 + 30 < 31
  HOZ::String t;
  t.append(std::string(31, 'y').c_str());
  EXPECT_EQ(t.capacity, 62);  // 0 + 31 >= 31 grows by exactly 31
  EXPECT_EQ(t.length, 31);
  EXPECT_EQ(std::string(t.buffer), std::string(31, 'y'));
  // One-byte appends grow by 32 when full.
  HOZ::String u(2);
  u.append('a');
  u.append('b');
  EXPECT_EQ(u.capacity, 2);
  u.append('c');
  EXPECT_EQ(u.capacity, 34);
  EXPECT_STREQ(u.buffer, "abc");
}

TEST(HozString, ConstructionFromNullAndBoundedText) {
  HOZ::String empty(static_cast<const char*>(nullptr));
  EXPECT_EQ(empty.capacity, 0);
  EXPECT_EQ(empty.length, 0);
  EXPECT_STREQ(empty.buffer, "");
  empty.append(static_cast<const char*>(nullptr));
  EXPECT_EQ(empty.length, 0);

  HOZ::String abc("abcdef", 3);
  EXPECT_STREQ(abc.buffer, "abc");
  EXPECT_EQ(abc.length, 3);
  EXPECT_EQ(abc.capacity, 3);
  HOZ::String whole("ab", 100);
  EXPECT_EQ(whole.length, 2);

  HOZ::String src("abcdef");
  HOZ::String sub = src.substr(2, 100);
  EXPECT_STREQ(sub.buffer, "cdef");
  EXPECT_EQ(sub.length, 4);
  EXPECT_EQ(src.substr(6).length, 0);
  EXPECT_EQ(src.substr(-1, 2).length, 0);
  EXPECT_STREQ(src.substr(4).buffer, "ef");
}

TEST(HozString, SearchesRespectTheirStartAndTheLength) {
  HOZ::String s("a,b;c,d");
  EXPECT_EQ(s.indexOf(','), 1);
  EXPECT_EQ(s.indexOf(',', 2), 5);
  EXPECT_EQ(s.indexOf("x", -1), -1);
  EXPECT_EQ(s.indexOf("x", s.length), -1);
  EXPECT_EQ(s.indexOf(",d"), 5);
  EXPECT_EQ(s.indexOf("q"), -1);
  EXPECT_EQ(s.findFirstOf(";,", 2), 3);
  EXPECT_EQ(s.findFirstOf("xyz", 0), -1);
  EXPECT_EQ(s.findFirstNotOf("a,b", 0), 3);
  EXPECT_EQ(s.findFirstNotOf("abcd,;", 0), -1);
  EXPECT_EQ(s.findFirstOf(",", 99), -1);
}

TEST(HozString, NumbersCopyAndCase) {
  HOZ::String s("v");
  s.appendItoa(-5);
  s.appendXtoa(static_cast<char>(0xFF));
  s.appendXtoa(static_cast<char>(0x0A));
  EXPECT_STREQ(s.buffer, "v-5FF0A");
  s.copy("hello world");
  EXPECT_STREQ(s.buffer, "hello world");
  EXPECT_GE(s.capacity, 11);
  s.copy("abcdef", 2);
  EXPECT_STREQ(s.buffer, "ab");
  s.copy(nullptr);
  EXPECT_EQ(s.length, 0);
  HOZ::String m("mixed Case 1\xe9");
  m.toUpper();
  EXPECT_STREQ(m.buffer, "MIXED CASE 1\xe9");
}

TEST(HozString, AppendWithCountPadsAfterAnEmbeddedNul) {
  HOZ::String s;
  s.append("ab\0cd", 5);
  EXPECT_EQ(s.length, 5);
  EXPECT_EQ(0, memcmp(s.buffer, "ab\0\0\0", 6));
  HOZ::String raw;
  raw.appendBytes("ab\0cd", 5);
  EXPECT_EQ(0, memcmp(raw.buffer, "ab\0cd", 6));
}

TEST(HozString, ReserveAddsTheGrowthMarginAndCopiesKeepCapacity) {
  HOZ::String s(10);
  s.reserve(5);
  EXPECT_EQ(s.capacity, 10);
  s.growthPercent = 50;
  s.reserve(100);
  EXPECT_EQ(s.capacity, 150);  // 100 + (100 * 50 + 50) / 100
  s.growthPercent = 0;
  s.reserve(151);
  EXPECT_EQ(s.capacity, 151);
  s.copy("xyz");
  HOZ::String c(s);
  EXPECT_EQ(c.capacity, 151);
  EXPECT_STREQ(c.buffer, "xyz");
  HOZ::String small(1);
  small = s;
  EXPECT_EQ(small.capacity, 151);
  EXPECT_STREQ(small.buffer, "xyz");
}

TEST(LinkList, GrowsByTenAndShiftsOnInsertAndRemove) {
  List l;
  EXPECT_EQ(l.capacity, 0);
  EXPECT_EQ(l.peek(), nullptr);
  EXPECT_EQ(l.pop(), nullptr);
  int v[25];
  for (int i = 0; i < 10; ++i) l.add(&v[i]);
  EXPECT_EQ(l.capacity, 10);
  l.add(&v[10]);
  EXPECT_EQ(l.capacity, 20);
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
  EXPECT_EQ(copy.capacity, l.capacity);
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
  EXPECT_EQ(l.capacity, 20);
}

TEST(LinkList, GrowingAddsDoubleOnlyForLongLists) {
  List l;
  int v;
  for (int i = 0; i < 256; ++i) l.addGrowing(&v);
  EXPECT_EQ(l.capacity, 260);  // ten at a time while short
  for (int i = 0; i < 5; ++i) l.addGrowing(&v);
  EXPECT_EQ(l.capacity, 520);
  l.reserve(100);
  EXPECT_EQ(l.capacity, 520);  // never shrinks
  l.reserve(600);
  EXPECT_EQ(l.capacity, 600);
  EXPECT_EQ(l.getCount(), 261);
  EXPECT_EQ(l.get(260), &v);
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

TEST(LinkHash, IsDjb2OverSignedBytes) {
  EXPECT_EQ(hash_function(""), 5381u);
  EXPECT_EQ(hash_function("a"), 177670u);
  EXPECT_EQ(hash_function("ab"), 177670u * 33u + 98u);
  // 0x81 counts as -127, not 129.
  EXPECT_EQ(hash_function("\x81"), 5381u * 33u - 127u);
  EXPECT_EQ(hash_function(std::string(20, 'z').c_str()), 449770637u);  // wraps at 32 bits
}

std::vector<std::string> order(const HashMap& m) {
  std::vector<std::string> keys;
  HashMapIterator it = m.iterator();
  while (it.hasNext()) {
    it.next();
    keys.push_back(it.getKey());
  }
  return keys;
}

TEST(LinkHash, BucketsThresholdsAndGrowth) {
  HashMap d;
  EXPECT_EQ(d.getBucketCount(), 64);
  EXPECT_EQ(d.getThreshold(), 48);
  HashMap small(5);
  EXPECT_EQ(small.getBucketCount(), 32);
  HashMap odd(100);
  EXPECT_EQ(odd.getBucketCount(), 128);

  std::vector<std::string> keys;
  for (int i = 0; i < 49; ++i) keys.push_back("key" + std::to_string(i));
  for (int i = 0; i < 48; ++i) d.put(keys[i].c_str(), &keys[i]);
  EXPECT_EQ(d.getBucketCount(), 64);
  d.put(keys[48].c_str(), &keys[48]);
  EXPECT_EQ(d.getBucketCount(), 128);
  EXPECT_EQ(d.getThreshold(), 96);
  EXPECT_EQ(d.getCount(), 49);
  for (int i = 0; i < 49; ++i) EXPECT_EQ(d.get(keys[i].c_str()), &keys[i]);
}

TEST(LinkHash, NewestFirstInABucketUntilAResizeReversesTheChain) {
  // "\x01" and "\x81" share a bucket at every size (their hashes differ by 128).
  HashMap m(32);
  m.put("\x01", "first");
  m.put("\x81", "second");
  EXPECT_EQ(order(m), (std::vector<std::string>{"\x81", "\x01"}));
  std::vector<std::string> keys;
  for (int i = 0; i < 23; ++i) keys.push_back("k" + std::to_string(i));
  for (auto& k : keys) m.put(k.c_str(), nullptr);
  EXPECT_EQ(m.getBucketCount(), 64);  // the 25th entry exceeded 24
  std::vector<std::string> after = order(m);
  auto pos = [&](const char* k) {
    return std::find(after.begin(), after.end(), k) - after.begin();
  };
  EXPECT_LT(pos("\x01"), pos("\x81"));
  // foreach visits the same order as the iterator.
  std::vector<std::string> visited;
  m.foreach ([](const char* k, const void*,
                void* ctx) { static_cast<std::vector<std::string>*>(ctx)->push_back(k); },
             &visited);
  EXPECT_EQ(visited, after);
  // Single-byte keys c and c + 64 collide with 64 buckets: the later insert comes first.
  HashMap d;
  d.put("!", nullptr);
  d.put("a", nullptr);
  EXPECT_EQ(order(d), (std::vector<std::string>{"a", "!"}));
}

TEST(LinkHash, PutReplacesDataOnlyAndRemoveReportsTheStoredKey) {
  HashMap m;
  char* stored = strdup("name");
  std::string other = "name";
  int a = 1, b = 2;
  m.put(stored, &a);
  m.put(other.c_str(), &b);
  EXPECT_EQ(m.getCount(), 1);
  EXPECT_EQ(m.get("name"), &b);
  const char* key = reinterpret_cast<const char*>(0x1);
  EXPECT_EQ(m.remove("missing", &key), nullptr);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(m.remove("name", &key), &b);
  EXPECT_EQ(key, stored);  // the first key pointer stays stored
  EXPECT_EQ(m.getCount(), 0);
  EXPECT_FALSE(m.contains("name"));
  free(stored);

  m.put(strdup("k1"), strdup("v1"));
  m.put(strdup("k2"), nullptr);
  m.foreach (hashMapFreeKeyData, nullptr);  // ASan would report a leak or double free
  m.clear();
  EXPECT_EQ(m.getCount(), 0);
  EXPECT_EQ(m.getBucketCount(), 64);
  HashMapIterator it = m.iterator();
  EXPECT_FALSE(it.hasNext());
}

}  // namespace
