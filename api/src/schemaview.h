#ifndef WFXML_SRC_SCHEMAVIEW_H
#define WFXML_SRC_SCHEMAVIEW_H

// What the typed mapping and the builders need to know of a message set's
// types, read once from the host's dictionary tables and their "XML"
// property tables: per type its members as documents spell them (XML name,
// namespace, attribute or element, occurrences over the groups that hold
// them), its value type and its content; per message its element. Built
// once per message set; immutable afterwards, so any number of threads may
// read it.

#include "dictrecords.h"
#include "elementkinds.h"
#include "pwfdata.h"
#include "valuepattern.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class StdDictionaryInfo;
class TreeElement;

namespace wfxml::detail {

constexpr long kUnboundedOccurs = -1;

// One element or attribute a type may hold, with the ids a tree element
// matched to it carries.
struct SchemaMember {
  std::string name;          // UTF-8, as documents spell it
  std::string key;           // its typed-data key: the name, or the member's own name where an ID attribute tells it apart
  std::string attributeKey;  // an attribute's key as typed data spell it ("@" + key)
  std::string namespaceUri;  // empty: none
  bool isAttribute = false;
  long memberRow = -1;       // its row in the member table
  long memberId = -1;
  long tagRow = -1;          // the element behind it
  long tagId = -1;
  long typeRow = -1;         // its declared type; -1 untyped (strings)
  long minOccurs = 1;        // once the choices and optional groups that hold it are taken
  long maxOccurs = 1;        // over the groups that hold it; kUnboundedOccurs = no limit
  bool nillable = false;
  unsigned short kind = eKindField;  // the tree element kind the parser gives it
  int group = -1;            // the innermost repeating group that holds it, -1 none (ids per type)
  // The branches of the choices that hold it: (choice id, branch) per choice,
  // outermost first. An optional group given once at most is a choice of
  // one branch (0) that may be left out.
  struct Branch {
    int choice;
    int branch;
    bool exclusive;  // the choice is made once per occurrence of the type (neither it nor a group around it repeats)
    long least = 1;  // the member's occurrences in one occurrence of the branch
    long most = 1;   // kUnboundedOccurs: no limit
  };
  std::vector<Branch> branches;
  // Whether both may stand in one occurrence of the type: no choice holds
  // them in different branches.
  bool mayStandWith(const SchemaMember& other) const {
    for (const Branch& mine : branches)
      for (const Branch& theirs : other.branches)
        if (mine.choice == theirs.choice && mine.branch != theirs.branch) return false;
    return true;
  }

  // Whether its data are an array: it may repeat, or another member of its
  // key may stand beside it (a group used twice); members of one key in
  // different branches of a choice share a single value.
  bool repeats = false;
  std::size_t firstOfName = 0;  // the positions of the type's first and last members of its key
  std::size_t lastOfName = 0;
  // Another member of its type has its key in another namespace: its key
  // then carries its namespace wherever it stands, so that a document that
  // holds only one of them still names which one it is.
  bool sharesKeyAcrossNamespaces = false;
  // Where the way back writes it: at its own position, or, in a repeating
  // group, in turns with the group's members from the first one's position.
  std::size_t turnStart = 0;

  // An element's default or fixed value, which the parse gives it when it
  // is empty (in the dictionary's spelling).
  std::optional<std::string> valueConstraint;

  bool mayRepeat() const { return maxOccurs == kUnboundedOccurs || maxOccurs > 1; }
};

// How the elements a wildcard admits are matched, loosest last: against the
// global elements (strict); where one matches, values that do not convert
// staying text (lax); not at all, however deep (skip).
enum class WildcardProcessing { Strict, Lax, Skip };

// How a lookup by name reads its namespace: an empty one matches any when
// only one namespace has the name (anyWhenEmpty), or means none (exact).
enum class NamespaceMatch { anyWhenEmpty, exact };

// The attributes a type admits that none of its members declares.
struct AttributeWildcard {
  enum class Namespaces { Any, Not, List };
  Namespaces constraint = Namespaces::Any;
  std::vector<std::string> namespaces;  // Not: the one excluded; List: those admitted ("" none)
  WildcardProcessing processing = WildcardProcessing::Strict;

