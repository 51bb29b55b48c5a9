#include "xmlmemorymanager.h"

#include "zelexception.h"

#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <algorithm>
#include <cstddef>
#include <new>

namespace {
// Every allocation is preceded by this header, which names the chunk class
// the memory came from (kChunkClassCount: a larger request).
struct alignas(std::max_align_t) ChunkHeader {
  std::size_t classIndex;
};
constexpr std::size_t kHeaderSize = sizeof(ChunkHeader);
constexpr std::size_t kAlignment = alignof(std::max_align_t);
constexpr std::size_t kDirect = ZelXmlMemoryManager::kChunkClassCount;

std::size_t alignUp(std::size_t n) { return (n + kAlignment - 1) / kAlignment * kAlignment; }

[[noreturn]] void invalidParameter(const char* reason, long value) {
  ZelConversionException e(__FILE__, __LINE__, "ZelXmlMemoryManager::ZelXmlMemoryManager", nullptr,
                           ZelMessages::CP_CONVERSION_ERROR);
  e.addInsert(reason).addInsert(value);
  throw e;
}

void* systemAllocate(std::size_t bytes) {
  try {
    return ::operator new(bytes);
  } catch (const std::bad_alloc&) {
    throw xercesc::OutOfMemoryException();
  }
}
}  // namespace

ZelXmlTrackingMemoryManager::ZelXmlTrackingMemoryManager() : head_{&head_, &head_} {}

ZelXmlTrackingMemoryManager::~ZelXmlTrackingMemoryManager() {
  for (Link* link = head_.next; link != &head_;) {
    Link* const next = link->next;
    ::operator delete(link);
    link = next;
  }
}

xercesc::MemoryManager* ZelXmlTrackingMemoryManager::getExceptionMemoryManager() {
  return xercesc::XMLPlatformUtils::fgMemoryManager;
}

void* ZelXmlTrackingMemoryManager::allocate(XMLSize_t size) {
  auto* link = static_cast<Link*>(systemAllocate(sizeof(Link) + size));
  link->previous = &head_;
  link->next = head_.next;
  head_.next->previous = link;
  head_.next = link;
  ++liveBlocks_;
  return link + 1;
}

void ZelXmlTrackingMemoryManager::deallocate(void* p) {
  if (!p) return;
  Link* const link = static_cast<Link*>(p) - 1;
  link->previous->next = link->next;
  link->next->previous = link->previous;
  --liveBlocks_;
  ::operator delete(link);
}

ZelXmlMemoryManager::ZelXmlMemoryManager(long poolSize, const ChunkSizes& chunkSizes)
    : poolSize_(poolSize), chunkSizes_(chunkSizes) {
  if (poolSize < 1 || poolSize > kMaximumPoolSize) invalidParameter("Invalid memory manager pool size", poolSize);
  long previous = 0;
  for (const long size : chunkSizes) {
    if (size <= previous) invalidParameter("Invalid memory manager chunk size", size);
    previous = size;
  }
  for (std::size_t i = 0; i < kChunkClassCount; ++i) {
    ChunkClass& chunkClass = classes_[i];
    chunkClass.stride = kHeaderSize + alignUp(static_cast<std::size_t>(chunkSizes[i]));
    chunkClass.chunksPerBlock = std::max<std::size_t>(1, static_cast<std::size_t>(poolSize) / chunkClass.stride);
  }
}

ZelXmlMemoryManager::~ZelXmlMemoryManager() = default;

xercesc::MemoryManager* ZelXmlMemoryManager::getExceptionMemoryManager() {
  return xercesc::XMLPlatformUtils::fgMemoryManager;
}

void* ZelXmlMemoryManager::allocate(XMLSize_t size) {
  for (std::size_t i = 0; i < kChunkClassCount; ++i) {
    if (size <= static_cast<std::size_t>(chunkSizes_[i])) return allocateFrom(classes_[i], i);
  }
  auto* header = static_cast<ChunkHeader*>(largeRequests_.allocate(kHeaderSize + size));
  header->classIndex = kDirect;
  return header + 1;
}

void* ZelXmlMemoryManager::allocateFrom(ChunkClass& chunkClass, std::size_t classIndex) {
  unsigned char* chunk;
  if (chunkClass.freeList) {
    chunk = reinterpret_cast<unsigned char*>(chunkClass.freeList);
    chunkClass.freeList = chunkClass.freeList->next;
  } else {
    if (chunkClass.cursor == chunkClass.end) {
      const std::size_t bytes = chunkClass.stride * chunkClass.chunksPerBlock;
      unsigned char* block;
      try {
        block = new unsigned char[bytes];
        chunkClass.blocks.emplace_back(block);
      } catch (const std::bad_alloc&) {
        throw xercesc::OutOfMemoryException();
      }
      chunkClass.cursor = block;
      chunkClass.end = block + bytes;
    }
    chunk = chunkClass.cursor;
    chunkClass.cursor += chunkClass.stride;
  }
  auto* header = reinterpret_cast<ChunkHeader*>(chunk);
  header->classIndex = classIndex;
  return header + 1;
}

void ZelXmlMemoryManager::deallocate(void* p) {
  if (!p) return;
  ChunkHeader* header = static_cast<ChunkHeader*>(p) - 1;
  if (header->classIndex == kDirect) {
    largeRequests_.deallocate(header);
    return;
  }
  ChunkClass& chunkClass = classes_[header->classIndex];
  auto* chunk = reinterpret_cast<FreeChunk*>(header);
  chunk->next = chunkClass.freeList;
  chunkClass.freeList = chunk;
}

std::size_t ZelXmlMemoryManager::getBlockCount() const {
  std::size_t count = 0;
  for (const auto& chunkClass : classes_) count += chunkClass.blocks.size();
  return count;
}

const ZelWstring& ZelXmlMemoryManager::getMemoryManagerPoolSize() {
  static const ZelWstring name(u"memoryManagerPoolSize");
  return name;
}
const ZelWstring& ZelXmlMemoryManager::getMemoryManagerChunkSize0() {
  static const ZelWstring name(u"memoryManagerChunkSize0");
  return name;
}
const ZelWstring& ZelXmlMemoryManager::getMemoryManagerChunkSize1() {
  static const ZelWstring name(u"memoryManagerChunkSize1");
  return name;
}
const ZelWstring& ZelXmlMemoryManager::getMemoryManagerChunkSize2() {
  static const ZelWstring name(u"memoryManagerChunkSize2");
  return name;
}
