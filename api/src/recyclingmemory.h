#ifndef WFXML_SRC_RECYCLINGMEMORY_H
#define WFXML_SRC_RECYCLINGMEMORY_H

// Memory for one Xerces-C scanner, used by one thread at a time. A
// validating scanner allocates and frees small blocks at nearly every
// element and value (the namespace of a complex type's name, datatype
// values, identity-constraint stores); the blocks it frees are kept by size
// and handed out again instead of going back to the heap, and nothing is
// locked. It must outlive everything allocated from it; what it keeps is
// freed with it.

#include <xercesc/framework/MemoryManager.hpp>

#include <array>
#include <cstddef>

namespace wfxml::detail {

class RecyclingMemory final : public xercesc::MemoryManager {
public:
  RecyclingMemory() = default;
  ~RecyclingMemory() override;
  RecyclingMemory(const RecyclingMemory&) = delete;
  RecyclingMemory& operator=(const RecyclingMemory&) = delete;

  xercesc::MemoryManager* getExceptionMemoryManager() override;
  // Throws OutOfMemoryException, as Xerces-C expects, when the heap has none.
  void* allocate(XMLSize_t size) override;
  void deallocate(void* block) override;

  // Blocks come in sizes of whole granules (their alignment), up to kClasses
  // granules; larger ones go to the heap and back.
  static constexpr std::size_t kGranule = 16;
  static constexpr std::size_t kClasses = 32;
  // Kept blocks at most, in bytes: what a large document needed once is not
  // held for ever.
  static constexpr std::size_t kMaxKept = std::size_t{1} << 20;

private:
  struct Free {
    Free* next;
  };
  std::array<Free*, kClasses + 1> free_{};  // per size class, in granules
  std::size_t kept_ = 0;
};

}  // namespace wfxml::detail

#endif
