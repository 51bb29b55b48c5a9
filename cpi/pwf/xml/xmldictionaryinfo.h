#ifndef XMLDICTIONARYINFO_H
#define XMLDICTIONARYINFO_H

// The XML wire-format descriptor: a standard dictionary plus the "XML"
// property tables of the message set, elements (tags), type members and
// namespaces, the records built from them, and an index from XML element
// names to element definitions.
//
// Lifecycle: created empty (XMLDictionaryInfo(0) by the factory), filled by
// exactly one of FromQLBuffer, FromExtractFormat or FromDictionary, completed
// by postProcessDictionary, then read-only and shared by any number of
// workers. Every lookup and record accessor needs a post-processed
// descriptor.
//
// Errors: record accessors and lookups with an index outside the tables raise
// the CheckedVector error (ZelParserException CP_INTERNAL_ERROR); the ID
// lookups raise ZelParserException CP_XML_INTERNAL_ERROR; a dictionary that
// lacks a required XML property fails postProcessDictionary with
// ZelParserException CP_XML_INTERNAL_ERROR (inserts "XML Internal Error", the
// cause, the property name). Name lookups never throw.

#include "stddictionaryinfo.h"
#include "zelwstring.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// ---- Enumerations carried in the XML properties ---------------------------

// How an element or type member appears in a document.
enum ERender : long {
  erUndefined = -1,  // not set; only anonymous fields may leave it so
  erElement = 0,
  erAttribute = 1,
  erElementWithIdAttribute = 2,     // identified by idAttributeName="idAttributeValue"
  erElementWithValueAttribute = 3,  // value carried in the attribute valueAttributeName
  erElementWithIdAndValueAttribute = 4,
};

// How a Binary value is spelled.
enum EDataEncoding : long {
  edeUndefined = -1,
  edeCDATA = 0,
  edeHexadecimal = 1,
  edeBase64 = 2,
};

// How a null value of a nillable element is represented.
enum ENullEncoding : long {
  eNULLNone = -1,
  eNULLAttribute = 0,           // an attribute named by the null text, valued true
  eNULLEmpty = 1,               // empty content
  eNULLValue = 2,               // content equal to the null text
  eNULLElement = 3,             // an empty child element named by the null text
  eNULLOmitValueAttribute = 4,  // the value attribute is left out (writer only)
  eNULLXsiNil = 5,              // xsi:nil="true" (namespaces only)
};

// When the writer emits xsi:type.
enum EOutputXsiTypePolicy : long {
  eXsiTypeNever = 0,
  eXsiTypeUnflaggedTypes = 1,           // only for types whose host record flag is 0
  eXsiTypeAlways = 2,
  eXsiTypeAlwaysWithEncodingStyle = 3,  // and the SOAP encodingStyle on message elements
  eXsiTypeNeverAndDrop = 4,             // and xsi:type attributes found in the tree are dropped
};

// Where the writer declares namespaces; any value but 1 means "where first used".
enum EOutputNamespaceDeclPolicy : long {
  enspUndefined = -1,
  enspDeclareAllOnMessage = 1,
};

// Where an element is defined in the dictionary.
enum EWhereDefined : long {
  eWhereDefinedNotSet = -1,
  eDefinedAsTypeMember = 0,
  eDefinedAsElement = 1,
  eDefinedByType = 2,
  eUndefined = 3,  // self-defining
};

// Which element definitions a name lookup accepts.
enum TAG_STYLE : long {
  eTagStyleAny = 1,
  eTagStyleElementDeclaration = 2,    // attribute flag of the tag record clear
  eTagStyleAttributeDeclaration = 3,  // attribute flag set
};

// ---- Names ------------------------------------------------------------------

