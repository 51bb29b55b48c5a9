#include "xmlproperties.h"

#include "stddictionaryinfo.h"
#include "utf8.h"
#include "zelwstring.h"

namespace wfxml::detail {
namespace {
constexpr char16_t kWireFormat[] = u"XML";
}  // namespace

XmlProperty::XmlProperty(const StdDictionaryInfo& dictionary, int standardIndex, const char16_t* name) {
  if (const DictTable* table = dictionary.getStandardTable(standardIndex)) table_ = table->FindProperty(kWireFormat, name);
}

std::string XmlProperty::text(long row) const {
  const char16_t* value = table_ && table_->HasValue(row) ? table_->GetValue(row) : nullptr;
  return value ? toUtf8(value) : std::string();
}

std::int64_t XmlProperty::integer(long row, std::int64_t otherwise) const {
  return table_ && table_->HasValue(row) ? table_->GetIntValue(row) : otherwise;
}

std::string namespaceUriOf(const StdDictionaryInfo& dictionary, long namespaceIndex) {
  const auto& namespaces = dictionary.getNamespaceCache();
  if (namespaceIndex < 0 || static_cast<std::size_t>(namespaceIndex) >= namespaces.size()) return {};
  const ZelWstring* uri = namespaces[namespaceIndex].uri;
  return uri ? toUtf8(uri->view()) : std::string();
}

}  // namespace wfxml::detail