  bool admits(std::string_view namespaceUri) const;
};

// How the message set spells values in documents, which text given for a
// value is read as the parser reads a document's.
struct ValueSpellings {
  bool preserveUtcFormat = false;  // "Preserve UTC Format": a zero zone offset keeps "+00:00", not "Z"
  std::string trueText;            // its own spellings of booleans, tried first; empty: none
  std::string falseText;

  bool isTrueText(std::string_view text) const { return !trueText.empty() && text == trueText; }
  bool isFalseText(std::string_view text) const { return !falseText.empty() && text == falseText; }
};

struct SchemaType {
  std::string name;          // UTF-8; empty for an anonymous type
  std::string namespaceUri;
  ELogicalType logicalType = eLogicalString;  // of its value (simple types, simple content)
  XsdBuiltin builtin = XsdBuiltin::None;      // the built-in type it derives from
  bool isComplex = false;    // has members or attributes
  bool isList = false;       // a list type, or simple content of one: the value is a sequence of items of listItemType
  bool isUnion = false;
  bool isQualifiedName = false;  // QName or NOTATION, or derived from one: values carry a prefix
  bool isMixed = false;      // text runs between its elements
  bool hasWildcard = false;  // admits elements it does not declare
  bool hasSimpleContent = false;  // a complex type with a value of its own
  bool isIntegerFamily = false;   // a decimal type whose values are integers (xs:integer and kin)
  // What its values do with whitespace before they are taken
  // (DictCodes::eWhiteSpace*), as the parser applies it to a document's text.
  std::uint8_t whiteSpace = DictCodes::eWhiteSpacePreserve;
  // The values its enumeration lists, as the schema spells them (hexBinary
  // types only: the compiler keeps no others).
  std::vector<std::string> enumeration;
  // Its own pattern facet (booleans, numbers, date-times and hexBinary,
  // unions with such members, and lists of either: the compiler keeps no
  // others), which its bases' patterns narrow further; null none.
  std::shared_ptr<const ValuePattern> pattern;
  // A list's pattern that is a part for each item, the parts apart by
  // blanks ("\d{3} \d\.\d{2}"): the parts; empty otherwise.
  std::vector<std::shared_ptr<const ValuePattern>> itemPatterns;
  // A list's pattern that is one part repeated for each item, after blanks
  // ("\d{3}( \d{3})*"): that part; null otherwise.
  std::shared_ptr<const ValuePattern> everyItemPattern;
  // A union's member types, in the order the parser tries them (a nested
  // union's in its place; a restriction of a union has its base's).
  struct UnionMember {
    ELogicalType logicalType = eLogicalString;
    XsdBuiltin builtin = XsdBuiltin::None;  // whose lexical space decides whether it takes a text
    std::vector<std::string> enumeration;   // a string member's, which decides too
    std::uint8_t whiteSpace = DictCodes::eWhiteSpacePreserve;
    bool isList = false;
    bool isQualifiedName = false;
    long listItemType = -1;  // a list member's item type
    long typeRow = -1;       // the member type's row, as the parser reports it
  };
  bool hasListMember() const {
    return std::any_of(unionMembers.begin(), unionMembers.end(), [](const UnionMember& m) { return m.isList; });
  }
  std::vector<UnionMember> unionMembers;
  // Whether a nil element of the type has xsi:nil="true" as an attribute, as
  // the parse keeps it, rather than a null value: where its value is
  // elements, a list or a union's (the writer writes a null there as an
  // empty element).
  bool nilIsAnAttribute() const { return isList || isUnion || (isComplex && !hasSimpleContent); }
  // Whether its values may be QNames: it is a QName type, or a union with a QName member.
  bool takesQualifiedNames() const {
    return isQualifiedName ||
           std::any_of(unionMembers.begin(), unionMembers.end(), [](const UnionMember& m) { return m.isQualifiedName; });
  }
  long listItemType = -1;
  long baseType = -1;
  std::vector<SchemaMember> members;  // attributes and elements, in content order
  std::size_t wildcardPosition = 0;   // with hasWildcard: the member its content comes before (size: after all)
  WildcardProcessing wildcardProcessing = WildcardProcessing::Strict;  // the loosest of its wildcards
  std::optional<AttributeWildcard> attributeWildcard;  // none: undeclared attributes are refused
  std::vector<AttributeWildcard> elementWildcards;     // the namespaces each of its element wildcards admits
  // Whether one of its element wildcards admits an element of that namespace.
  bool admitsElement(std::string_view namespaceUri) const;

