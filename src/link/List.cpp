#include "List.h"

#include <cstdlib>
#include <cstring>

namespace {
// Allocation failure of the pointer array is not survivable for the link; stop at once rather
// than write through a null array.
void* mustRealloc(void* p, size_t n) {
  void* q = realloc(p, n);
  if (!q) abort();
  return q;
}
}  // namespace

List::List() : count(0), capacity(0), items(nullptr) {}

List::List(List* other) : count(0), capacity(0), items(nullptr) {
  if (!other) return;
  count = other->count;
  capacity = other->capacity;
  if (capacity > 0) {
    items = static_cast<const void**>(mustRealloc(nullptr, sizeof(void*) * capacity));
    memcpy(items, other->items, sizeof(void*) * capacity);
  }
}

List::~List() { free(items); }

void List::ensureRoom() {
  if (count < capacity) return;
  int grown = capacity + 10;
  items = static_cast<const void**>(mustRealloc(items, sizeof(void*) * grown));
  memset(items + capacity, 0, sizeof(void*) * (grown - capacity));
  capacity = grown;
}

void List::reserve(int n) {
  if (n <= capacity) return;
  items = static_cast<const void**>(mustRealloc(items, sizeof(void*) * n));
  memset(items + capacity, 0, sizeof(void*) * (n - capacity));
  capacity = n;
}

void List::addGrowing(const void* p) {
  if (count >= capacity && capacity >= 256) reserve(capacity * 2);
  add(p);
}

void List::add(const void* p) {
  ensureRoom();
  items[count++] = p;
}

void List::insert(int i, const void* p) {
  if (i < 0) return;
  if (i >= count) {
    add(p);
    return;
  }
  ensureRoom();
  memmove(items + i + 1, items + i, sizeof(void*) * (count - i));
  items[i] = p;
  ++count;
}

void* List::remove(int i) {
  if (i < 0 || i >= count) return nullptr;
  void* p = const_cast<void*>(items[i]);
  memmove(items + i, items + i + 1, sizeof(void*) * (count - i - 1));
  items[--count] = nullptr;
  return p;
}

int List::find(const void* p, int (*cmp)(const void*, const void*)) const {
  for (int i = 0; i < count; ++i) {
    if (cmp ? cmp(items[i], p) == 0 : items[i] == p) return i;
  }
  return -1;
}

void* List::peek() const { return count > 0 ? const_cast<void*>(items[count - 1]) : nullptr; }

void* List::pop() {
  if (count <= 0) return nullptr;
  void* p = const_cast<void*>(items[--count]);
  items[count] = nullptr;
  return p;
}

void List::clear() {
  count = 0;
  if (items) memset(items, 0, sizeof(void*) * capacity);
}

void** List::toArray() const {
  void** array = static_cast<void**>(mustRealloc(nullptr, sizeof(void*) * (count + 1)));
  for (int i = 0; i < count; ++i) array[i] = const_cast<void*>(items[i]);
  array[count] = nullptr;
  return array;
}

ListIterator List::iterator() const { return ListIterator(this); }