// Property names of the "XML" property tables.
inline constexpr char16_t XML_SUPPRESS_XML_DECLARATION[] = u"Suppress XML Declaration";
inline constexpr char16_t XML_STANDALONE_DOCUMENT[] = u"Standalone Document";
inline constexpr char16_t XML_SUPPRESS_DOCTYPE[] = u"Suppress DOCTYPE";
inline constexpr char16_t XML_SUPPRESS_XML_ENCODING[] = u"Suppress XML Encoding";
inline constexpr char16_t XML_SUPPRESS_VRK_COMMENT[] = u"Suppress Timestamp Comment";
inline constexpr char16_t XML_DOCTYPE_SYSTEM_ID[] = u"DOCTYPE System ID";
inline constexpr char16_t XML_DOCTYPE_PUBLIC_ID[] = u"DOCTYPE Public ID";
inline constexpr char16_t XML_DOCTYPE_TEXT[] = u"DOCTYPE Text";
inline constexpr char16_t XML_ROOT_TAG_NAME[] = u"Root Tag Name";
inline constexpr char16_t XML_ENABLE_VERSIONING_SUPPORT[] = u"Enable Versioning Support";
inline constexpr char16_t XML_BOOLEAN_TRUE_VALUE[] = u"Boolean True Value";
inline constexpr char16_t XML_BOOLEAN_FALSE_VALUE[] = u"Boolean False Value";
inline constexpr char16_t XML_ENCODING_NULL_NUM[] = u"Encoding Null Num";
inline constexpr char16_t XML_ENCODING_NULL_NUM_VAL[] = u"Encoding Null Num Val";
inline constexpr char16_t XML_ENCODING_NULL_NON_NUM[] = u"Encoding Null Non-num";
inline constexpr char16_t XML_ENCODING_NULL_NON_NUM_VAL[] = u"Encoding Null Non-num Val";
inline constexpr char16_t XML_DEFAULT_DATETIME_FORMAT_VAL[] = u"Default DateTime Format";
inline constexpr char16_t XML_DEFAULT_TIME_ZONE_VAL[] = u"Default Time Zone ID";
inline constexpr char16_t XML_CENTURY_WINDOW_VAL[] = u"Century Window";
inline constexpr char16_t XML_FIRST_DAY_OF_WEEK_VAL[] = u"First Day of Week";
inline constexpr char16_t XML_FIRST_WEEK_OF_YEAR_VAL[] = u"First Week of Year";
inline constexpr char16_t XML_ALLOW_LENIENT_DATETIMES_VAL[] = u"Allow Lenient Datetimes";
inline constexpr char16_t XML_OUTPUT_XSITYPE_POLICY[] = u"Output xsi:type policy";
inline constexpr char16_t XML_VERSION_KEY[] = u"XML Version Key";
inline constexpr char16_t XML_PRESERVE_UTC_FORMAT[] = u"Preserve UTC Format";
inline constexpr char16_t XML_XML_NAME[] = u"XML Name";
inline constexpr char16_t XML_RENDER[] = u"Render";
inline constexpr char16_t XML_ID_ATTRIBUTE_NAME[] = u"ID Attribute Name";
inline constexpr char16_t XML_ID_ATTRIBUTE_NAMESPACE[] = u"ID Attribute Namespace";
inline constexpr char16_t XML_ID_ATTRIBUTE_VALUE[] = u"ID Attribute Value";
inline constexpr char16_t XML_VALUE_ATTRIBUTE_NAME[] = u"Value Attribute Name";
inline constexpr char16_t XML_VALUE_ATTRIBUTE_NAMESPACE[] = u"Value Attribute Namespace";
inline constexpr char16_t XML_ENCODING[] = u"Encoding";
inline constexpr char16_t XML_FORMAT[] = u"Format";
inline constexpr char16_t XML_SCHEMA_LOCATION[] = u"Schema Location";
inline constexpr char16_t XML_NO_NAMESPACE_SCHEMA_LOCATION[] = u"No Namespace Schema Location";
inline constexpr char16_t XML_OUTPUT_NAMESPACE_DECL_POLICY[] = u"Output Namespace Declaration Policy";
inline constexpr char16_t XML_PREFERRED_PREFIX[] = u"Preferred Prefix";

