// Linked lists of the program: VelBaseVoidList (untyped, owns its nodes only), VelTypePtrList<T>
// (owns its elements), VelBaseListLockTemplate<T> (owns its elements, every operation under its
// own mutex; the request queues), and VelAutoPtr<T> (single owner of one object).
#ifndef VEL_BASE_VELLIST_H
#define VEL_BASE_VELLIST_H

#include <cstdint>

#include "VelMemManager.h"
#include "VelMutex.h"

// One node of a list, allocated from the pool.
class VelListBaseItem : public Vel_BaseMemPool {
 public:
  explicit VelListBaseItem(void* data) : m_pData(data) {}
  virtual ~VelListBaseItem();
  VelListBaseItem(const VelListBaseItem&) = delete;
  VelListBaseItem& operator=(const VelListBaseItem&) = delete;

  // The next node. A node linked to itself is a corrupted list: the process ends (status -1).
  VelListBaseItem* getNext();
  VelListBaseItem* getPrev();
  void* getDataPtr();
  bool setNext(VelListBaseItem* next);
  bool setPrev(VelListBaseItem* prev);

 private:
  VelListBaseItem* m_pNext = nullptr;
  VelListBaseItem* m_pPrev = nullptr;
  void* m_pData;  // the element; not owned by the node
};

// Doubly linked list of untyped pointers. Owns its nodes, never the elements.
class VelBaseVoidList {
 public:
  VelBaseVoidList() = default;
  ~VelBaseVoidList();
  VelBaseVoidList(const VelBaseVoidList&) = delete;
  VelBaseVoidList& operator=(const VelBaseVoidList&) = delete;

  // Appends p; false (list unchanged) for a null p or when no node can be allocated.
  bool push_back(void* p);
  // Unlinks the head and returns its element, or null when empty.
  void* pop_front();
  // Unlinks the first node holding p; false when p is null or not in the list.
  bool remove(void* p);
  // Frees every node; the elements are untouched.
  void clear();

  VelListBaseItem* getHead() const { return m_pHead; }
  VelListBaseItem* getTail() const { return m_pTail; }
  unsigned getCount() const { return m_iCount; }

 private:
  VelListBaseItem* m_pHead = nullptr;
  VelListBaseItem* m_pTail = nullptr;
  uint32_t m_iCount = 0;
};

// Iterator over a VelTypePtrList<T>; owns nothing. Dereferencing yields the element pointer
// (null at the end).
template <typename T>
class VelTypePtrListIterator {
 public:
  explicit VelTypePtrListIterator(VelListBaseItem* item = nullptr) : m_pItem(item) {}
  T* operator*() const { return m_pItem ? static_cast<T*>(m_pItem->getDataPtr()) : nullptr; }
  VelTypePtrListIterator& operator++() {
    if (m_pItem) m_pItem = m_pItem->getNext();
    return *this;
  }
  VelTypePtrListIterator operator++(int) {
    VelTypePtrListIterator old = *this;
    ++*this;
    return old;
  }
  bool operator==(const VelTypePtrListIterator& o) const { return m_pItem == o.m_pItem; }
  bool operator!=(const VelTypePtrListIterator& o) const { return m_pItem != o.m_pItem; }
  VelListBaseItem* item() const { return m_pItem; }

 private:
  VelListBaseItem* m_pItem;  // null at the end
};

// List of T* that owns its elements: what is still in the list when it is cleared or destroyed
// is destroyed (through onDestroy). Not locked.
template <typename T>
class VelTypePtrList {
 public:
  using iterator = VelTypePtrListIterator<T>;

  VelTypePtrList() = default;
  virtual ~VelTypePtrList() { clear(); }
  VelTypePtrList(const VelTypePtrList&) = delete;
  VelTypePtrList& operator=(const VelTypePtrList&) = delete;

