#ifndef WFXML_SRC_XMLPROPERTIES_H
#define WFXML_SRC_XMLPROPERTIES_H

// How the API reads what a dictionary says about documents: the "XML"
// properties of its tables (names as documents spell them, renders,
// preferred prefixes) and its namespaces, in UTF-8. The definitions and
// the schema view both read them so.

#include <cstdint>
#include <string>

class StdDictionaryInfo;
class StringTable;

namespace wfxml::detail {

constexpr char16_t kXmlName[] = u"XML Name";
constexpr char16_t kRender[] = u"Render";
constexpr char16_t kPreferredPrefix[] = u"Preferred Prefix";
constexpr char16_t kPreserveUtcFormat[] = u"Preserve UTC Format";
constexpr char16_t kBooleanTrueValue[] = u"Boolean True Value";
constexpr char16_t kBooleanFalseValue[] = u"Boolean False Value";
constexpr char16_t kXmlVersion[] = u"XML Version Key";
constexpr std::int64_t kRenderAttribute = 1;
constexpr std::int64_t kRenderNameless = -1;
constexpr std::int64_t kRenderElementWithId = 2;
constexpr std::int64_t kRenderElementWithIdAndValue = 4;
// The plug-in's record on the data event of a QName value whose prefix the
// document bound (a DataWorkerInfo<2>): this property is the namespace the
// prefix stood for; the writer declares the prefix again where it writes
// the value.
constexpr long kValueNamespaceProperty = 1;

// One "XML" property of one table, by row; rows without a value give the
// fallback.
class XmlProperty {
public:
  // standardIndex: StdDictionaryInfo's eTagTable, eStructTable, ...
  XmlProperty(const StdDictionaryInfo& dictionary, int standardIndex, const char16_t* name);

  std::string text(long row) const;  // "" when none
  std::int64_t integer(long row, std::int64_t otherwise) const;

private:
  const StringTable* table_ = nullptr;
};

// The URI of the dictionary's namespace at that index; "" for none.
std::string namespaceUriOf(const StdDictionaryInfo& dictionary, long namespaceIndex);

}  // namespace wfxml::detail

#endif