// The XML version the generic build writes.
inline constexpr char16_t XML_VERSION_1_0[] = u"1.0";
// The namespace-URI prefix that stands for undeclared namespace prefixes and
// dependency names; the generic build's "DOCTYPE System ID" starts with it.
inline constexpr char16_t VRK_NAMESPACEATTR_PREFIX[] = u"http://www.wfhost.invalid/namespaces/";

// ---- Records ----------------------------------------------------------------

// The message set's XML properties (row 0 of the message-set property tables).
struct prf_XML_MSET_DEFINITION {
  // Time-zone identifiers that construction translates.
  static constexpr char16_t XML_TZ_Old_Darwin[] = u"VOLN/Darwin";
  static constexpr char16_t XML_TZ_New_Darwin[] = u"Australia/Darwin";
  static constexpr char16_t XML_TZ_Old_StJohns[] = u"VOLN/St_Johns";
  static constexpr char16_t XML_TZ_New_StJohns[] = u"America/St_Johns";
  static constexpr char16_t XML_TZ_Old_Tehran[] = u"VOLN/Tehran";
  static constexpr char16_t XML_TZ_New_Tehran[] = u"Asia/Tehran";
  static constexpr char16_t XML_TZ_Los_Angeles[] = u"America/Los_Angeles";
  static constexpr char16_t XML_TZ_Tijuana[] = u"America/Tijuana";
  static constexpr char16_t XML_TZ_Denver[] = u"America/Denver";
  static constexpr char16_t XML_TZ_Chihuahua[] = u"America/Chihuahua";
  static constexpr char16_t XML_TZ_Chicago[] = u"America/Chicago";
  static constexpr char16_t XML_TZ_Mexico_City[] = u"America/Mexico_City";
  static constexpr char16_t XML_TZ_New_York[] = u"America/New_York";
  static constexpr char16_t XML_TZ_Nassau[] = u"America/Nassau";
  static constexpr char16_t XML_TZ_Halifax[] = u"America/Halifax";
  static constexpr char16_t XML_TZ_Bermuda[] = u"Atlantic/Bermuda";
  static constexpr char16_t XML_TZ_GMT_PLUS_8[] = u"+08:00";
  static constexpr char16_t XML_TZ_Australia_Perth[] = u"Australia/Perth";

  // All strings empty; the scalars hold the values of a message set without
  // the corresponding properties.
  prf_XML_MSET_DEFINITION() = default;
  // Copies the 25 values (null strings become empty) and translates
  // defaultTimeZone: the legacy "VOLN/..." names to their current ones; else,
  // unless the environment variable KOBR_USE_NEW_US_DST is set, five North
  // American zones to zones that keep the old daylight-saving rules; then,
  // when KOBR_USE_NEW_WAUS_DST is set, "+08:00" to "Australia/Perth". A
  // variable counts as set when present, even empty; it is read here, on
  // every construction.
  prf_XML_MSET_DEFINITION(bool suppressXmlDecl, const char16_t* standalone, bool suppressDocType,
                          bool suppressXmlEncoding, bool suppressVRKComment, const char16_t* docTypeSystemId,
                          const char16_t* docTypePublicId, const char16_t* docTypeText, const char16_t* rootTagName,
                          bool enableVersioningSupport, const char16_t* booleanTrueValue,
                          const char16_t* booleanFalseValue, ENullEncoding nullNumEncoding,
                          const char16_t* nullNumValue, ENullEncoding nullNonNumEncoding,
                          const char16_t* nullNonNumValue, const char16_t* defaultDateTimeFormat,
                          const char16_t* defaultTimeZone, long centuryWindow, const char16_t* firstDayOfWeek,
                          long firstWeekOfYear, bool allowLenientDatetimes,
                          EOutputXsiTypePolicy outputXsiTypePolicy, const char16_t* xmlVersion,
                          bool preserveUTCFormat);

