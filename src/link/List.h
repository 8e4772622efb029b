// The link's growable array of untyped pointers. It never owns what the pointers point to.
#ifndef VEL_LINK_LIST_H
#define VEL_LINK_LIST_H

class ListIterator;

// Grows by 10 slots when full (allocated on first use). Never locks, throws or traces.
class List {
 public:
  List();
  explicit List(List* other);  // copies count, capacity and every slot
  virtual ~List();
  List(const List&) = delete;
  List& operator=(const List&) = delete;

  void add(const void* p);
  // Makes room for at least n pointers (never shrinks). Callers that may collect very many items
  // use it to grow geometrically instead of ten slots at a time.
  void reserve(int n);
  // add, doubling the capacity when full once the list holds more than a few hundred items.
  void addGrowing(const void* p);
  // i >= count appends; i < 0 does nothing; otherwise later pointers move up one place.
  void insert(int i, const void* p);
  // Removes and returns the pointer at i; null when i is out of range.
  void* remove(int i);
  // Index of the first item equal to p (by cmp(item, p) == 0, or identity when cmp is null),
  // or -1.
  int find(const void* p, int (*cmp)(const void*, const void*)) const;
  int getCount() const { return count; }
  // No bounds check: i must be in range.
  void* get(int i) const { return const_cast<void*>(items[i]); }
  void* peek() const;
  void* pop();
  void clear();
  // A new malloc'ed array of count + 1 pointers, the last null; the caller frees it.
  void** toArray() const;
  ListIterator iterator() const;

  int count;
  int capacity;
  const void** items;

 private:
  void ensureRoom();
};

class ListIterator {
 public:
  explicit ListIterator(const List* list) : list(list), index(0) {}
  bool hasNext() const { return index < list->count; }
  void* next() { return list->get(index++); }

  const List* list;
  int index;
};

#endif  // VEL_LINK_LIST_H
