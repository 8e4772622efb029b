#include "VelString.h"

#include <string.h>  // explicit_bzero

#include <cstring>

#include "MUT1.h"

VEL_TRACE_UNIT("string");

char VelString::m_NullData = 0;

namespace {
// Longest text a string holds: its capacity has 31 bits (the 32nd is the secret flag).
constexpr size_t kMaxNeed = 0x7FFF0000u;
}  // namespace

VelString::VelString(const char* s) : VelString() { assign(s); }

VelString::VelString(const VelString& other) : VelString() {
  m_bSecret = other.m_bSecret;
  assign(other.m_pData);
}

VelString::~VelString() { clear(); }

VelString& VelString::operator=(const VelString& other) {
  VEL_FLOW_ENTRY("VelString::operator=");
  if (this != &other) {
    if (other.m_bSecret) m_bSecret = 1;
    assign(other.m_pData);
  }
  return *this;
}

bool VelString::assign(const char* s) {
  VEL_FLOW_ENTRY("VelString::assign");
  size_t len = s != nullptr ? strlen(s) : 0;
  if (len == 0) {
    clear();
    VEL_RETURN(true);
  }
  size_t need = len + 1;
  size_t allocSize = VelMemManager::getAllocSize(need);
  // Text taken from this string's own buffer must outlive the old buffer: take the new buffer
  // first. Otherwise the old buffer goes back before the new one is taken.
  bool own = m_iCapacity != 0 && s >= m_pData && s < m_pData + m_iCapacity;
  if (!own) clear();
  char* p = need <= kMaxNeed ? static_cast<char*>(VelMemManager::Malloc(allocSize)) : nullptr;
  if (p == nullptr) {
    clear();
    VEL_ERROR("Error at allocation memory, requiring size is:%d, allocation size is:%d",
              static_cast<int>(need), static_cast<int>(allocSize));
    VEL_RETURN(false);
  }
  memcpy(p, s, need);
  clear();
  m_pData = p;
  m_iSize = static_cast<uint32_t>(len);
  m_iCapacity = static_cast<uint32_t>(allocSize);
  VEL_DETAIL("Size is:%d, Capacity is:%d, content is:%s", static_cast<int>(m_iSize),
             static_cast<int>(m_iCapacity), traceText());
  VEL_RETURN(true);
}

bool VelString::append(const char* s) {
  VEL_FLOW_ENTRY("VelString::append");
  if (s == nullptr) VEL_RETURN(true);
  VEL_RETURN(append(s, static_cast<unsigned>(strlen(s))));
}

bool VelString::append(const char* s, unsigned n) {
  VEL_FLOW_ENTRY("VelString::append");
  if (s == nullptr || n == 0) VEL_RETURN(true);
  size_t need = static_cast<size_t>(m_iSize) + n + 1;
  if (need <= m_iCapacity) {
    // s may lie in this string's own buffer.
    memmove(m_pData + m_iSize, s, n);
    m_iSize += n;
    m_pData[m_iSize] = 0;
    VEL_RETURN(true);
  }
  size_t allocSize = VelMemManager::getAllocSize(need);
  char* p = need <= kMaxNeed ? static_cast<char*>(VelMemManager::Malloc(allocSize)) : nullptr;
  if (p == nullptr) {
    VEL_ERROR("Error at allocation memory, requiring size is:%d, allocation size is:%d",
              static_cast<int>(need), static_cast<int>(allocSize));
    VEL_RETURN(false);
  }
  memcpy(p, m_pData, m_iSize);
  memcpy(p + m_iSize, s, n);  // the old buffer is still alive here
  p[need - 1] = 0;
  wipe();
  if (m_iCapacity != 0) VelMemManager::Free(m_pData);
  m_pData = p;
  m_iSize = static_cast<uint32_t>(need - 1);
  m_iCapacity = static_cast<uint32_t>(allocSize);
  VEL_RETURN(true);
}

void VelString::wipe() {
  if (m_bSecret && m_iCapacity != 0) explicit_bzero(m_pData, m_iCapacity);
}

void VelString::clear() {
  VEL_FLOW_ENTRY("VelString::clear");
  wipe();
  if (m_iCapacity != 0) VelMemManager::Free(m_pData);
  m_pData = &m_NullData;
  m_iSize = 0;
  m_iCapacity = 0;
}

void VelString::resize(unsigned n) {
  VEL_FLOW_ENTRY("VelString::resize");
  if (n <= m_iSize) {
    // The shared terminator of an empty string is never written.
    if (n < m_iSize) {
      m_pData[n] = 0;
      m_iSize = n;
    }
    return;
  }
  size_t need = static_cast<size_t>(n) + 1;
  size_t allocSize = VelMemManager::getAllocSize(need);
  char* p = need <= kMaxNeed ? static_cast<char*>(VelMemManager::Malloc(allocSize)) : nullptr;
  if (p == nullptr) {
    VEL_ERROR("Error at allocation memory, requiring size is:%d, allocation size is:%d",
              static_cast<int>(n), static_cast<int>(allocSize));
    return;
  }
  memcpy(p, m_pData, m_iSize);
  memset(p + m_iSize, ' ', n - m_iSize);
  p[n] = 0;
  wipe();
  if (m_iCapacity != 0) VelMemManager::Free(m_pData);
  m_pData = p;
  m_iSize = n;
  m_iCapacity = static_cast<uint32_t>(allocSize);
}

int VelString::compare(const char* s) const {
  VEL_FLOW_ENTRY("VelString::compare");
  if (s == nullptr) VEL_RETURN(1);
  VEL_RETURN(strcmp(m_pData, s));
}