  bool suppressXmlDecl = false;
  ZelWstring standalone;
  bool suppressDocType = false;
  bool suppressXmlEncoding = true;
  bool suppressVRKComment = false;
  ZelWstring docTypeSystemId;
  ZelWstring docTypePublicId;
  ZelWstring docTypeText;
  ZelWstring rootTagName;  // an element name, optionally followed by a blank and attribute text
  bool enableVersioningSupport = false;
  ZelWstring booleanTrueValue;
  ZelWstring booleanFalseValue;
  ENullEncoding nullNumEncoding = eNULLNone;     // Integer, Float and Decimal values
  ZelWstring nullNumValue;
  ENullEncoding nullNonNumEncoding = eNULLNone;  // all other logical types
  ZelWstring nullNonNumValue;
  ZelWstring defaultDateTimeFormat;
  ZelWstring defaultTimeZone;
  long centuryWindow = 53;
  ZelWstring firstDayOfWeek;
  long firstWeekOfYear = 0;
  bool allowLenientDatetimes = true;
  EOutputXsiTypePolicy outputXsiTypePolicy = eXsiTypeNever;
  ZelWstring xmlVersion;
  bool preserveUTCFormat = false;

private:
  void translateTimeZone();
};

// The XML properties of one element definition (same index as the tag table).
struct prf_XML_TAG_DEFINITION {
  // Null strings become empty.
  prf_XML_TAG_DEFINITION(const char16_t* xmlName, const char16_t* docTypeSystemId, const char16_t* docTypePublicId,
                         const char16_t* docTypeText, const char16_t* rootTagName, ERender render,
                         const char16_t* idAttributeName, long idAttributeNamespace,
                         const char16_t* idAttributeValue, EDataEncoding dataEncoding, const char16_t* format,
                         const char16_t* schemaLocation, const char16_t* noNamespaceSchemaLocation,
                         EOutputNamespaceDeclPolicy namespaceDeclPolicy, EOutputXsiTypePolicy outputXsiTypePolicy);

  ZelWstring xmlName;  // empty: the element is not found by name
  ZelWstring docTypeSystemId;
  ZelWstring docTypePublicId;
  ZelWstring docTypeText;
  ZelWstring rootTagName;
  ERender render;
  ZelWstring idAttributeName;
  long idAttributeNamespace;  // namespace index, -1 none
  ZelWstring idAttributeValue;
  EDataEncoding dataEncoding;
  ZelWstring format;
  ZelWstring schemaLocation;
  ZelWstring noNamespaceSchemaLocation;
  EOutputNamespaceDeclPolicy namespaceDeclPolicy;
  EOutputXsiTypePolicy outputXsiTypePolicy;
};

// The XML properties of one type member (same index as the type-member table).
struct prf_XML_TYPEMEMBER_DEFINITION {
  ZelWstring xmlName;
  ERender render = erUndefined;
  ZelWstring idAttributeName;
  long idAttributeNamespace = -1;  // namespace index, -1 none
  ZelWstring idAttributeValue;
  ZelWstring valueAttributeName;
  long valueAttributeNamespace = -1;
  ZelWstring format;
  EDataEncoding dataEncoding = edeUndefined;
};

// ---- The descriptor ----------------------------------------------------------

class XMLDictionaryInfo;

// The "XML" property tables of one standard table, remembered as the loader
// creates them. Slot i holds the table of Names[i]; a slot stays null when
// the dictionary has no such property.
template <class TableRef, std::size_t Count>
class XMLPropertyGroup {
public:
  using PropertyNames = std::array<const char16_t*, Count>;

  XMLPropertyGroup(const TableRef& table, const PropertyNames& names) : iTable(table), iNames(names) {}

  // Remembers property when it belongs to this group's table under the owner
  // dictionary's wire-format name; then passes the call on to the table
  // reference (row names).
  void MapTableProperty(DictTableRefBase table, StringTableRef property);

