#include "HOZString.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace HOZ {

namespace {
int textLength(const char* s) { return s ? static_cast<int>(strlen(s)) : 0; }
}  // namespace

String::String() : String(31) {}

String::String(int n) : buffer(nullptr), length(0), capacity(n < 0 ? 0 : n), growthPercent(0) {
  buffer = static_cast<char*>(malloc(static_cast<size_t>(capacity) + 1));
  if (buffer)
    buffer[0] = '\0';
  else
    capacity = 0;
}

String::String(const char* s) : String(textLength(s)) {
  if (buffer && s) {
    memcpy(buffer, s, static_cast<size_t>(capacity));
    buffer[capacity] = '\0';
    length = capacity;
  }
}

String::String(const char* s, int n) : String(n < textLength(s) ? (n < 0 ? 0 : n) : textLength(s)) {
  if (buffer && s) {
    memcpy(buffer, s, static_cast<size_t>(capacity));
    buffer[capacity] = '\0';
    length = capacity;
  }
}

String::String(const String& other) : String(other.capacity) {
  growthPercent = 0;
  if (buffer && other.buffer) {
    memcpy(buffer, other.buffer, static_cast<size_t>(other.length));
    buffer[other.length] = '\0';
    length = other.length;
  }
}

String::~String() { free(buffer); }

void String::setCapacity(int newCapacity) {
  char* grown = static_cast<char*>(realloc(buffer, static_cast<size_t>(newCapacity) + 1));
  if (!grown) {
    free(buffer);
    buffer = nullptr;
    capacity = 0;
    length = 0;
    return;
  }
  buffer = grown;
  capacity = newCapacity;
}

String& String::operator=(const String& other) {
  if (this == &other) return *this;
  if (capacity < other.capacity) setCapacity(other.capacity);
  if (!buffer) return *this;
  if (other.buffer) {
    memmove(buffer, other.buffer, static_cast<size_t>(other.length));
    length = other.length;
  } else {
    length = 0;
  }
  buffer[length] = '\0';
  return *this;
}

void String::copy(const char* s) {
  if (!buffer) return;
  int n = textLength(s);
  if (capacity < n) grow(n - capacity);
  if (!buffer) return;
  if (n) memmove(buffer, s, static_cast<size_t>(n));
  length = n;
  buffer[length] = '\0';
}

void String::copy(const char* s, int n) {
  if (!buffer) return;
  int len = textLength(s);
  if (n < len) len = n < 0 ? 0 : n;
  if (capacity < len) grow(len - capacity);
  if (!buffer) return;
  if (len) memmove(buffer, s, static_cast<size_t>(len));
  length = len;
  buffer[length] = '\0';
}

void String::append(int c) {
  if (!buffer) return;
  if (length == capacity) grow(32);
  if (!buffer) return;
  buffer[length++] = static_cast<char>(c);
  buffer[length] = '\0';
}

void String::append(const char* s) {
  if (!s || !buffer) return;
  int n = textLength(s);
  if (length + n >= capacity) grow(n);
  if (!buffer) return;
  memcpy(buffer + length, s, static_cast<size_t>(n));
  length += n;
  buffer[length] = '\0';
}

void String::append(const char* s, int n) {
  if (!s || !buffer || n <= 0) return;
  if (length + n >= capacity) grow(n);
  if (!buffer) return;
  strncpy(buffer + length, s, static_cast<size_t>(n));
  length += n;
  buffer[length] = '\0';
}

void String::appendBytes(const char* s, int n) {
  if (!s || !buffer || n <= 0) return;
  if (length + n >= capacity) grow(n);
  if (!buffer) return;
  memcpy(buffer + length, s, static_cast<size_t>(n));
  length += n;
  buffer[length] = '\0';
}

void String::appendItoa(int v) {
  char text[16];
  snprintf(text, sizeof text, "%d", v);
  append(text);
}

void String::appendXtoa(char c) {
  char text[4];
  snprintf(text, sizeof text, "%02X", static_cast<unsigned char>(c));
  append(text);
}

void String::grow(int n) {
  if (!buffer) return;
  setCapacity(capacity + n);
}

void String::reserve(int n) {
  if (!buffer || capacity >= n) return;
  long long wanted = n + (static_cast<long long>(n) * growthPercent + 50) / 100;
  if (wanted > 0x7FFFFFF0LL) wanted = n;  // keep the capacity a signed 32-bit value
  setCapacity(static_cast<int>(wanted));
}

void String::clear() {
  if (!buffer) return;
  length = 0;
  buffer[0] = '\0';
}

int String::indexOf(int c, int from) const {
  if (!buffer || from < 0 || from >= length) return -1;
  const char* hit = strchr(buffer + from, c);
  if (!hit || c == '\0') return -1;
  return static_cast<int>(hit - buffer);
}

int String::indexOf(const char* s, int from) const {
  if (!buffer || !s || from < 0 || from >= length) return -1;
  const char* hit = strstr(buffer + from, s);
  return hit ? static_cast<int>(hit - buffer) : -1;
}

int String::findFirstOf(const char* set, int from) const {
  if (!buffer || !set || from < 0 || from >= length) return -1;
  int pos = from + static_cast<int>(strcspn(buffer + from, set));
  return pos < length ? pos : -1;
}

int String::findFirstNotOf(const char* set, int from) const {
  if (!buffer || !set || from < 0 || from >= length) return -1;
  int pos = from + static_cast<int>(strspn(buffer + from, set));
  return pos < length ? pos : -1;
}

String String::substr(int from) const {
  if (!buffer || from < 0 || from >= length) return String();
  return String(buffer + from);
}

String String::substr(int from, int n) const {
  if (!buffer || from < 0 || from >= length) return String();
  return String(buffer + from, n);
}

void String::toUpper() {
  if (!buffer) return;
  for (int i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(buffer[i]);
    if (c >= 'a' && c <= 'z') buffer[i] = static_cast<char>(c - 'a' + 'A');
  }
}

}  // namespace HOZ
