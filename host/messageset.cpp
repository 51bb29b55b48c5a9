#include "messageset.h"

#include "zelexception.h"

#include <algorithm>

namespace msgset {
namespace {

struct BuiltinType {
  std::string_view name;
  ELogicalType logicalType;
};

// The predefined types: the built-in simple types of XML Schema, by the
// logical types their values take.
constexpr BuiltinType kBuiltinTypes[] = {
    {"string", eLogicalString},
    {"normalizedString", eLogicalString},
    {"token", eLogicalString},
    {"language", eLogicalString},
    {"Name", eLogicalString},
    {"NCName", eLogicalString},
    {"NMTOKEN", eLogicalString},
    {"ID", eLogicalString},
    {"IDREF", eLogicalString},
    {"ENTITY", eLogicalString},
    {"anyURI", eLogicalString},
    {"QName", eLogicalString},
    {"NOTATION", eLogicalString},
    {"anySimpleType", eLogicalString},
    {"boolean", eLogicalBoolean},
    {"decimal", eLogicalDecimal},
    // Integers without 64-bit bounds, and unsignedLong, which reaches past
    // the signed 64 bits of an Integer: a Decimal keeps any number of digits
    // exactly as written (an X.509 serial number has twenty and more).
    {"integer", eLogicalDecimal},
    {"nonPositiveInteger", eLogicalDecimal},
    {"negativeInteger", eLogicalDecimal},
    {"nonNegativeInteger", eLogicalDecimal},
    {"positiveInteger", eLogicalDecimal},
    {"unsignedLong", eLogicalDecimal},
    {"long", eLogicalInteger},
    {"int", eLogicalInteger},
    {"short", eLogicalInteger},
    {"byte", eLogicalInteger},
    {"unsignedInt", eLogicalInteger},
    {"unsignedShort", eLogicalInteger},
    {"unsignedByte", eLogicalInteger},
    {"double", eLogicalFloat},
    {"float", eLogicalFloat},
    {"duration", eLogicalInterval},
    {"dateTime", eLogicalDateTime},
    {"date", eLogicalDateTime},
    {"time", eLogicalDateTime},
    {"gYearMonth", eLogicalDateTime},
    {"gYear", eLogicalDateTime},
    {"gMonthDay", eLogicalDateTime},
    {"gDay", eLogicalDateTime},
    {"gMonth", eLogicalDateTime},
    {"hexBinary", eLogicalBinary},
    {"base64Binary", eLogicalBinary},
};

bool isValidType(const MessageSet& set, int type) {
  return type >= 0 && static_cast<std::size_t>(type) < set.types.size();
}

// The types a type leads to without an element in between.
std::vector<int> typesReachedFrom(const MessageSet& set, const TypeDef& type) {
  std::vector<int> reached;
  if (type.baseType != kNone) reached.push_back(type.baseType);
  if (type.listItemType != kNone) reached.push_back(type.listItemType);
  reached.insert(reached.end(), type.unionMemberTypes.begin(), type.unionMemberTypes.end());
  for (const MemberDef& member : type.members) {
    const bool nameless = member.form == MemberDef::Form::Simple || member.form == MemberDef::Form::Group;
    if (nameless && member.type != kNone) reached.push_back(member.type);
  }
  reached.erase(std::remove_if(reached.begin(), reached.end(), [&](int t) { return !isValidType(set, t); }),
                reached.end());
  return reached;
}

}  // namespace

const std::vector<std::string_view>& builtinTypeNames() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> all;
    for (const BuiltinType& builtin : kBuiltinTypes) all.push_back(builtin.name);
    return all;
  }();
  return names;
}

