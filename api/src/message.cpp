#include "state.h"

#include "stddictionaryinfo.h"
#include "utf8.h"

namespace wfxml {
namespace detail {

MessageState::MessageState(MessageSet messageSet) : set(std::move(messageSet)) { useSet(set); }

void MessageState::useSet(const MessageSet& messageSet) {
  if (names_ && set.state() == messageSet.state()) return;
  set = messageSet;
  const StdDictionaryInfo* dictionary = set.state()->dictionary;
  names_ = dictionary ? std::make_unique<RowNames>(dictionary) : nullptr;
  tree.setNameResolver(names_.get());
}

ZelWstring MessageState::RowNames::nameOf(long tagId, long memberId, long) const {
  const long tagIndex = tagId > 0 ? dictionary_->getTagDefIndex(tagId) : -1;
  if (tagIndex >= 0) return ZelWstring(dictionary_->getTagName(tagIndex));
  const long memberIndex = memberId > 0 ? dictionary_->getStructDefIndexFromMbrID(memberId) : -1;
  return memberIndex >= 0 ? ZelWstring(dictionary_->getMemberName(memberIndex)) : ZelWstring();
}

}  // namespace detail

Message::Message(std::unique_ptr<detail::MessageState> state) : state_(std::move(state)) {}
Message::Message(Message&&) noexcept = default;
Message& Message::operator=(Message&&) noexcept = default;
Message::~Message() = default;

Element Message::root() const { return state_->element(state_->tree.getRoot()); }

const MessageSet& Message::messageSet() const { return state_->set; }

namespace {
// The name a self-defining element has in its document: the tree keeps
// attribute fields as "@name".
std::u16string_view documentName(const ZelWstring& treeName) {
  std::u16string_view name = treeName.view();
  if (!name.empty() && name.front() == u'@') name.remove_prefix(1);
  return name;
}
}  // namespace

std::string Element::name() const {
  if (!element_) return {};
  if (const detail::Definition* definition = message_->definitions().find(*element_)) return definition->name;
  return detail::toUtf8(documentName(element_->getName()));
}

std::string Element::namespaceUri() const {
  if (!element_) return {};
  if (const detail::Definition* definition = message_->definitions().find(*element_))
    return definition->namespaceUri;
  return detail::toUtf8(element_->getNamespaceURI().view());
}

bool Element::isAttribute() const {
  if (!element_) return false;
  if (const detail::Definition* definition = message_->definitions().find(*element_)) return definition->isAttribute;
  return detail::isSelfDefiningAttribute(element_->getName().view(), element_->getNamespaceURI().view());
}

bool Element::isSelfDefining() const {
  return element_ && !element_->getName().empty() && !message_->definitions().find(*element_);
}

Element Element::parent() const { return element_ ? Element(element_->getParent(), message_) : Element(); }

Element Element::firstChild() const { return element_ ? Element(element_->getFirstChild(), message_) : Element(); }

Element Element::nextSibling() const { return element_ ? Element(element_->getNextSibling(), message_) : Element(); }

Element Element::find(std::string_view name, const std::string_view* namespaceUri, Match match) const {
  if (!element_) return Element();
  const detail::Definitions& definitions = message_->definitions();
  // Names are compared without a string per child: defined names are kept
  // in UTF-8, and the others converted into one reused buffer.
  thread_local std::string scratch;
  for (TreeElement* child = element_->getFirstChild(); child; child = child->getNextSibling()) {
    bool attribute = false;
    if (const detail::Definition* definition = definitions.find(*child)) {
      if (definition->name != name || (namespaceUri && definition->namespaceUri != *namespaceUri)) continue;
      attribute = definition->isAttribute;
    } else {
      detail::assignUtf8(scratch, documentName(child->getName()));
      if (scratch != name) continue;
      if (namespaceUri) {
        detail::assignUtf8(scratch, child->getNamespaceURI().view());
        if (scratch != *namespaceUri) continue;
      }
      attribute = detail::isSelfDefiningAttribute(child->getName().view(), child->getNamespaceURI().view());
    }
    if (match == Match::Any || attribute == (match == Match::Attributes)) return Element(child, message_);
  }
  return Element();
}

Element Element::child(std::string_view name) const { return find(name, nullptr, Match::Any); }

Element Element::child(std::string_view name, std::string_view namespaceUri) const {
  return find(name, &namespaceUri, Match::Elements);
}

Element Element::attribute(std::string_view name) const { return find(name, nullptr, Match::Attributes); }

Element Element::attribute(std::string_view name, std::string_view namespaceUri) const {
  return find(name, &namespaceUri, Match::Attributes);
}

std::vector<Element> Element::children() const {
  std::vector<Element> children;
  for (Element child = firstChild(); child; child = child.nextSibling()) children.push_back(child);
  return children;
}

namespace {
// The element that holds the value of element: itself, or its one anonymous
// child (no name, no definition) when that child holds the simple content.
const TreeElement* valueHolder(const TreeElement& element, const detail::Definitions& definitions) {
  if (element.hasValue()) return &element;
  const TreeElement* holder = nullptr;
  for (const TreeElement* child = element.getFirstChild(); child; child = child->getNextSibling()) {
    if (!child->getName().empty() || definitions.find(*child)) continue;
    if (holder) return nullptr;  // several anonymous values: list items or mixed text runs
    holder = child;
  }
  return holder && holder->hasValue() ? holder : nullptr;
}
}  // namespace

bool Element::hasValue() const { return element_ && valueHolder(*element_, message_->definitions()); }

Value Element::value() const {
  const TreeElement* holder = element_ ? valueHolder(*element_, message_->definitions()) : nullptr;
  return holder ? Value(&holder->getValue()) : Value();
}

}  // namespace wfxml
