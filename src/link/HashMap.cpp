#include "HashMap.h"

#include <cstdlib>
#include <cstring>

namespace {
void* mustCalloc(size_t n, size_t size) {
  void* p = calloc(n, size);
  if (!p) abort();  // the link relies on these allocations; do not write through null
  return p;
}
}  // namespace

uint32_t hash_function(const char* key) {
  uint32_t h = 5381;
  if (!key) return h;
  for (const char* p = key; *p; ++p) {
    h = h * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
  }
  return h;
}

void hashMapFreeKeyData(const char* key, const void* data, void*) {
  free(const_cast<char*>(key));
  free(const_cast<void*>(data));
}

HashMap::HashMap() { init(64); }

HashMap::HashMap(int n) { init(n); }

void HashMap::init(int n) {
  bucketCount = 32;
  while (bucketCount < n && bucketCount < (1 << 30)) bucketCount <<= 1;
  threshold = static_cast<int>(0.75 * bucketCount);
  count = 0;
  buckets = static_cast<HashMapEntry**>(mustCalloc(bucketCount, sizeof(HashMapEntry*)));
}

HashMap::~HashMap() {
  clear();
  free(buckets);
}

HashMapEntry* HashMap::findEntry(const char* key) const {
  if (!key) return nullptr;
  uint32_t h = hash_function(key);
  for (HashMapEntry* e = buckets[h & (bucketCount - 1)]; e; e = e->next) {
    if (e->hash == h && strcmp(e->key, key) == 0) return e;
  }
  return nullptr;
}

void HashMap::put(const char* key, const void* data) {
  if (!key) return;  // null keys cannot be compared; never stored
  HashMapEntry* existing = findEntry(key);
  if (existing) {
    existing->data = data;
    return;
  }
  uint32_t h = hash_function(key);
  auto* e = static_cast<HashMapEntry*>(mustCalloc(1, sizeof(HashMapEntry)));
  e->hash = h;
  e->key = key;
  e->data = data;
  HashMapEntry** head = &buckets[h & (bucketCount - 1)];
  e->next = *head;
  *head = e;
  if (++count > threshold) resize();
}

void HashMap::resize() {
  int newCount = bucketCount * 2;
  auto** fresh = static_cast<HashMapEntry**>(mustCalloc(newCount, sizeof(HashMapEntry*)));
  for (int i = 0; i < bucketCount; ++i) {
    HashMapEntry* e = buckets[i];
    while (e) {
      HashMapEntry* next = e->next;
      HashMapEntry** head = &fresh[e->hash & (newCount - 1)];
      e->next = *head;
      *head = e;
      e = next;
    }
  }
  free(buckets);
  buckets = fresh;
  bucketCount = newCount;
  threshold = static_cast<int>(0.75 * bucketCount);
}

void* HashMap::get(const char* key) const {
  HashMapEntry* e = findEntry(key);
  return e ? const_cast<void*>(e->data) : nullptr;
}

bool HashMap::contains(const char* key) const { return findEntry(key) != nullptr; }

void* HashMap::remove(const char* key, const char** storedKey) {
  if (storedKey) *storedKey = nullptr;
  if (!key) return nullptr;
  uint32_t h = hash_function(key);
  for (HashMapEntry** link = &buckets[h & (bucketCount - 1)]; *link; link = &(*link)->next) {
    HashMapEntry* e = *link;
    if (e->hash != h || strcmp(e->key, key) != 0) continue;
    *link = e->next;
    void* data = const_cast<void*>(e->data);
    if (storedKey) *storedKey = e->key;
    if (count > 0) --count;
    free(e);
    return data;
  }
  return nullptr;
}

void HashMap::foreach (void (*fn)(const char*, const void*, void*), void* context) const {
  if (!fn) return;
  for (int i = 0; i < bucketCount; ++i) {
    for (HashMapEntry* e = buckets[i]; e;) {
      HashMapEntry* next = e->next;  // the callback may free the key and data, not the entry
      fn(e->key, e->data, context);
      e = next;
    }
  }
}

void HashMap::clear() {
  for (int i = 0; i < bucketCount; ++i) {
    HashMapEntry* e = buckets[i];
    while (e) {
      HashMapEntry* next = e->next;
      free(e);
      e = next;
    }
    buckets[i] = nullptr;
  }
  count = 0;
}

HashMapIterator HashMap::iterator() const { return HashMapIterator(this); }

bool HashMapIterator::hasNext() const {
  if (entry && entry->next) return true;
  for (int i = bucket + 1; i < map->bucketCount; ++i) {
    if (map->buckets[i]) return true;
  }
  return false;
}

void HashMapIterator::next() {
  if (entry && entry->next) {
    entry = entry->next;
    return;
  }
  for (int i = bucket + 1; i < map->bucketCount; ++i) {
    if (map->buckets[i]) {
      bucket = i;
      entry = map->buckets[i];
      return;
    }
  }
  bucket = map->bucketCount;
  entry = nullptr;
}
