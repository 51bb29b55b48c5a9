#ifndef ELEMENTKINDS_H
#define ELEMENTKINDS_H

#include <cstdint>

// The host's element kind codes: sent with every start event and kept on each
// tree element. They fall into three families (field, structure, message);
// lists, unparsed bit streams and opaque elements stand apart.
enum ElementKind : std::uint16_t {
  eKindSelfDefiningField = 0,      // self-defining element without usable type
  eKindField = 1,                  // defined element that is neither message nor structure
  eKindSelfDefiningStructure = 2,  // self-defining structure; anything known only through a type
  eKindStructure = 3,              // defined element of class 'S'
  eKindUnparsedBitstream = 4,      // bytes kept as they arrived
  eKindSelfDefiningMessage = 5,    // message content without definition
  eKindMessage = 6,                // defined element of class 'M'
  eKindOpaque = 8,                 // content the host does not look into
  eKindTypedField = 9,             // 0, 2 and 5 of an element with an explicit type
  eKindTypedStructure = 10,
  eKindTypedMessage = 11,
  eKindList = 12,                  // defined element (not a message) of a list type
  eKindNone = 0xFFFF,              // document, root and null-element items
};

constexpr bool isFieldKind(std::uint16_t kind) {
  return kind == eKindSelfDefiningField || kind == eKindField || kind == eKindTypedField;
}

constexpr bool isStructureKind(std::uint16_t kind) {
  return kind == eKindSelfDefiningStructure || kind == eKindStructure || kind == eKindTypedStructure;
}

constexpr bool isMessageKind(std::uint16_t kind) {
  return kind == eKindSelfDefiningMessage || kind == eKindMessage || kind == eKindTypedMessage;
}

// Elements whose own value is a simple value (a list's items included); the
// text inside any other element belongs to no element of its own.
constexpr bool holdsOwnValue(std::uint16_t kind) { return isFieldKind(kind) || kind == eKindList; }

#endif