int useBuiltinType(MessageSet& set, std::string_view name) {
  const auto* builtin = std::find_if(std::begin(kBuiltinTypes), std::end(kBuiltinTypes),
                                     [&](const BuiltinType& b) { return b.name == name; });
  if (builtin == std::end(kBuiltinTypes)) return kNone;
  for (std::size_t i = 0; i < set.types.size(); ++i) {
    if (set.types[i].builtin && set.types[i].name == name) return static_cast<int>(i);
  }
  TypeDef type;
  type.name = std::string(name);
  type.builtin = true;
  type.variety = TypeVariety::Simple;
  type.logicalType = builtin->logicalType;
  set.types.push_back(std::move(type));
  return static_cast<int>(set.types.size() - 1);
}

bool namespacesEnabled(const MessageSet& set) {
  return set.namespacesEnabled.value_or(!set.namespaces.empty());
}

ELogicalType effectiveLogicalType(const MessageSet& set, int type) {
  // Bounded by the number of types, so that a cycle cannot hang us.
  for (std::size_t steps = 0; isValidType(set, type) && steps <= set.types.size(); ++steps) {
    const TypeDef& def = set.types[type];
    if (def.logicalType) return *def.logicalType;
    type = def.baseType;
  }
  return eLogicalNone;
}

WhiteSpace effectiveWhiteSpace(const MessageSet& set, int type) {
  const ELogicalType logical = effectiveLogicalType(set, type);
  if (logical == eLogicalNone) return WhiteSpace::Preserve;
  // Only strings choose: every other built-in type collapses.
  if (logical != eLogicalString) return WhiteSpace::Collapse;
  for (std::size_t steps = 0; isValidType(set, type) && steps <= set.types.size(); ++steps) {
    const TypeDef& def = set.types[type];
    if (def.whiteSpace != WhiteSpace::Unset) return def.whiteSpace;
    if (def.variety == TypeVariety::List) return WhiteSpace::Collapse;
    if (def.builtin) {
      if (def.name == "string" || def.name == "anySimpleType") return WhiteSpace::Preserve;
      return def.name == "normalizedString" ? WhiteSpace::Replace : WhiteSpace::Collapse;
    }
    type = def.baseType;
  }
  return WhiteSpace::Preserve;
}

ElementClass effectiveClass(const MessageSet& set, const ElementDef& element) {
  if (element.elementClass) return *element.elementClass;
  const bool complex = isValidType(set, element.type) && set.types[element.type].variety == TypeVariety::Complex;
  return complex ? ElementClass::Structure : ElementClass::Field;
}

Composition effectiveComposition(const TypeDef& type) {
  if (type.composition) return *type.composition;
  return type.variety == TypeVariety::Complex ? Composition::Sequence : Composition::SimpleContent;
}

const ElementDef* referencedElement(const MessageSet& set, const MemberDef& member) {
  if (member.form != MemberDef::Form::ElementRef) return nullptr;
  if (member.element < 0 || static_cast<std::size_t>(member.element) >= set.elements.size()) return nullptr;
  return &set.elements[member.element];
}

int memberType(const MessageSet& set, const MemberDef& member) {
  const ElementDef* element = referencedElement(set, member);
  return element ? element->type : member.type;
}

int DefaultEncodings::unionWithMembers(int type) const {
  for (std::size_t steps = 0; isValidType(set_, type) && steps <= set_.types.size(); ++steps) {
    const TypeDef& def = set_.types[type];
    if (def.variety != TypeVariety::Union) return kNone;
    if (!def.unionMemberTypes.empty()) return type;
    type = def.baseType;  // a union restricted
  }
  return kNone;
}

