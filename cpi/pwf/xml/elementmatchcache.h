#ifndef ELEMENTMATCHCACHE_H
#define ELEMENTMATCHCACHE_H

// Remembers, within one document, which definition an element stands for
// under a parent type, so that the elements of a repeated structure skip
// the search. The scanner keeps one declaration object per element name
// for the whole document, so the declaration's address names the element;
// with the namespace id and the parent type it is the key. The slot goes by
// the declaration's id, which the scanner counts up from 1 in each document
// for the elements it meets: the first 512 names under one parent never
// share a slot, and which pairs do is not up to where the heap put the
// declarations.
//
// The caller remembers only answers that depend on nothing else (not on
// attributes, not on the open items), and forgets everything when a new
// document starts, since the scanner's declarations then go away.

#include "parseitem.h"
#include "xmldictionaryinfo.h"

#include <xercesc/framework/XMLElementDecl.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// What a search found: the definition (whereDefined eWhereDefinedNotSet:
// none), how the content is matched, and whether the definition is a member
// of the parent type itself (not of a nested group), which the parent then
// notes as the place of its last child.
struct ElementMatch {
  long index = -1;
  EWhereDefined whereDefined = eWhereDefinedNotSet;
  ContentProcessing processing = ContentProcessing::Strict;
  bool directMember = false;
};

class ElementMatchCache {
public:
  // Forgets every answer.
  void clear() {
    if (++iGeneration == 0) {
      iEntries.fill(Entry());
      iGeneration = 1;
    }
  }
  // The answer remembered for the key, or null.
  const ElementMatch* find(const xercesc::XMLElementDecl& declaration, unsigned int uriId, long parentTypeIndex) const {
    const Entry& entry = iEntries[slotOf(declaration, parentTypeIndex)];
    if (entry.generation != iGeneration || entry.declaration != &declaration || entry.uriId != uriId ||
        entry.parentTypeIndex != parentTypeIndex)
      return nullptr;
    return &entry.match;
  }
  // Replaces what the key's slot held.
  void remember(const xercesc::XMLElementDecl& declaration, unsigned int uriId, long parentTypeIndex,
                const ElementMatch& match) {
    iEntries[slotOf(declaration, parentTypeIndex)] = Entry{&declaration, iGeneration, uriId, parentTypeIndex, match};
  }

private:
  struct Entry {
    const void* declaration = nullptr;
    std::uint32_t generation = 0;
    unsigned int uriId = 0;
    long parentTypeIndex = -1;
    ElementMatch match;
  };
  // Messages use a few hundred pairs of element name and parent type (a
  // name such as ID under many parents); a pair whose slot another takes is
  // searched again, never answered wrongly.
  static constexpr std::size_t kSlots = 512;
  static std::size_t slotOf(const xercesc::XMLElementDecl& declaration, long parentTypeIndex) {
    return (declaration.getId() ^ (static_cast<std::size_t>(parentTypeIndex) * 37)) & (kSlots - 1);
  }

  std::array<Entry, kSlots> iEntries{};
  std::uint32_t iGeneration = 1;
};

// The same answers kept from document to document, by the element's local
// name, namespace URI and parent type: a message set's documents repeat
// their elements, and the declarations the per-document cache goes by are
// new in each. A slot holds one answer, as in ElementMatchCache, so that
// documents with ever new names cannot grow it.
class NamedMatchCache {
public:
  const ElementMatch* find(long parentTypeIndex, std::u16string_view name, std::u16string_view uri) const {
    if (iEntries.empty()) return nullptr;
    const Entry& entry = iEntries[slotOf(parentTypeIndex, name)];
    if (!entry.used || entry.parentTypeIndex != parentTypeIndex || !sameText(entry.name, name) ||
        !sameText(entry.uri, uri))
      return nullptr;
    return &entry.match;
  }
  void remember(long parentTypeIndex, std::u16string_view name, std::u16string_view uri, const ElementMatch& match) {
    if (iEntries.empty()) iEntries.resize(kSlots);
    Entry& entry = iEntries[slotOf(parentTypeIndex, name)];
    entry.used = true;
    entry.parentTypeIndex = parentTypeIndex;
    entry.name.assign(name);
    entry.uri.assign(uri);
    entry.match = match;
  }
  void clear() { iEntries.clear(); }

private:
  struct Entry {
    bool used = false;
    long parentTypeIndex = -1;
    std::u16string name;
    std::u16string uri;
    ElementMatch match;
  };
  static constexpr std::size_t kSlots = 4096;
  // By memcmp: the standard comparison of char16_t goes unit by unit, about
  // nine instructions each, over names and namespace URIs of dozens of units.
  static bool sameText(const std::u16string& kept, std::u16string_view text) {
    return kept.size() == text.size() && std::memcmp(kept.data(), text.data(), text.size() * sizeof(char16_t)) == 0;
  }
  static std::size_t slotOf(long parentTypeIndex, std::u16string_view name) {
    // FNV-1a over the name's units, the parent type mixed in.
    std::uint64_t hash = 0xcbf29ce484222325u ^ static_cast<std::uint64_t>(parentTypeIndex);
    for (const char16_t unit : name) hash = (hash ^ unit) * 0x100000001b3u;
    return static_cast<std::size_t>(hash ^ (hash >> 32)) & (kSlots - 1);
  }

  std::vector<Entry> iEntries;  // kSlots once something is remembered
};

#endif