  const TableRef& getTable() const { return iTable; }
  StringTableRef getProperty(std::size_t slot) const { return iProperties[slot]; }

protected:
  // The row's string, null when the row or the whole property has none.
  const char16_t* stringAt(std::size_t slot, long row) const;
  // The row's integer, or absent when the dictionary has no such property.
  std::int64_t integerAt(std::size_t slot, long row, std::int64_t absent) const;
  // The row's integer; the property must exist (see the header comment).
  std::int64_t requiredIntegerAt(std::size_t slot, long row) const;
  // The low 32 bits of the row's integer (as EnumTableRef reads them).
  template <class E>
  E enumAt(std::size_t slot, long row, E absent) const {
    return iProperties[slot] ? EnumTableRef<E>(iProperties[slot])[row] : absent;
  }
  template <class E>
  E requiredEnumAt(std::size_t slot, long row) const {
    return static_cast<E>(static_cast<std::int32_t>(requiredIntegerAt(slot, row)));
  }

  TableRef iTable;

private:
  const PropertyNames& iNames;
  std::array<StringTableRef, Count> iProperties{};
};

class XMLDictionaryInfo : public StdDictionaryInfo {
public:
  // The message set's properties.
  class XMLMsgSetDefs : public XMLPropertyGroup<StdDictMsgSetDefs, 25> {
  public:
    enum Slot : std::size_t {
      eSuppressXmlDecl, eStandalone, eSuppressDocType, eSuppressXmlEncoding, eSuppressVRKComment,
      eDocTypeSystemId, eDocTypePublicId, eDocTypeText, eRootTagName, eEnableVersioningSupport,
      eBooleanTrueValue, eBooleanFalseValue, eNullNum, eNullNumValue, eNullNonNum, eNullNonNumValue,
      eDefaultDateTimeFormat, eDefaultTimeZone, eCenturyWindow, eFirstDayOfWeek, eFirstWeekOfYear,
      eAllowLenientDatetimes, eOutputXsiTypePolicy, eXmlVersion, ePreserveUTCFormat,
    };
    static const PropertyNames& names();

    explicit XMLMsgSetDefs(const StdDictMsgSetDefs& table) : XMLPropertyGroup(table, names()) {}
    // The record from row 0 (see prf_XML_MSET_DEFINITION for the translation).
    prf_XML_MSET_DEFINITION buildRecord() const;
  };

  // The elements' properties and the lookups by tag ID and XML name.
  class XMLTagDefs : public XMLPropertyGroup<StdDictTagDefs, 15> {
  public:
    enum Slot : std::size_t {
      eXmlName, eDocTypeSystemId, eDocTypePublicId, eDocTypeText, eRootTagName, eRender, eIdAttributeName,
      eIdAttributeNamespace, eIdAttributeValue, eEncoding, eFormat, eSchemaLocation, eNoNamespaceSchemaLocation,
      eNamespaceDeclPolicy, eOutputXsiTypePolicy,
    };
    static const PropertyNames& names();

    XMLTagDefs(const StdDictTagDefs& table, const XMLDictionaryInfo& owner)
        : XMLPropertyGroup(table, names()), iOwner(owner) {}
    prf_XML_TAG_DEFINITION buildRecord(long row) const;
    // The "XML Name" of a row straight from the property table (usable
    // before post-processing), null when none.
    const char16_t* getXMLName(long row) const { return stringAt(eXmlName, row); }

    // The tag index of a tag ID. Throws ZelParserException
    // CP_XML_INTERNAL_ERROR ("XML Worker Internal Error", "Couldn't find tag
    // ID in the dictionary") for an unknown ID.
    long getIndex(long tagId) const;
    // The element definition of class 'F' or 'S' accepted by style whose
    // namespace URI and XML name are namespaceURI and name, found by
    // bisection of the element-name index; -1 when none (also for a null or
    // empty name). Only one entry per key is examined.
    long getElementIndexFromXMLElement(const char16_t* name, const ZelWstring& namespaceURI, TAG_STYLE style) const;

