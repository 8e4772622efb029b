// The link's own hash table: the hash function and the iteration order, which decides the order
// of the groups on the wire.
#include "HashMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> order(const HashMap& m) {
  std::vector<std::string> keys;
  HashMapIterator it = m.iterator();
  while (it.hasNext()) {
    it.next();
    keys.push_back(it.getKey());
  }
  return keys;
}

TEST(LinkHash, NewestFirstInABucketUntilAResizeReversesTheChain) {
  // "\x01" and "\x81" share a bucket at every size (their hashes differ by 128).
  HashMap m(32);
  m.put("\x01", "first");
  m.put("\x81", "second");
  EXPECT_EQ(order(m), (std::vector<std::string>{"\x81", "\x01"}));
  std::vector<std::string> keys;
  for (int i = 0; i < 23; ++i) keys.push_back("k" + std::to_string(i));  // the table grows
  for (auto& k : keys) m.put(k.c_str(), nullptr);
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

  m.put("k1", nullptr);
  m.clear();
  EXPECT_EQ(m.getCount(), 0);
  HashMapIterator it = m.iterator();
  EXPECT_FALSE(it.hasNext());
}

}  // namespace
