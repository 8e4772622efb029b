// The link's own growable text: a NUL-terminated byte string on the system heap.
#ifndef VEL_LINK_HOZSTRING_H
#define VEL_LINK_HOZSTRING_H

namespace HOZ {

// Growth is additive: append grows by the appended size only when the text would reach the
// capacity; reserve is the only place that adds a proportional margin (growthPercent). When a
// reallocation fails the buffer becomes null and capacity 0; every later write does nothing, and
// senders treat a null buffer as out of memory. Never locks, throws or traces.
class String {
 public:
  String();                       // capacity 31
  explicit String(int capacity);  // empty text, capacity n
  String(const char* s);          // NOLINT: copy of s (null gives capacity 0)
  String(const char* s, int n);   // first min(n, strlen(s)) bytes
  String(const String& other);
  virtual ~String();

  String& operator=(const String& other);

  void copy(const char* s);
  void copy(const char* s, int n);
  void append(int c);
  void append(const char* s);
  // strncpy semantics: stops copying at a NUL of s and pads with NULs; length += n.
  void append(const char* s, int n);
  // Appends n raw bytes (NULs included) with the same growth rule as append(s, n).
  void appendBytes(const char* s, int n);
  void appendItoa(int v);
  void appendXtoa(char c);
  void grow(int n);
  void reserve(int n);
  // Empties the text (capacity unchanged).
  void clear();

  int indexOf(int c) const { return indexOf(c, 0); }
  int indexOf(int c, int from) const;
  int indexOf(const char* s) const { return indexOf(s, 0); }
  int indexOf(const char* s, int from) const;
  int findFirstOf(const char* set, int from) const;
  int findFirstNotOf(const char* set, int from) const;
  String substr(int from) const;
  String substr(int from, int n) const;
  void toUpper();

  char* buffer;
  int length;
  int capacity;
  int growthPercent;

 private:
  // Reallocates to newCapacity + 1 bytes; on failure frees the old buffer and nulls it.
  void setCapacity(int newCapacity);
};

}  // namespace HOZ

#endif  // VEL_LINK_HOZSTRING_H
