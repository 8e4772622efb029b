// The link's chained hash table from C-string keys to untyped pointers.
#ifndef VEL_LINK_HASHMAP_H
#define VEL_LINK_HASHMAP_H

#include <cstdint>

// djb2 over the key's bytes taken as signed characters, wrapping at 32 bits.
uint32_t hash_function(const char* key);

// foreach callback that frees both key and data (either may be null).
void hashMapFreeKeyData(const char* key, const void* data, void* context);

struct HashMapEntry {
  HashMapEntry* next;
  uint32_t hash;
  const char* key;
  const void* data;
};

class HashMapIterator;

// Stores the key and data pointers it is handed, never copies or frees them; keys compare with
// strcmp. Power-of-two bucket count (at least 32), new entries at the chain head, doubles when
// count exceeds 0.75 x buckets. Iteration walks buckets in index order, each chain from its head.
// Never locks, throws or traces.
class HashMap {
 public:
  HashMap();  // 64 buckets
  explicit HashMap(int n);
  virtual ~HashMap();
  HashMap(const HashMap&) = delete;
  HashMap& operator=(const HashMap&) = delete;

  // An existing key only gets its data replaced (the stored key stays).
  void put(const char* key, const void* data);
  void* get(const char* key) const;
  // The entry holding key (its stored key and data), or null; valid until the map changes.
  HashMapEntry* getEntry(const char* key) const { return findEntry(key); }
  bool contains(const char* key) const;
  // Unlinks the entry and returns its data (null when missing); storedKey, when given, receives
  // the key pointer that was stored (null when missing).
  void* remove(const char* key, const char** storedKey);
  void foreach (void (*fn)(const char* key, const void* data, void* context), void* context) const;
  // Frees all entries (not keys or data); the bucket count stays.
  void clear();
  HashMapIterator iterator() const;

  int getCount() const { return count; }
  int getBucketCount() const { return bucketCount; }
  int getThreshold() const { return threshold; }

  int count;
  int bucketCount;
  int threshold;
  HashMapEntry** buckets;

 private:
  friend class HashMapIterator;
  void init(int n);
  void resize();
  HashMapEntry* findEntry(const char* key) const;
};

// Usage: while (it.hasNext()) { it.next(); use it.getKey(), it.getData(); }
// The map must not change while an iterator is in use.
class HashMapIterator {
 public:
  explicit HashMapIterator(const HashMap* map) : map(map), bucket(-1), entry(nullptr) {}
  virtual ~HashMapIterator() = default;
  bool hasNext() const;
  void next();
  const char* getKey() const { return entry ? entry->key : nullptr; }
  void* getData() const { return entry ? const_cast<void*>(entry->data) : nullptr; }

  const HashMap* map;
  int bucket;
  HashMapEntry* entry;
};

#endif  // VEL_LINK_HASHMAP_H