  // For the content check (contentcheck.h), the members of one name
  // together, whose occurrences a tree cannot tell apart: those that may
  // be required, in member order, ...
  struct NameBounds {
    std::size_t first = 0;  // the position of its first member
    long least = 0;         // occurrences required of its members outside choices
    bool inChoice = false;  // a member is in a choice made once: what it requires depends on the branch given
  };
  std::vector<NameBounds> requiredNames;
  // ... and, at the position of each name's first member, how often they
  // may occur in all (kUnboundedOccurs: no limit).
  std::vector<long> mostOfName;
  // The members alone with their name in a choice made once: those that
  // tell which branch is given.
  std::vector<std::size_t> branchMembers;

  // The choices of its content (and its optional groups), by id.
  struct Choice {
    std::vector<SchemaMember::Branch> around;  // the choices that hold it, outermost first
    long least = 1;              // times it is made once those around it are taken
    long most = 1;               // times it may be made in all; kUnboundedOccurs: no limit
    bool optionalGroup = false;
    bool needsContent = false;   // required, and none of its branches may be empty
    bool namesOwn = true;        // no member shares its name with another member
    std::vector<int> branches;   // its branch numbers
    struct Slot {
      std::size_t member;        // a member's position
      std::size_t marker;        // the member's Branch of this choice
    };
    std::vector<Slot> slots;     // its members, in member order
  };
  std::vector<Choice> choices;
  // The choices whose making the content check counts: those that must be
  // made (needsContent), and those that repeat a bounded number of times.
  std::vector<std::size_t> countedChoices;

  // The member with this row, or null.
  const SchemaMember* memberAt(long memberRow) const;
  // The element (or attribute) member of that name (XML name, or typed-data
  // key with byKey).
  const SchemaMember* findMember(std::string_view name, std::string_view namespaceUri, bool attribute,
                                 bool byKey = false,
                                 NamespaceMatch match = NamespaceMatch::anyWhenEmpty) const;

  std::unordered_map<long, std::size_t> byRow;  // member row -> position in members
};

// A global element: a message, an element a wildcard or substitution may admit.
struct SchemaElement {
  std::string name;
  std::string namespaceUri;
  long tagRow = -1;
  long tagId = -1;
  long typeRow = -1;
  bool nillable = false;
  bool isMessage = false;
  bool isAttribute = false;
  long headRow = -1;  // the head of its substitution group, -1 none
  unsigned short kind = eKindField;
  std::optional<std::string> fixedValue;  // its fixed value constraint, as the schema spells it
  std::optional<std::string> valueConstraint;  // its default or fixed value, as SchemaMember's
  // As a document's root, its key carries its namespace, so that the way back
  // takes it and not another: a message whose name another message has in
  // another namespace, or another global element whose name any global
  // element of another namespace has (the way back looks among the messages
  // first).
  bool rootNameShared = false;
};

class SchemaView {
public:
  // Reads a post-processed dictionary; it is only read during the call.
  explicit SchemaView(const StdDictionaryInfo& dictionary);
  SchemaView(const SchemaView&) = delete;
  SchemaView& operator=(const SchemaView&) = delete;

