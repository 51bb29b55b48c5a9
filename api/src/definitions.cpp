#include "definitions.h"

#include "dictionaryinfo.h"
#include "elementkinds.h"
#include "messagetree.h"
#include "stddictionaryinfo.h"
#include "utf8.h"
#include "xmlproperties.h"

#include <string_view>

namespace wfxml::detail {
namespace {

// From this dictionary format version on, element definitions record
// whether they declare an attribute.
constexpr long kAttributeDeclarationsVersion = 600;
constexpr std::u16string_view kSchemaInstanceNamespace = u"http://www.w3.org/2001/XMLSchema-instance";

// One table's XML names and renders.
class NamesAndRenders {
public:
  NamesAndRenders(const StdDictionaryInfo& dictionary, int standardIndex)
      : names_(dictionary, standardIndex, kXmlName), renders_(dictionary, standardIndex, kRender) {}
  // The row's XML name, else its row name.
  std::string name(long row, const char16_t* rowName) const {
    std::string xmlName = names_.text(row);
    return !xmlName.empty() || !rowName ? xmlName : toUtf8(rowName);
  }
  std::int64_t render(long row) const { return renders_.integer(row, 0); }

private:
  const XmlProperty names_;
  const XmlProperty renders_;
};

}  // namespace

bool isSelfDefiningAttribute(std::u16string_view name, std::u16string_view namespaceUri) {
  return (!name.empty() && name.front() == u'@') || namespaceUri == kSchemaInstanceNamespace;
}

Definitions::Definitions(const StdDictionaryInfo* dictionary) : dictionary_(dictionary) {
  if (!dictionary) return;
  const NamesAndRenders tagProperties(*dictionary, StdDictionaryInfo::eTagTable);
  const auto& tagCache = dictionary->getTagCache();
  const bool recordsAttributes = dictionary->getFormatVersion() >= kAttributeDeclarationsVersion;
  tags_.resize(tagCache.size());
  for (std::size_t row = 0; row < tagCache.size(); ++row) {
    const prf_SMD_TAG_DEFINITION& tag = tagCache[row];
    const long r = static_cast<long>(row);
    Definition definition;
    definition.name = tagProperties.name(r, dictionary->getTagName(r));
    definition.namespaceUri = namespaceUriOf(*dictionary, tag.namespaceIndex);
    tags_[row].asElement = definition;
    tags_[row].asElement.isAttribute = recordsAttributes && tag.declaredAsAttribute;
    tags_[row].asMessage = std::move(definition);
    tags_[row].asMessage.isAttribute = tagProperties.render(r) == kRenderAttribute;
  }

  const NamesAndRenders memberProperties(*dictionary, StdDictionaryInfo::eStructTable);
  const auto& memberCache = dictionary->getMemberCache();
  members_.resize(memberCache.size());
  for (std::size_t row = 0; row < memberCache.size(); ++row) {
    const prf_SMD_TYPEMEMBER_DEFINITION& member = memberCache[row];
    const long r = static_cast<long>(row);
    const bool hasElement = member.elementIndex >= 0 && static_cast<std::size_t>(member.elementIndex) < tags_.size();
    // A member that stands for a message is that message's element.
    if (member.memberKind == DictCodes::eClassMessage && hasElement) {
      members_[row] = tags_[member.elementIndex].asMessage;
      continue;
    }
    Definition& definition = members_[row];
    const std::int64_t render = memberProperties.render(r);
    if (render != kRenderNameless) definition.name = memberProperties.name(r, dictionary->getMemberName(r));
    definition.isAttribute = render == kRenderAttribute;
    if (hasElement) definition.namespaceUri = tags_[member.elementIndex].asElement.namespaceUri;
  }

  const auto& messages = dictionary->getMessageDefs();
  for (long row = 0; row < messages.GetRowCount(); ++row) {
    const long tagIndex = messages[row]->tagIndex;
    if (tagIndex < 0 || static_cast<std::size_t>(tagIndex) >= tags_.size()) continue;
    const Definition& message = tags_[tagIndex].asMessage;
    messageNames_.push_back(message.name);
    qualifiedMessageNames_.push_back(message.namespaceUri.empty() ? message.name
                                                                  : "{" + message.namespaceUri + "}" + message.name);
  }
}

const Definition* Definitions::find(long tagId, long memberId, unsigned short kind, long tagIndex,
                                    long memberIndex) const {
  if (!dictionary_) return nullptr;
  if (memberId >= 1) {
    const long row = memberIndex >= 0 ? memberIndex : dictionary_->getStructDefIndexFromMbrID(memberId);
    return row >= 0 && static_cast<std::size_t>(row) < members_.size() ? &members_[row] : nullptr;
  }
  if (kind == eKindSelfDefiningField || kind == eKindSelfDefiningStructure || kind == eKindSelfDefiningMessage ||
      kind == eKindOpaque || kind == eKindUnparsedBitstream)
    return nullptr;
  if (tagId < 1) return nullptr;
  const long row = tagIndex >= 0 ? tagIndex : dictionary_->getTagDefIndex(tagId);
  if (row < 0 || static_cast<std::size_t>(row) >= tags_.size()) return nullptr;
  return kind == eKindMessage ? &tags_[row].asMessage : &tags_[row].asElement;
}

const Definition* Definitions::find(const TreeElement& element) const {
  return find(element.getTagId(), element.getMemberId(), element.getKind(), element.getTagIndex(),
              element.getMemberIndex());
}

}  // namespace wfxml::detail
