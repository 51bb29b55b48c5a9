#ifndef SCHEMAREFERENCECHAINS_H
#define SCHEMAREFERENCECHAINS_H

#include "schemadocument.h"
#include "zelapi.h"

#include <optional>
#include <string>
#include <vector>

// Xerces-C's schema loader reads a component, and on its stack each one it
// names that it has not read yet (the type of an element, a base, a group,
// an attribute group, a referenced element, a substitution group's head),
// within the elements that nest in each; so a long enough chain of them
// overflows a thread's stack before the loader reports anything. Some cost
// it more than their length: each extension adds its base's content again
// (time grows with the chain's cube), and a content model's particles, its
// model groups expanded as often as they are referenced (a group holding
// the next twice doubles), cost the grammar their number squared.
//
// The chains are measured here first, from the documents' text alone and
// without recursion: every document of the set at once, a component counted
// wherever it is named from, components that name each other in a circle
// counted as one link of all their lengths (the loader may follow the circle
// once around).
// Elements of a schema document nest at most so deep. Xerces-C's reader
// takes time growing with the depth for each element whose prefix it
// resolves (30,000 deep took a second), so readers of schema documents stop
// past it.
constexpr long kSchemaNestingBound = 1000;

enum class ReferenceChainKind {
  Nesting,        // elements nested, within a component and through each it names
  Documents,      // schema documents, each including, importing or redefining the next
  Extension,      // base types extended, one from the next
  AttributeGroup, // attribute groups referenced, one within the next
  Substitution,   // substitution group heads, each of the next
  ModelGroup,     // model groups referenced, one within the next
  Expansion,      // particles in a content model, its model groups and the bases it extends expanded
  ExpansionTotal, // the same summed over every component, bounded by the particles written
};

struct ReferenceChain {
  ReferenceChainKind kind;
  long length = 0;        // of the longest
  long bound = 0;         // the longest taken
  std::string location;   // of the document holding the component where the longest starts
  std::string place;      // "line L, column C" of that component
  std::string component;  // "complexType 'Name'"
};

// The longest chain of each kind.
ZEL_API std::vector<ReferenceChain> measureReferenceChains(const SchemaDocuments& documents);

// The first kind whose longest chain is longer than its bound, its place being
// the first component (in the documents' order) from which a chain passes it,
// and what is refused.
struct ReferenceChainFault {
  std::string location;
  std::string place;
  std::string what;
};
ZEL_API std::optional<ReferenceChainFault> findOverlongReferenceChain(const SchemaDocuments& documents);

#endif
