#ifndef ELEMENTMATCHCACHE_H
#define ELEMENTMATCHCACHE_H

// Remembers, within one document, which type member an element stands for
// under a parent type, so that the elements of a repeated structure skip
// the member search. The scanner keeps one declaration object per element
// name for the whole document, so the declaration's address names the
// element; with the namespace id and the parent type it is the key.
//
// The caller remembers only answers that depend on nothing else (not on
// attributes, not on the open items), and forgets everything when a new
// document starts, since the scanner's declarations then go away.

#include <array>
#include <cstddef>
#include <cstdint>

class ElementMatchCache {
public:
  // Forgets every answer.
  void clear() {
    if (++iGeneration == 0) {
      iEntries.fill(Entry());
      iGeneration = 1;
    }
  }
  // The member remembered for the key, or -1.
  long find(const void* declaration, unsigned int uriId, long parentTypeIndex) const {
    const Entry& entry = iEntries[slotOf(declaration)];
    if (entry.generation != iGeneration || entry.declaration != declaration || entry.uriId != uriId ||
        entry.parentTypeIndex != parentTypeIndex)
      return -1;
    return entry.memberIndex;
  }
  // Replaces what the key's slot held.
  void remember(const void* declaration, unsigned int uriId, long parentTypeIndex, long memberIndex) {
    iEntries[slotOf(declaration)] = Entry{declaration, iGeneration, uriId, parentTypeIndex, memberIndex};
  }

private:
  struct Entry {
    const void* declaration = nullptr;
    std::uint32_t generation = 0;
    unsigned int uriId = 0;
    long parentTypeIndex = -1;
    long memberIndex = -1;
  };
  // Messages use a few dozen element names; a name whose slot another
  // takes is searched again, never answered wrongly.
  static constexpr std::size_t kSlots = 256;
  static std::size_t slotOf(const void* declaration) {
    // Declarations are heap objects of well over 16 bytes.
    return (reinterpret_cast<std::uintptr_t>(declaration) >> 4) & (kSlots - 1);
  }

  std::array<Entry, kSlots> iEntries{};
  std::uint32_t iGeneration = 1;
};

#endif
