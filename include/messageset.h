#ifndef MESSAGESET_H
#define MESSAGESET_H

#include "pwfdata.h"
#include "schemadocument.h"
#include "zelapi.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A message set as its author describes it, before it is compiled into the
// host's dictionary tables: namespaces, types, global elements and the XML
// properties of each. Sources (the JSON format, an XML Schema importer) fill
// it; the compiler (messagesetcompiler.h) assigns every id and index.
//
// References between parts are positions in the vectors of MessageSet
// (kNone = no reference). A source resolves its own names into positions and
// reports bad names itself, since only it knows where they were written.
// Text is UTF-8. Optional fields left empty take the defaults that the
// compiler documents per field; plain fields carry their default here.
namespace msgset {

constexpr int kNone = -1;
constexpr long kUnbounded = -1;

// The XML Schema namespace: home of the predefined types.
constexpr std::string_view kXmlSchemaNamespace = "http://www.w3.org/2001/XMLSchema";

// How an item is rendered in XML. The numbers are those stored in the
// dictionary's "Render" property.
enum class Render : long {
  Undefined = -1,             // nameless: text of the parent, no tag
  Element = 0,
  Attribute = 1,
  ElementWithId = 2,          // element identified by an ID attribute
  ElementWithValue = 3,       // element whose value sits in a value attribute
  ElementWithIdAndValue = 4,  // both
};

// How a Binary value is spelled ("Encoding").
enum class DataEncoding : long { Unset = -1, CData = 0, Hex = 1, Base64 = 2 };

// How a null value of a nillable element is spelled ("Encoding Null Num",
// "Encoding Null Non-num").
enum class NullEncoding : long {
  TrueAttribute = 0,       // an attribute named by the null text, value true
  EmptyContent = 1,        // empty content
  ValueText = 2,           // content equal to the null text
  NullElement = 3,         // an empty child element named by the null text
  OmitValueAttribute = 4,  // value attribute left out (writer only)
  XsiNil = 5,              // xsi:nil="true" (namespaces only)
};

// When the writer adds xsi:type ("Output xsi:type policy").
enum class XsiTypePolicy : long {
  Never = 0,
  NamedTypes = 1,       // only for types with a name of their own (not anonymous)
  Always = 2,
  AlwaysWithSoapEncodingStyle = 3,
  NeverAndDrop = 4,     // and xsi:type attributes found in the tree are dropped
};

// Where a message element declares namespaces ("Output Namespace
// Declaration Policy").
enum class NamespaceDeclPolicy : long { Unset = -1, AtFirstUse = 0, AllOnMessage = 1 };

// The class of a global element definition.
enum class ElementClass : char { Message = 'M', Structure = 'S', Field = 'F' };

// What a type is.
enum class TypeVariety {
  Simple,   // a value of one logical type, no members
  Complex,  // members (elements, attributes, text runs), maybe a simple value
  List,     // a blank-separated list of items of one type
  Union,    // a value of the first member type that accepts the text
};

// How a type was derived from its base type.
enum class Derivation { None, Restriction, Extension };

// How the elements of open content are matched (XML Schema's processContents).
enum class ProcessContents {
  Strict,  // against the global declarations; a value that does not convert is an error
  Lax,     // where a declaration matches; a value that does not convert stays text
  Skip,    // never: every element is self-defining
};

// The attributes a complex type admits that no member declares (XML
// Schema's xs:anyAttribute), by namespace; Skip leaves them untyped, the
// others type them by a global attribute declaration where one matches.
struct AttributeWildcard {
  enum class Namespaces {
    Any,   // any namespace, and none
    Not,   // any namespace but namespaces[0]; never none
    List,  // those in namespaces ("" stands for none)
  };
  Namespaces constraint = Namespaces::Any;
  std::vector<std::string> namespaces;
  ProcessContents processContents = ProcessContents::Strict;
};

// What a simple type's values do with whitespace (XML Schema's whiteSpace facet).
enum class WhiteSpace {
  Unset,     // the base type's; Preserve for strings, Collapse for other values
  Preserve,  // kept as read
  Replace,   // tab, line feed and carriage return become blanks
  Collapse,  // replaced, runs of blanks made one, none at either end
};

// How the members of a type are arranged.
enum class Composition {
  Empty,          // no content
  Sequence,       // members in order
  Choice,         // one of the members
  All,            // members in any order
  SimpleContent,  // a simple value, maybe with attributes
  Mixed,          // text runs fill the nameless members in order, elements in any order
  OrderedMixed,   // text runs and elements, both in order
  Open,           // any content, including embedded messages
};

// A default or fixed value: what an empty element or an absent attribute
// takes (as text of its type).
struct ValueConstraint {
  std::string text;
  bool fixed = false;
};

struct NamespaceDef {
  std::string uri;
  std::string preferredPrefix;  // empty = the writer makes one up
};

// XML properties shared by global elements and type members.
struct ItemXmlProperties {
  std::optional<std::string> xmlName;  // default: the element's name
  std::optional<Render> render;        // default: Element when named, else Undefined
  std::optional<std::string> idAttributeName;   // default "id" when the render uses one
  int idAttributeNamespace = kNone;             // a namespace position
  std::optional<std::string> idAttributeValue;  // default: the XML name, when the render uses one
  std::string format;                           // date-time format; empty = the message set's
  std::optional<DataEncoding> encoding;         // default: from the type (hex for Binary)
};

// The XML properties of a global element; those after the shared ones apply
// to message elements only. A message parsed by its element definition is
// written with these in place of the message set's, so the unset ones take
// the message set's values for messages (and are empty for other elements).
struct ElementXmlProperties : ItemXmlProperties {
  std::optional<std::string> doctypeSystemId;
  std::optional<std::string> doctypePublicId;
  std::optional<std::string> doctypeText;
  std::optional<std::string> rootTagName;
  std::string schemaLocation;
  std::string noNamespaceSchemaLocation;
  NamespaceDeclPolicy namespaceDeclPolicy = NamespaceDeclPolicy::Unset;
  std::optional<XsiTypePolicy> xsiTypePolicy;
};

struct MemberXmlProperties : ItemXmlProperties {
  std::optional<std::string> valueAttributeName;  // default "val" when the render uses one
  int valueAttributeNamespace = kNone;
};

// A global element definition, or the element behind a local member.
struct ElementDef {
  std::string name;                 // row name; unique among global elements
  int namespaceIndex = kNone;
  int type = kNone;                 // a type position; kNone = untyped (String)
  std::optional<ElementClass> elementClass;  // default: Structure for complex types, else Field
  bool nillable = false;            // null encodings apply only to nillable elements
  bool isAttribute = false;         // an attribute declaration, not an element declaration
  bool isAbstract = false;
  int substitutionGroup = kNone;    // the element whose substitution group it joins
  std::optional<ValueConstraint> valueConstraint;
  ElementXmlProperties xml;
};

// One member of a type, in content order.
struct MemberDef {
  enum class Form {
    ElementRef,    // refers to a global element (element = its position)
    LocalElement,  // declares its own element (local), known only inside this type
    Simple,        // nameless: receives text runs, or is a union member type
    Group,         // nameless: the members of its type count as this type's own
  };
  Form form = Form::LocalElement;
  int element = kNone;  // ElementRef only
  // LocalElement: its name, namespace (qualified when set), nillable flag.
  std::string name;
  int namespaceIndex = kNone;
  bool nillable = false;
  int type = kNone;     // LocalElement, Simple, Group: a type position; ElementRef: the element's
  long minOccurs = 1;
  long maxOccurs = 1;   // kUnbounded: no limit
  // LocalElement, and ElementRef (an attribute use's own, else the element's).
  std::optional<ValueConstraint> valueConstraint;
  MemberXmlProperties xml;
};

struct TypeDef {
  std::string name;        // row name; empty for an anonymous type
  int namespaceIndex = kNone;
  bool builtin = false;    // one of the predefined types (builtinTypeNames)
  bool isAbstract = false;
  TypeVariety variety = TypeVariety::Simple;
  std::optional<ELogicalType> logicalType;  // default: the base type's, else None
  int baseType = kNone;
  Derivation derivation = Derivation::None;
  int listItemType = kNone;             // List only
  std::vector<int> unionMemberTypes;    // Union only, in the order they are tried
  std::optional<Composition> composition;  // default: Sequence for Complex, else SimpleContent
  ProcessContents processContents = ProcessContents::Strict;  // Open composition only
  // Open composition only: the namespaces its elements may have (an element
  // wildcard's constraint); none: any.
  std::optional<AttributeWildcard> elementWildcard;
  // Complex only: the attributes it admits beyond those its members declare
  // (an attribute wildcard); none when empty.
  std::optional<AttributeWildcard> attributeWildcard;
  WhiteSpace whiteSpace = WhiteSpace::Unset;
  std::vector<MemberDef> members;
  // The values its enumeration facet lists, as the schema spells them; kept
  // for hexBinary, whose enumerations Xerces-C compares as text, and for
  // string types a union tries as members (or their list items), whose
  // member they decide.
  std::vector<std::string> enumeration;
  // The pattern its own facets give (several joined by '|', as Xerces-C
  // joins them), empty none; kept for booleans and numbers, which the
  // writer spells its own way where the pattern may take only other forms.
  std::string pattern;
};

// The XML properties of the whole message set (one per dictionary).
struct MessageSetXmlProperties {
  bool suppressXmlDeclaration = false;
  std::string xmlVersion;           // empty = the version the document was read in, else 1.0
  bool suppressXmlEncoding = false;
  std::string standalone;           // empty = not written
  bool suppressDoctype = true;
  std::string doctypeSystemId;
  std::string doctypePublicId;
  std::string doctypeText;
  bool suppressTimestampComment = true;
  std::string rootTagName;          // empty = no wrapper element
  bool enableVersioningSupport = false;
  std::string booleanTrueValue = "true";
  std::string booleanFalseValue = "false";
  NullEncoding nullNumEncoding = NullEncoding::EmptyContent;
  std::string nullNumValue;
  NullEncoding nullNonNumEncoding = NullEncoding::EmptyContent;
  std::string nullNonNumValue;
  std::string defaultDateTimeFormat;
  std::string defaultTimeZone;
  long centuryWindow = 53;
  std::string firstDayOfWeek;
  long firstWeekOfYear = 0;
  bool allowLenientDatetimes = true;
  XsiTypePolicy xsiTypePolicy = XsiTypePolicy::Never;
  bool preserveUtcFormat = false;
};

// The highest dictionary format version the plug-in knows. From 600 on,
// attribute declarations are told apart from element declarations; from 4 on,
// namespaces can be enabled.
constexpr long kLatestFormatVersion = 1000;

struct MessageSet {
  std::string name;
  std::string identificationName;         // default (empty): the message set's name
  long formatVersion = kLatestFormatVersion;
  // The dictionary's mode word: 1 is single-project mode (the last
  // dependency is the project's own namespace, sequence content counts as
  // mixed content); 0 otherwise.
  long dictionaryMode = 0;
  std::vector<std::string> dependencies;  // the dictionary's dependency list, in order
  std::optional<bool> namespacesEnabled;  // default: true when namespaces are declared
  MessageSetXmlProperties xml;
  std::vector<NamespaceDef> namespaces;
  std::vector<TypeDef> types;
  std::vector<ElementDef> elements;  // global elements (messages among them)
  SchemaDocuments schemaDocuments;   // the XML Schema documents of a set imported from them
};

// The names of the predefined types, which a source may use without
// declaring them: the built-in simple types of XML Schema ("string",
// "token", "int", "decimal", "gYear", "base64Binary" ...; not the list types
// NMTOKENS, IDREFS and ENTITIES), each with the logical type of its values.
// When namespaces are enabled the compiler places them in the XML Schema
// namespace, so that xsi:type values such as xs:decimal find them.
ZEL_API const std::vector<std::string_view>& builtinTypeNames();

// The position of the predefined type of that name in set.types, appending it
// on first use; kNone when the name is not predefined.
ZEL_API int useBuiltinType(MessageSet& set, std::string_view name);

// Defaults that depend on more than one field, as the compiler applies them.
ZEL_API bool namespacesEnabled(const MessageSet& set);
ZEL_API ELogicalType effectiveLogicalType(const MessageSet& set, int type);  // None for kNone
ZEL_API WhiteSpace effectiveWhiteSpace(const MessageSet& set, int type);     // never Unset
ZEL_API ElementClass effectiveClass(const MessageSet& set, const ElementDef& element);
ZEL_API Composition effectiveComposition(const TypeDef& type);
// The member's element definition: the referenced global element, or null
// for a local element or a nameless member.
ZEL_API const ElementDef* referencedElement(const MessageSet& set, const MemberDef& member);
ZEL_API int memberType(const MessageSet& set, const MemberDef& member);
// The encoding a Binary item gets when it names none: Base64 for types from
// base64Binary (and lists of them), Hex for other Binary types, a union's
// first Binary member's for a union, Unset for the rest. Each union's nested
// unions are searched once, however many types hold it.
class ZEL_API DefaultEncodings {
public:
  explicit DefaultEncodings(const MessageSet& set) : set_(set) {}
  DataEncoding of(int type);

private:
  // The union's first Binary member, nested unions searched in place; kNone
  // when it has none.
  int firstBinaryMember(int type);
  // The union whose members a union restricted takes; kNone for other types.
  int unionWithMembers(int type) const;

  const MessageSet& set_;
  std::map<int, int> firstBinaryMembers_;  // by union
};

// Raises the error of a faulty message-set source or model: ZelFatalException
// CP_DICTIONARY_SOURCE_ERROR, thrown from function, with the inserts
// sourceName (the file), place (where in it) and what (what is wrong there).
[[noreturn]] ZEL_API void throwSourceError(const char* function, const std::string& sourceName,
                                           const std::string& place, const std::string& what);

// A chain of types that leads back to its start through base types, list
// item types, union member types or the types of nameless members (which the
// parser would follow forever): the positions, first and last equal. Empty
// when there is none. Sources report it as an error.
ZEL_API std::vector<int> findTypeCycle(const MessageSet& set);

}  // namespace msgset

#endif
