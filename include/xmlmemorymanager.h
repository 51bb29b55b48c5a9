#ifndef XMLMEMORYMANAGER_H
#define XMLMEMORYMANAGER_H

#include "zelapi.h"
#include "zelwstring.h"

#include <xercesc/framework/MemoryManager.hpp>

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

// A memory manager for the XML scanner that serves every request from the
// system allocator and keeps what is out in a list: whatever was not given
// back is freed when the manager is destroyed. The scanner loses memory on
// some malformed documents (the content model of a bad element declaration);
// a manager that goes with the scanner takes it back. It must outlive all
// that was allocated from it. Not thread-safe: one manager per worker.
class ZEL_API ZelXmlTrackingMemoryManager : public xercesc::MemoryManager {
public:
  ZelXmlTrackingMemoryManager();
  // Frees every block still out.
  ~ZelXmlTrackingMemoryManager() override;
  ZelXmlTrackingMemoryManager(const ZelXmlTrackingMemoryManager&) = delete;
  ZelXmlTrackingMemoryManager& operator=(const ZelXmlTrackingMemoryManager&) = delete;

  // Exceptions may outlive this manager: they use the process-wide one.
  xercesc::MemoryManager* getExceptionMemoryManager() override;
  // Never returns null: throws xercesc::OutOfMemoryException instead.
  // The memory is aligned for any fundamental type.
  void* allocate(XMLSize_t size) override;
  // Accepts null.
  void deallocate(void* p) override;

  // Blocks allocated and not yet given back.
  std::size_t getLiveBlockCount() const { return liveBlocks_; }

private:
  struct alignas(std::max_align_t) Link {
    Link* previous;
    Link* next;
  };
  Link head_;  // of a circular list
  std::size_t liveBlocks_ = 0;
};

// A pooled memory manager for the XML scanner. Requests up to one of three
// chunk sizes are served from blocks of poolSize bytes and recycled through a
// free list per chunk size; larger requests go to the system allocator. Every
// block, and every larger request not given back, is released when the
// manager is destroyed, so it must outlive all that was allocated from it.
// Not thread-safe: one manager per worker.
class ZEL_API ZelXmlMemoryManager : public xercesc::MemoryManager {
public:
  static constexpr std::size_t kChunkClassCount = 3;
  using ChunkSizes = std::array<long, kChunkClassCount>;
  // Sizes that cover the scanner's small strings, its name and attribute
  // records, and its element-stack entries.
  static constexpr ChunkSizes kDefaultChunkSizes = {64, 256, 1024};
  // A pool size above this is taken for a typing error, not a wish.
  static constexpr long kMaximumPoolSize = 64L * 1024 * 1024;

  // Throws ZelConversionException CP_CONVERSION_ERROR (inserts: a reason and
  // the offending value) when poolSize is not within 1..kMaximumPoolSize or
  // the chunk sizes are not positive and strictly increasing. A pool size
  // below the largest chunk still gives blocks of one chunk each.
  explicit ZelXmlMemoryManager(long poolSize, const ChunkSizes& chunkSizes = kDefaultChunkSizes);
  ~ZelXmlMemoryManager() override;
  ZelXmlMemoryManager(const ZelXmlMemoryManager&) = delete;
  ZelXmlMemoryManager& operator=(const ZelXmlMemoryManager&) = delete;

  // Exceptions may outlive this manager: they use the process-wide one.
  xercesc::MemoryManager* getExceptionMemoryManager() override;
  // Never returns null: throws xercesc::OutOfMemoryException instead.
  // The memory is aligned for any fundamental type.
  void* allocate(XMLSize_t size) override;
  // Accepts null.
  void deallocate(void* p) override;

  long getPoolSize() const { return poolSize_; }
  const ChunkSizes& getChunkSizes() const { return chunkSizes_; }
  // Pool blocks held so far (they are kept until destruction).
  std::size_t getBlockCount() const;

  // Names of the message properties that configure a worker's manager.
  static const ZelWstring& getMemoryManagerPoolSize();
  static const ZelWstring& getMemoryManagerChunkSize0();
  static const ZelWstring& getMemoryManagerChunkSize1();
  static const ZelWstring& getMemoryManagerChunkSize2();

private:
  struct FreeChunk {
    FreeChunk* next;
  };
  struct ChunkClass {
    std::size_t stride = 0;           // header plus payload, aligned
    std::size_t chunksPerBlock = 0;
    FreeChunk* freeList = nullptr;
    unsigned char* cursor = nullptr;  // next never-used chunk in the newest block
    unsigned char* end = nullptr;
    std::vector<std::unique_ptr<unsigned char[]>> blocks;
  };

  void* allocateFrom(ChunkClass& chunkClass, std::size_t classIndex);

  long poolSize_;
  ChunkSizes chunkSizes_;
  std::array<ChunkClass, kChunkClassCount> classes_;
  ZelXmlTrackingMemoryManager largeRequests_;
};

#endif