  private:
    const XMLDictionaryInfo& iOwner;
  };

  // The type members' properties and the lookup by member ID.
  class XMLStructDefs : public XMLPropertyGroup<StdDictStructDefs, 9> {
  public:
    enum Slot : std::size_t {
      eXmlName, eRender, eIdAttributeName, eIdAttributeNamespace, eIdAttributeValue, eValueAttributeName,
      eValueAttributeNamespace, eFormat, eEncoding,
    };
    static const PropertyNames& names();

    XMLStructDefs(const StdDictStructDefs& table, const XMLDictionaryInfo& owner)
        : XMLPropertyGroup(table, names()), iOwner(owner) {}
    prf_XML_TYPEMEMBER_DEFINITION buildRecord(long row) const;

    // The type-member index of a member ID. Throws ZelParserException
    // CP_XML_INTERNAL_ERROR ("XML Worker Internal Error", "Couldn't find the
    // tag id in the dictionary") for an unknown ID.
    long getIndex(long memberId) const;

  private:
    const XMLDictionaryInfo& iOwner;
  };

  // The namespaces' preferred prefixes (the URIs are the table's row names).
  class XMLNamespaceDefs : public XMLPropertyGroup<StdDictNamespaceDefs, 1> {
  public:
    enum Slot : std::size_t { ePreferredPrefix };
    static const PropertyNames& names();

    explicit XMLNamespaceDefs(const StdDictNamespaceDefs& table) : XMLPropertyGroup(table, names()) {}
    // Null when the namespace has none or the index is out of range.
    const char16_t* getPreferredPrefix(long namespaceIndex) const;
  };

  // derivedTableCount: the tables further-derived classes add (0 from the
  // factory). Table derivedTableCount is the element-name index; the
  // standard tables follow it.
  explicit XMLDictionaryInfo(int derivedTableCount);
  ~XMLDictionaryInfo() override;

  // Standard tables first, then the XML property groups.
  void MapTableProperty(DictTableRefBase table, StringTableRef property) override;
  // The element-name index always has 4-byte rows (a differing size is traced
  // and corrected); standard tables as StdDictionaryInfo.
  std::uint32_t CreateTable(int tableNumber, std::uint32_t entrySize, std::int32_t count) override;
  // Loads as the host does, then builds the element-name index.
  void FromExtractFormat(BitstreamWorker* worker, const unsigned char* buffer, std::size_t length) override;
  // The generic build: copies the standard tables of a standard dictionary
  // and writes default XML properties; the element-name index stays empty.
  // Throws ZelParserException CP_XML_INTERNAL_ERROR when source is not a
  // standard dictionary.
  void FromDictionary(const DictionaryInfo& source) override;
  // Standard caches and maps, then the element, type-member and message-set
  // records. Throws for a missing required property (header comment).
  void postProcessDictionary() override;
  // The host's dump, then the element-name index in key order.
  void DumpContents(FILE* file) const override;
  void release() override;

  // Whether name is the message set's outer wrapper element: it equals the
  // element name at the start of the message set's "Root Tag Name" or of a
  // message element's. Null or empty never matches.
  bool rootTagNameMatch(const char16_t* name) const;
  // The message elements (tag class message) of one XML name, ascending by
  // index: every document's root is matched against them, so they are found
  // by name rather than by a walk over every message element.
  class TagIndexes {
  public:
    TagIndexes(const long* first, const long* last) : first_(first), last_(last) {}
    const long* begin() const { return first_; }
    const long* end() const { return last_; }

  private:
    const long* first_;
    const long* last_;
  };
  TagIndexes messageTagsNamed(std::u16string_view name) const;
  // The logical type of the base type of a type (one level); 0 when the
  // index is negative or the type is not derived. Throws the CheckedVector
  // error for an index outside the type table.
  ELogicalType getBaseLogicalType(long typeIndex) const;
  // Namespaces are processed when the identification's format version is
  // above 3 and the message set enables them.
  bool isNamespaceProcessingEnabled() const;
  // Null when the namespace has none or the index is out of range.
  const char16_t* getPreferredPrefix(long namespaceIndex) const {
    return iXMLNamespaceDefs.getPreferredPrefix(namespaceIndex);
  }

