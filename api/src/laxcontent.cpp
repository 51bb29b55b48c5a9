#include "laxcontent.h"

#include "utf8.h"

#include <xercesc/framework/XMLContentModel.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/common/ContentLeafNameTypeVector.hpp>
#include <xercesc/validators/common/ContentSpecNode.hpp>
#include <xercesc/validators/schema/SchemaElementDecl.hpp>

#include <algorithm>

using namespace xercesc;

namespace wfxml::detail {
namespace {

// Whether a wildcard leaf of a content model admits an element of the
// namespace, as the scanner matches them.
bool admits(ContentSpecNode::NodeTypes leaf, unsigned int leafUri, unsigned int uriId, unsigned int emptyNamespaceId) {
  switch (leaf & 0x0f) {
    case ContentSpecNode::Any:
      return true;
    case ContentSpecNode::Any_Other:
      return leafUri != uriId && uriId != emptyNamespaceId;
    case ContentSpecNode::Any_NS:
      return leafUri == uriId;
    default:
      return false;
  }
}

bool isWildcard(ContentSpecNode::NodeTypes leaf) {
  const int base = leaf & 0x0f;
  return base == ContentSpecNode::Any || base == ContentSpecNode::Any_Other || base == ContentSpecNode::Any_NS;
}

}  // namespace

LaxContent::Kind LaxContent::started(const XMLElementDecl& declaration, unsigned int uriId, bool xsiTyped,
                                     bool isEmpty, xercesc::SchemaValidator* validator, const XMLScanner& scanner) {
  const Kind kind = open_.empty() ? Kind::Checked : ofChild(declaration, uriId, xsiTyped, scanner);
  if (!isEmpty) open_.push_back({kind, kind == Kind::Checked && validator ? validator->getCurrentTypeInfo() : nullptr});
  return kind;
}

// A child of a checked element is admitted by its parent's content model:
// by a wildcard only where no element of the model has its name. Which one
// admits it takes the model's state, which the scanner keeps to itself: an
// element the wildcards of the name's namespace would all admit laxly is
// taken as lax, one they would all skip as skipped; anything else as the
// scanner's to judge.
LaxContent::Kind LaxContent::ofChild(const XMLElementDecl& declaration, unsigned int uriId, bool xsiTyped,
                                     const XMLScanner& scanner) const {
  const Open& parent = open_.back();
  switch (parent.kind) {
    case Kind::Unchecked:
    case Kind::Apart:
      return Kind::Unchecked;
    case Kind::Undeclared:
      return declaration.isDeclared() ? Kind::Apart : Kind::Undeclared;
    case Kind::Checked:
      break;
  }
  // The validator gives an element of xs:anyType no type, and the scanner
  // takes its content as a lax wildcard's.
  if (!parent.type) return declaration.isDeclared() || xsiTyped ? Kind::Checked : Kind::Undeclared;
  XMLContentModel* model = parent.type->getContentModel();
  ContentLeafNameTypeVector* leaves = model ? model->getContentLeafNameTypeVector() : nullptr;
  if (!leaves) return Kind::Checked;
  bool lax = false, skip = false;
  for (XMLSize_t i = 0; i < leaves->getLeafCount(); ++i) {
    const ContentSpecNode::NodeTypes leaf = leaves->getLeafTypeAt(i);
    const QName& name = *leaves->getLeafNameAt(i);
    if (!isWildcard(leaf)) {
      if (leaf == ContentSpecNode::Leaf && name.getURI() == uriId &&
          XMLString::equals(name.getLocalPart(), declaration.getBaseName()))
        return Kind::Checked;
      continue;
    }
    if (!admits(leaf, name.getURI(), uriId, scanner.getEmptyNamespaceId())) continue;
    const int processContents = leaf & 0x30;
    lax = lax || processContents == (ContentSpecNode::Any_Lax & 0x30);
    skip = skip || processContents == (ContentSpecNode::Any_Skip & 0x30);
    if (processContents == 0) return Kind::Checked;  // strict
  }
  if (declaration.isDeclared()) {
    const bool substitutes = declaration.getObjectType() != XMLElementDecl::Schema ||
                             static_cast<const SchemaElementDecl&>(declaration).getSubstitutionGroupElem() != nullptr;
    return skip && !lax && !substitutes ? Kind::Unchecked : Kind::Checked;
  }
  if (lax && !skip) return xsiTyped ? Kind::Checked : Kind::Undeclared;
  return Kind::Unchecked;
}

namespace {

bool isNamespaceDeclaration(const XMLAttr& attribute) {
  return XMLString::equals(attribute.getPrefix(), XMLUni::fgXMLNSString) ||
         (!*attribute.getPrefix() && XMLString::equals(attribute.getName(), XMLUni::fgXMLNSString));
}

// The prefix a namespace declaration binds: "" for the default namespace.
std::u16string_view declaredPrefix(const XMLAttr& attribute) {
  return *attribute.getPrefix() ? std::u16string_view(attribute.getName()) : std::u16string_view();
}

}  // namespace

void NamespaceScope::started(const RefVectorOf<XMLAttr>& attributes, XMLSize_t count) {
  ends_.push_back(bindings_.size());
  for (XMLSize_t i = 0; i < count; ++i) {
    const XMLAttr& attribute = *attributes.elementAt(i);
    if (isNamespaceDeclaration(attribute)) bindings_.emplace_back(declaredPrefix(attribute), attribute.getValue());
  }
}

void NamespaceScope::ended() {
  if (ends_.empty()) return;
  bindings_.resize(ends_.back());
  ends_.pop_back();
}

void DetachedElement::start(std::u16string_view qname, const RefVectorOf<XMLAttr>& attributes, XMLSize_t count,
                            bool isEmpty, const NamespaceScope& scope, Place place) {
  document_.clear();
  tagPlaces_.clear();
  depth_ = 0;
  overflowed_ = false;
  document_ += u'<';
  document_ += qname;
  // The innermost binding of each prefix, the element's own among them.
  const auto& bindings = scope.bindings();
  for (auto binding = bindings.rbegin(); binding != bindings.rend(); ++binding) {
    const auto same = [&](const auto& other) { return other.first == binding->first; };
    if (std::find_if(bindings.rbegin(), binding, same) != binding) continue;
    document_ += binding->first.empty() ? u" xmlns" : u" xmlns:";
    document_ += binding->first;
    document_ += u"=\"";
    append(binding->second, true);
    document_ += u'"';
  }
  tag(attributes, count, isEmpty, place);
}

void DetachedElement::startChild(std::u16string_view qname, const RefVectorOf<XMLAttr>& attributes, XMLSize_t count,
                                 bool isEmpty, Place place) {
  if (overflowed_) {
    if (!isEmpty) ++depth_;
    return;
  }
  document_ += u'<';
  document_ += qname;
  tag(attributes, count, isEmpty, place);
}

// The rest of a start tag, its namespace declarations left to start.
void DetachedElement::tag(const RefVectorOf<XMLAttr>& attributes, XMLSize_t count, bool isEmpty, Place place) {
  const bool root = depth_ == 0 && tagPlaces_.empty();
  for (XMLSize_t i = 0; i < count; ++i) {
    const XMLAttr& attribute = *attributes.elementAt(i);
    if (!attribute.getSpecified() || (root && isNamespaceDeclaration(attribute))) continue;
    document_ += u' ';
    document_ += attribute.getQName();
    document_ += u"=\"";
    append(attribute.getValue(), true);
    document_ += u'"';
  }
  document_ += isEmpty ? u"\n/>" : u"\n>";
  tagPlaces_.push_back(place);
  if (!isEmpty) ++depth_;
  overflowed_ = document_.size() > kMaxUnits;
}

void DetachedElement::text(const XMLCh* characters, XMLSize_t length) {
  if (overflowed_) return;
  append(std::u16string_view(characters, length), false);
  overflowed_ = document_.size() > kMaxUnits;
}

void DetachedElement::end(std::u16string_view qname, Place place) {
  if (depth_ > 0) --depth_;
  if (overflowed_) return;
  document_ += u"</";
  document_ += qname;
  document_ += u"\n>";
  tagPlaces_.push_back(place);
}

// Text and values as references where they would not read back the same:
// markup, and the line ends and tabs a parser would change.
void DetachedElement::append(std::u16string_view text, bool inValue) {
  for (const char16_t c : text) {
    switch (c) {
      case u'&': document_ += u"&amp;"; break;
      case u'<': document_ += u"&lt;"; break;
      case u'>': document_ += u"&gt;"; break;
      case u'"': document_ += inValue ? u"&quot;" : u"\""; break;
      case u'\n': document_ += u"&#10;"; break;
      case u'\r': document_ += u"&#13;"; break;
      case u'\t': document_ += inValue ? u"&#9;" : u"\t"; break;
      default: document_ += c;
    }
  }
}

std::string DetachedElement::utf8() const { return toUtf8(document_); }

// Tag k (from 0) ends with the '>' that starts line k + 2.
DetachedElement::Place DetachedElement::placeOf(std::uint64_t line) const {
  if (tagPlaces_.empty()) return {0, 0};
  const std::uint64_t tag = line >= 2 ? line - 2 : 0;
  return tagPlaces_[std::min<std::uint64_t>(tag, tagPlaces_.size() - 1)];
}

}  // namespace wfxml::detail
