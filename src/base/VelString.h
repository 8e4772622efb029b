// VelString: the program's growable byte string. Buffers come from the pool in its size classes
// (VelMemManager::getAllocSize), exactly the class of the current need: there is no doubling.
// An empty string allocates nothing and points at the shared terminator m_NullData.
//
// Secrets: a string marked secret (setSecret) holds a password, a key or an encrypted value. Its
// own traces print kVelSecretMask instead of the text, traceText() hands callers the mask for
// their trace lines, and every buffer it gives back is wiped first. The mark sticks: assigning
// another string to a secret keeps it secret, and copies of a secret (and strings it is assigned
// to) are secret too.
#ifndef VEL_BASE_VELSTRING_H
#define VEL_BASE_VELSTRING_H

#include <cstdint>

#include "VelMemManager.h"

// What every trace prints in place of a secret.
constexpr char kVelSecretMask[] = "**********";

class VelString : public Vel_BaseMemPool {
 public:
  VelString() : m_iCapacity(0), m_bSecret(0) {}
  VelString(const char* s);  // NOLINT: implicit by design, as assign(s)
  VelString(const VelString& other);
  ~VelString();
  VelString& operator=(const VelString& other);

  // Replaces the text. Null or "" leave the string empty and unallocated (true). False when no
  // buffer is available; the string is then empty.
  bool assign(const char* s);
  // Appends the text of s (null: nothing, true).
  bool append(const char* s);
  // Appends exactly n bytes of s, whatever they hold. False when no buffer is available; the
  // string is then unchanged.
  bool append(const char* s, unsigned n);
  // Frees the buffer; the string becomes empty.
  void clear();
  // n <= length: truncates in place. n > length: pads with spaces up to n in a new buffer of the
  // class of n + 1 (unchanged when no buffer is available).
  void resize(unsigned n);
  // 1 for a null s, else strcmp(c_str(), s).
  int compare(const char* s) const;

  const char* c_str() const { return m_pData; }
  unsigned length() const { return m_iSize; }
  unsigned capacity() const { return m_iCapacity; }

  // Marks the string as holding a secret (see above), for the rest of its life.
  void setSecret() { m_bSecret = 1; }
  bool isSecret() const { return m_bSecret != 0; }
  // The text to put in a trace line: the mask for a secret, else the text itself.
  const char* traceText() const { return m_bSecret ? kVelSecretMask : m_pData; }

 private:
  static char m_NullData;  // the shared terminator of every unallocated string; never written

  // Overwrites the text with zero bytes (a secret's before its buffer goes back).
  void wipe();

  char* m_pData = &m_NullData;  // always NUL-terminated
  uint32_t m_iSize = 0;         // bytes of text, terminator excluded
  // The flag shares the capacity's word, so a string stays a pointer and two 32-bit words.
  uint32_t m_iCapacity : 31;  // bytes allocated; 0 while m_pData is &m_NullData
  uint32_t m_bSecret : 1;     // the text is a secret: never traced, wiped before release
};

#endif  // VEL_BASE_VELSTRING_H