  // Appends p and takes it over; a null p is ignored (false). On false the caller keeps p.
  virtual bool push_back(T* p) {
    if (p == nullptr) return false;
    return m_list.push_back(p);
  }
  // Takes the first element off the list; the caller owns it. Null when empty.
  virtual T* pop_front() { return static_cast<T*>(m_list.pop_front()); }
  // Destroys one element.
  virtual void onDestroy(T* p) { delete p; }

  // Destroys every element from head to tail, then frees the nodes.
  void clear() {
    for (VelListBaseItem* n = m_list.getHead(); n != nullptr; n = n->getNext())
      onDestroy(static_cast<T*>(n->getDataPtr()));
    m_list.clear();
  }

  iterator begin() const { return iterator(m_list.getHead()); }
  iterator end() const { return m_end; }
  unsigned getCount() const { return m_list.getCount(); }
  unsigned size() const { return m_list.getCount(); }
  bool empty() const { return m_list.getCount() == 0; }

 private:
  VelBaseVoidList m_list;
  iterator m_end;
};

// List of T* shared between threads: every operation holds the list's own mutex for its whole
// duration, and no operation calls out while holding it except onDestroy in the destructor.
// Owns its elements; T must have a virtual destructor.
template <typename T>
class VelBaseListLockTemplate {
 public:
  VelBaseListLockTemplate() = default;
  virtual ~VelBaseListLockTemplate() {
    {
      VelMutexHandler lock(m_mutex);
      for (VelListBaseItem* n = m_list.getHead(); n != nullptr; n = n->getNext())
        onDestroy(static_cast<T*>(n->getDataPtr()));
    }
    m_list.clear();
  }
  VelBaseListLockTemplate(const VelBaseListLockTemplate&) = delete;
  VelBaseListLockTemplate& operator=(const VelBaseListLockTemplate&) = delete;

  // Appends p and takes it over; a null p is ignored (false). On false the caller keeps p.
  virtual bool push_back(T* p) {
    if (p == nullptr) return false;
    VelMutexHandler lock(m_mutex);
    return m_list.push_back(p);
  }
  // Takes the first element off the list; the caller owns it. Null when empty.
  virtual T* remove() {
    VelMutexHandler lock(m_mutex);
    return static_cast<T*>(m_list.pop_front());
  }
  // Unlinks the first node holding p (p is not destroyed); whether one was found. A null p
  // yields true and changes nothing.
  virtual bool remove(T* p) {
    if (p == nullptr) return true;
    VelMutexHandler lock(m_mutex);
    return m_list.remove(p);
  }
  // Destroys one element through its virtual destructor.
  virtual void onDestroy(T* p) { delete p; }

  // Elements in the list at the moment of the call.
  unsigned getCount() {
    VelMutexHandler lock(m_mutex);
    return m_list.getCount();
  }

 protected:
  // Derived queues use both directly for operations that must be atomic as a whole.
  VelBaseVoidList m_list;  // guarded by m_mutex
  VelMutex m_mutex;
};

// Single owner of one object: deletes it on destruction.
template <typename T>
class VelAutoPtr {
 public:
  explicit VelAutoPtr(T* p = nullptr) : m_p(p) {}
  ~VelAutoPtr() {
    if (m_p != nullptr) delete m_p;
  }
  VelAutoPtr(const VelAutoPtr&) = delete;
  VelAutoPtr& operator=(const VelAutoPtr&) = delete;

  T* get() const { return m_p; }
  T* operator->() const { return m_p; }
  T& operator*() const { return *m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  // Gives the object up; the caller owns it.
  T* release() {
    T* p = m_p;
    m_p = nullptr;
    return p;
  }
  // Deletes the held object and takes p.
  void reset(T* p = nullptr) {
    if (p == m_p) return;
    T* old = m_p;
    m_p = p;
    if (old != nullptr) delete old;
  }

 private:
  T* m_p;
};

#endif  // VEL_BASE_VELLIST_H