// Depth first without the stack, as unions may nest as deep as a schema's
// types do. A union met again while it is searched is a cycle (a dictionary
// from a file), which yields nothing.
int DefaultEncodings::firstBinaryMember(int type) {
  constexpr int kSearched = kNone - 1;
  struct Search {
    int union_;
    std::size_t next = 0;  // of its members
  };
  std::vector<Search> path;
  const auto found = [&](int member) {
    // Each union on the path searched its earlier members in vain.
    for (const Search& search : path) firstBinaryMembers_[search.union_] = member;
    return member;
  };
  const auto enter = [&](int union_) {
    firstBinaryMembers_[union_] = kSearched;
    path.push_back({union_});
  };
  const int start = unionWithMembers(type);
  if (start == kNone) return kNone;
  if (const auto known = firstBinaryMembers_.find(start); known != firstBinaryMembers_.end()) return known->second;
  enter(start);
  while (!path.empty()) {
    Search& search = path.back();
    const std::vector<int>& members = set_.types[search.union_].unionMemberTypes;
    if (search.next == members.size()) {
      firstBinaryMembers_[search.union_] = kNone;
      path.pop_back();
      continue;
    }
    const int member = members[search.next++];
    if (effectiveLogicalType(set_, member) == eLogicalBinary) return found(member);
    const int nested = unionWithMembers(member);
    if (nested == kNone) continue;
    const auto known = firstBinaryMembers_.find(nested);
    if (known == firstBinaryMembers_.end()) {
      enter(nested);
    } else if (known->second != kNone && known->second != kSearched) {
      return found(known->second);
    }
  }
  return kNone;
}

DataEncoding DefaultEncodings::of(int type) {
  // The items of a list are encoded as their type says.
  for (std::size_t steps = 0; isValidType(set_, type) && steps <= set_.types.size(); ++steps) {
    const TypeDef& def = set_.types[type];
    if (isValidType(set_, def.listItemType)) {
      type = def.listItemType;
      break;
    }
    if (def.variety != TypeVariety::List) break;
    type = def.baseType;  // a list restricted
  }
  // A union's binary values are written as its first Binary member reads them.
  const int binaryMember = firstBinaryMember(type);
  if (binaryMember != kNone) type = binaryMember;
  if (effectiveLogicalType(set_, type) != eLogicalBinary) return DataEncoding::Unset;
  for (std::size_t steps = 0; isValidType(set_, type) && steps <= set_.types.size(); ++steps) {
    const TypeDef& def = set_.types[type];
    if (def.builtin && def.name == "base64Binary") return DataEncoding::Base64;
    type = def.baseType;
  }
  return DataEncoding::Hex;
}

void throwSourceError(const char* function, const std::string& sourceName, const std::string& place,
                      const std::string& what) {
  ZelFatalException error(__FILE__, __LINE__, function, zelDefaultLogSourceName(),
                          ZelMessages::CP_DICTIONARY_SOURCE_ERROR);
  error.addInsert(sourceName).addInsert(place).addInsert(what);
  throw error;
}

std::vector<int> findTypeCycle(const MessageSet& set) {
  // Depth-first search; a type met again while still on the path closes a cycle.
  enum class Mark { New, OnPath, Done };
  std::vector<Mark> marks(set.types.size(), Mark::New);
  std::vector<int> path;
  std::vector<int> cycle;

  struct Frame {
    int type;
    std::vector<int> next;
    std::size_t position = 0;
  };
  for (std::size_t start = 0; start < set.types.size() && cycle.empty(); ++start) {
    if (marks[start] != Mark::New) continue;
    std::vector<Frame> stack;
    stack.push_back({static_cast<int>(start), typesReachedFrom(set, set.types[start])});
    marks[start] = Mark::OnPath;
    path.assign(1, static_cast<int>(start));
    while (!stack.empty() && cycle.empty()) {
      Frame& frame = stack.back();
      if (frame.position == frame.next.size()) {
        marks[frame.type] = Mark::Done;
        path.pop_back();
        stack.pop_back();
        continue;
      }
      const int next = frame.next[frame.position++];
      if (marks[next] == Mark::OnPath) {
        const auto from = std::find(path.begin(), path.end(), next);
        cycle.assign(from, path.end());
        cycle.push_back(next);
      } else if (marks[next] == Mark::New) {
        marks[next] = Mark::OnPath;
        path.push_back(next);
        stack.push_back({next, typesReachedFrom(set, set.types[next])});
      }
    }
  }
  return cycle;
}

}  // namespace msgset