  const prf_XML_MSET_DEFINITION& getXMLMsgSetDefinition() const { return iXMLMsgSetDefinition; }
  // Throw the CheckedVector error for an index out of range.
  const prf_XML_TAG_DEFINITION& getXMLTagDefinition(long tagIndex) const { return iXMLTagDefinitions.get(tagIndex); }
  const prf_XML_TYPEMEMBER_DEFINITION& getXMLTypeMemberDefinition(long memberIndex) const {
    return iXMLTypeMemberDefinitions.get(memberIndex);
  }

  const XMLMsgSetDefs& getXMLMsgSetDefs() const { return iXMLMsgSetDefs; }
  const XMLTagDefs& getXMLTagDefs() const { return iXMLTagDefs; }
  const XMLStructDefs& getXMLStructDefs() const { return iXMLStructDefs; }
  const XMLNamespaceDefs& getXMLNamespaceDefs() const { return iXMLNamespaceDefs; }

  // The element-name index: tag indexes in key order (namespace URI followed
  // by XML name).
  std::int32_t getElementNameIndexCount() const { return iElementNameIndex.GetRowCount(); }
  long getElementNameIndexEntry(long row) const { return *iElementNameIndex[row]; }

private:
  // The message-set values that the generic build also gives message tags.
  struct GenericMessageSetValues {
    ZelWstring docTypeSystemId;
    ZelWstring docTypePublicId;
    ZelWstring docTypeText;
    ZelWstring rootTagName;
  };
  GenericMessageSetValues copyIdentificationAndMessageSet(const StdDictionaryInfo& source);
  void copyStringTableEntries(const StdDictionaryInfo& source);
  void copyTagsWithGenericProperties(const StdDictionaryInfo& source, const GenericMessageSetValues& messageSet);
  void copyMembersWithGenericProperties(const StdDictionaryInfo& source);
  void copyTypesAndMemberIds(const StdDictionaryInfo& source);
  void buildElementNameIndex();
  void buildXMLRecords();
  void buildNameSearchKeys();
  void buildMessageTagIndexes();
  std::u16string_view xmlNameOf(long tagIndex) const;

  // One row of the element-name index as a lookup compares it: the
  // candidate key is iNameSearchText[offset, offset + length).
  struct NameSearchKey {
    std::uint32_t offset;
    std::uint32_t length;
    long tagIndex;
  };

  const int iElementNameIndexTable;
  DictTableRef<std::int32_t> iElementNameIndex;
  XMLMsgSetDefs iXMLMsgSetDefs;
  XMLTagDefs iXMLTagDefs;
  XMLStructDefs iXMLStructDefs;
  XMLNamespaceDefs iXMLNamespaceDefs;
  CheckedVector<prf_XML_TYPEMEMBER_DEFINITION> iXMLTypeMemberDefinitions;
  CheckedVector<prf_XML_TAG_DEFINITION> iXMLTagDefinitions;
  prf_XML_MSET_DEFINITION iXMLMsgSetDefinition;
  // The candidate keys of the index rows, in row order and in one buffer,
  // so that a lookup touches little memory: the tag's namespace URI (left
  // out for a tag without one, or when the identification's format version
  // is below 4) followed by its XML name. Built by postProcessDictionary.
  std::vector<NameSearchKey> iNameSearchKeys;
  std::u16string iNameSearchText;
  // The message elements by XML name, then index. Built by
  // postProcessDictionary.
  std::vector<long> iMessageTagsByName;
  // The message elements with a root tag name, ascending. Built by
  // postProcessDictionary.
  std::vector<long> iWrapperTagIndexes;
};

#endif
