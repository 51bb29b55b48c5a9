#include "recyclingmemory.h"

#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <cstdint>
#include <cstdlib>

namespace wfxml::detail {
namespace {

// Each block is preceded by its size class (0: a large block), in a header
// of one granule so that the block keeps the granule's alignment.
constexpr std::size_t kHeader = RecyclingMemory::kGranule;
constexpr std::size_t kLarge = 0;

std::size_t& sizeClassOf(void* block) { return *reinterpret_cast<std::size_t*>(static_cast<char*>(block) - kHeader); }

}  // namespace

RecyclingMemory::~RecyclingMemory() {
  for (Free* first : free_) {
    while (first != nullptr) {
      Free* next = first->next;
      std::free(reinterpret_cast<char*>(first) - kHeader);
      first = next;
    }
  }
}

xercesc::MemoryManager* RecyclingMemory::getExceptionMemoryManager() { return xercesc::XMLPlatformUtils::fgMemoryManager; }

void* RecyclingMemory::allocate(XMLSize_t size) {
  const std::size_t granules = size == 0 ? 1 : (size + kGranule - 1) / kGranule;
  const std::size_t sizeClass = granules <= kClasses ? granules : kLarge;
  if (sizeClass != kLarge && free_[sizeClass] != nullptr) {
    Free* block = free_[sizeClass];
    free_[sizeClass] = block->next;
    kept_ -= sizeClass * kGranule;
    return block;
  }
  const std::size_t bytes = sizeClass == kLarge ? size : sizeClass * kGranule;
  if (bytes > SIZE_MAX - kHeader) throw xercesc::OutOfMemoryException();
  char* raw = static_cast<char*>(std::malloc(kHeader + bytes));
  if (raw == nullptr) throw xercesc::OutOfMemoryException();
  void* block = raw + kHeader;
  sizeClassOf(block) = sizeClass;
  return block;
}

void RecyclingMemory::deallocate(void* block) {
  if (block == nullptr) return;
  const std::size_t sizeClass = sizeClassOf(block);
  if (sizeClass == kLarge || kept_ + sizeClass * kGranule > kMaxKept) {
    std::free(static_cast<char*>(block) - kHeader);
    return;
  }
  Free* freed = static_cast<Free*>(block);
  freed->next = free_[sizeClass];
  free_[sizeClass] = freed;
  kept_ += sizeClass * kGranule;
}

}  // namespace wfxml::detail