  // Null for a row out of range (and for -1).
  const SchemaType* type(long typeRow) const;
  // A walk up a type's bases takes at most this many steps: schemas derive
  // thousands deep, and a dictionary from a file may hold a cycle of bases.
  std::size_t typeCount() const { return types_.size(); }
  const SchemaElement* element(long tagRow) const;
  const std::vector<SchemaElement>& elements() const { return elements_; }
  // The messages' names for an error ("Payment, Receipt"), the first ten
  // and "..." after them; "none" where the set has none. Those of the local
  // name namespaced, if given, carry their namespace ("{urn:p}Payment"), so
  // that a root of the same name in another namespace shows what differs.
  std::string messageNames(std::string_view namespaced = {}) const;

  // The message (or any global element) of that name.
  const SchemaElement* findMessage(std::string_view name, std::string_view namespaceUri) const;
  const SchemaElement* findElement(std::string_view name, std::string_view namespaceUri,
                                   NamespaceMatch match = NamespaceMatch::anyWhenEmpty) const;
  // The global attribute declaration of that name and namespace, or null.
  const SchemaElement* findAttribute(std::string_view name, std::string_view namespaceUri) const;

  // The member of type that a global element stands in for as a member of
  // its substitution group (directly or through other heads); null when none.
  const SchemaMember* substitutedMember(const SchemaType& type, long tagRow) const;

  // xsi:type values: the type's JSON spelling (its local name when no other
  // type shares it, else "prefix:name") and the type a spelling names
  // (local name, "prefix:name" with the namespace's preferred prefix, or the
  // tree's "uri:name"); -1 when none.
  std::string typeReference(long typeRow) const;
  long findTypeReference(std::string_view reference) const;
  // The tree's spelling of an xsi:type value ("uri:name", or "name").
  std::string treeTypeText(long typeRow) const;

  const ValueSpellings& spellings() const { return spellings_; }
  // Whether its documents are written as XML 1.1 (its "xmlVersion"), which
  // carries the control characters XML 1.0 cannot, as character references.
  bool writesXml11() const { return writesXml11_; }
  // Whether an element or attribute has a fixed value, or a type an
  // enumeration or a pattern (schemaspellings.h).
  bool spellsValues() const { return spellsValues_; }

  // Whether a type's values are QNames (or NOTATIONs), whose prefixes the
  // document binds.
  bool hasQualifiedNames() const { return hasQualifiedNames_; }

  // The preferred prefix of a namespace ("" when it has none).
  std::string prefixOf(std::string_view namespaceUri) const;
  // The namespace of a preferred prefix ("xml" and "xsi" too); "" when none.
  std::string namespaceOfPrefix(std::string_view prefix) const;

  // The effective type of an element matched to a member or global element,
  // with its xsi:type row (-1 none).
  const SchemaType* typeOf(long declaredType, long xsiType) const { return type(xsiType >= 0 ? xsiType : declaredType); }
  // What a tree element was matched to: its member (null for a global
  // element or a self-defining one), and its effective type (null when
  // self-defining or untyped).
  const SchemaMember* memberOf(const TreeElement& element) const;
  // The same by the element's member id and row.
  const SchemaMember* memberOf(long memberId, long memberIndex) const;
  const SchemaType* typeOf(const TreeElement& element) const;

private:
  std::vector<SchemaType> types_;
  std::vector<SchemaElement> elements_;
  ValueSpellings spellings_;
  bool writesXml11_ = false;
  bool spellsValues_ = false;
  bool hasQualifiedNames_ = false;
  std::unordered_map<std::string, std::string> prefixes_;  // namespace URI -> preferred prefix
  std::unordered_map<std::string, long> typesByLocalName_;  // -2: several share it
  std::unordered_map<long, const SchemaMember*> membersByRow_;
  std::unordered_map<long, const SchemaMember*> membersById_;
};

// A message set's view, built on first use by whichever thread asks first.
class SchemaViewCache {
public:
  // Null for a message set without a dictionary.
  const SchemaView* get(const StdDictionaryInfo* dictionary) const;

private:
  mutable std::once_flag once_;
  mutable std::unique_ptr<const SchemaView> view_;
};

}  // namespace wfxml::detail

#endif
