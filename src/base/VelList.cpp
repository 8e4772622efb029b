#include "VelList.h"

#include <cinttypes>
#include <cstdlib>

#include "MUT1.h"

VEL_TRACE_UNIT("list");

namespace {
unsigned ptrBits(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }
}  // namespace

// ---- VelListBaseItem ----------------------------------------------------------------------------

VelListBaseItem::~VelListBaseItem() {}

VelListBaseItem* VelListBaseItem::getNext() {
  VEL_FLOW_ENTRY("VelListBaseItem::getNext");
  if (m_pNext == this) {
    // A node that follows itself means the list is corrupted; going on would loop for ever.
    VEL_ERROR("Error at getNext");
    exit(-1);
  }
  VEL_RETURN(m_pNext);
}

VelListBaseItem* VelListBaseItem::getPrev() {
  VEL_FLOW_ENTRY("VelListBaseItem::getPrev");
  VEL_RETURN(m_pPrev);
}

void* VelListBaseItem::getDataPtr() {
  VEL_FLOW_ENTRY("VelListBaseItem::getDataPtr");
  VEL_RETURN(m_pData);
}

bool VelListBaseItem::setNext(VelListBaseItem* next) {
  VEL_FLOW_ENTRY("VelListBaseItem::setNext");
  m_pNext = next;
  VEL_RETURN(true);
}

bool VelListBaseItem::setPrev(VelListBaseItem* prev) {
  VEL_FLOW_ENTRY("VelListBaseItem::setPrev");
  m_pPrev = prev;
  VEL_RETURN(true);
}

// ---- VelBaseVoidList ----------------------------------------------------------------------------

VelBaseVoidList::~VelBaseVoidList() { clear(); }

bool VelBaseVoidList::push_back(void* p) {
  VEL_FLOW_ENTRY("VelBaseVoidList::push_back");
  if (p == nullptr) {
    VEL_ERROR("Invalid pointer to store, %X", ptrBits(p));
    VEL_RETURN(false);
  }
  VelListBaseItem* node = new VelListBaseItem(p);
  if (node == nullptr) {
    VEL_ERROR("Error, Can not allocate memory for VelListBaseItem");
    VEL_RETURN(false);
  }
  if (m_pHead == nullptr) {
    m_pHead = m_pTail = node;
  } else {
    if (m_pTail == nullptr) {
      VEL_ERROR("Error, Invalid tail pointer");
      delete node;
      VEL_RETURN(false);
    }
    m_pTail->setNext(node);
    node->setPrev(m_pTail);
    m_pTail = node;
  }
  ++m_iCount;
  VEL_RETURN(true);
}

void* VelBaseVoidList::pop_front() {
  VEL_FLOW_ENTRY("VelBaseVoidList::pop_front");
  VelListBaseItem* head = m_pHead;
  if (head == nullptr) VEL_RETURN(static_cast<void*>(nullptr));
  m_pHead = head->getNext();
  if (m_pHead != nullptr)
    m_pHead->setPrev(nullptr);
  else
    m_pTail = nullptr;
  void* data = head->getDataPtr();
  delete head;
  --m_iCount;
  VEL_RETURN(data);
}

bool VelBaseVoidList::remove(void* p) {
  VEL_FLOW_ENTRY("VelBaseVoidList::remove");
  if (p == nullptr) VEL_RETURN(false);
  VelListBaseItem* node = m_pHead;
  while (node != nullptr && node->getDataPtr() != p) node = node->getNext();
  if (node == nullptr) VEL_RETURN(false);
  VelListBaseItem* prev = node->getPrev();
  VelListBaseItem* next = node->getNext();
  if (prev != nullptr)
    prev->setNext(next);
  else
    m_pHead = next;
  if (next != nullptr)
    next->setPrev(prev);
  else
    m_pTail = prev;
  delete node;
  --m_iCount;
  VEL_RETURN(true);
}

void VelBaseVoidList::clear() {
  VEL_FLOW_ENTRY("VelBaseVoidList::clear");
  VelListBaseItem* node = m_pHead;
  while (node != nullptr) {
    VelListBaseItem* next = node->getNext();
    delete node;
    node = next;
  }
  m_pHead = m_pTail = nullptr;
  m_iCount = 0;
}
