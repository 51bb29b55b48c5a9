// Building messages by name: Message::create, Element::append and the
// typed setters, checked against the message set.

#include "state.h"

#include "contentcheck.h"
#include "error.h"
#include "messagetree.h"
#include "schemaview.h"
#include "treeassembly.h"
#include "typeddatawriter.h"
#include "utf8.h"
#include "zelexception.h"

#include <cmath>

namespace wfxml {
namespace detail {
namespace {

const SchemaView* schemaOf(const MessageSet& set) { return set.state()->schema.get(set.state()->dictionary); }

// Text that is not UTF-8 would be stored with U+FFFD in place of its bytes.
void refuseUnlessUtf8(const char* function, std::string_view text, const std::string& wanted) {
  if (const std::size_t at = firstNonUtf8(text); at != std::string_view::npos)
    throwError(__FILE__, __LINE__, function, ZelMessages::CP_TYPE_MISMATCH,
               {wanted, "text that is not UTF-8 (at byte " + std::to_string(at) + ")"});
}

// "/order/party[@user]" style path of an element, for errors.
std::string pathOf(Element element) {
  std::string path;
  for (; element; element = element.parent()) {
    const std::string name = element.isAttribute() ? "@" + element.name() : element.name();
    path.insert(0, "/" + name);
  }
  return path.empty() ? "/" : path;
}

// What a value set on element must suit: its type, and whether it may be null.
struct ValueSlot {
  const SchemaType* type = nullptr;  // null: any value, as text
  bool typed = false;                // the message set defines the element (or the anonymous value's holder)
  bool nillable = true;
  bool allowed = true;               // false: the element holds no value (complex content)
};

ValueSlot slotOf(const SchemaView* view, const TreeElement& element) {
  ValueSlot slot;
  if (!view) return slot;
  const TreeElement* holder = &element;
  const bool anonymous = isAnonymous(element) && element.getParent();
  if (anonymous) holder = element.getParent();
  const bool defined = holder->getMemberId() >= 1 || holder->getTagId() >= 0;
  if (!defined) return slot;
  slot.typed = true;
  const SchemaType* type = view->typeOf(*holder);
  if (const SchemaMember* member = view->memberOf(*holder)) {
    slot.nillable = member->nillable;
  } else if (const SchemaElement* global = view->element(holder->getTagIndex())) {
    slot.nillable = global->nillable;
  }
  if (!type) return slot;
  if (anonymous) {
    slot.nillable = false;
    if (type->isList) {
      slot.type = view->type(type->listItemType);
    } else if (type->isMixed) {
      slot.type = nullptr;
    } else if (type->hasSimpleContent) {
      slot.type = type;
    } else {
      slot.allowed = false;
    }
    return slot;
  }
  if (type->isList || (type->isComplex && !type->hasSimpleContent)) {
    slot.allowed = false;  // lists take their items, complex types their members, as children
    slot.type = type;
    return slot;
  }
  slot.type = type;
  return slot;
}

// The anonymous child that holds the simple content of an element with
// attributes, as a parse leaves it; null when it has none yet.
TreeElement* simpleContentOf(const TreeElement& element) {
  for (TreeElement* child = element.getFirstChild(); child; child = child->getNextSibling()) {
    if (isAnonymous(*child)) return child;
  }
  return nullptr;
}

// Sets the value on the element, or on its simple content.
void store(MessageTree& tree, TreeElement& element, const SchemaType* type, PWFData value) {
  if (!type || !type->isComplex || isAnonymous(element)) return element.setValue(std::move(value));
  if (TreeElement* content = simpleContentOf(element)) return content->setValue(std::move(value));
  TreeElement& child = tree.appendChild(element);
  child.setKind(eKindSelfDefiningField);
  child.setValue(std::move(value));
}

// A nil element whose value cannot be null (SchemaType::nilIsAnAttribute)
// has xsi:nil="true" in place of its value, as the parse gives it.
void markNil(const SchemaView* view, MessageTree& tree, TreeElement& element) {
  element.setValue(PWFData());
  if (TreeElement* content = simpleContentOf(element)) tree.unlink(*content);
  TreeAssembly(view, tree).setXsiNil(element, "true");
}

}  // namespace

void MessageState::rememberAppended(TreeElement& element, MessageTree::Mark before) {
  appended_ = {&element, before, tree.elementCount()};
}

void MessageState::dropAppended(const TreeElement* element) {
  if (element == appended_.element && tree.elementCount() == appended_.after) tree.rollBackTo(appended_.before);
  appended_ = {};
}

namespace {
// Checks given against the element's type and stores it.
void checkAndStore(MessageState* message, TreeElement* element, const GivenValue& given) {
  const SchemaView* view = schemaOf(message->set);
  const ValueSlot slot = slotOf(view, *element);
  const std::string wanted = slot.type ? logicalTypeName(slot.type->logicalType) : "String";
  if (isText(given.kind)) refuseUnlessUtf8("Element::set", given.text, wanted);
  if (!slot.allowed) {
    const bool nilledComplex = given.kind == GivenValue::Kind::Null && slot.nillable;
    if (!nilledComplex)
      throwError(__FILE__, __LINE__, "Element::set", ZelMessages::CP_TYPE_MISMATCH, {"no value", kindName(given.kind)});
  }
  if (given.kind == GivenValue::Kind::Null && slot.typed && !slot.nillable)
    throwError(__FILE__, __LINE__, "Element::set", ZelMessages::CP_TYPE_MISMATCH,
               {wanted, "null (the element is not nillable)"});
  if (given.kind == GivenValue::Kind::Null && slot.typed && slot.type && slot.type->nilIsAnAttribute())
    return markNil(view, message->tree, *element);
  PWFData value;
  std::string wrong;
  const SchemaType* type = slot.allowed ? slot.type : nullptr;
  if (!slot.typed) {
    // Self-defining content takes any value, as its text.
    if (!typedValue(given, nullptr, value, wrong))
      throwError(__FILE__, __LINE__, "Element::set", ZelMessages::CP_TYPE_MISMATCH, {wanted, wrong});
  } else if (!typedValue(given, type, value, wrong)) {
    throwError(__FILE__, __LINE__, "Element::set", ZelMessages::CP_TYPE_MISMATCH, {wanted, kindName(given.kind)});
  }
  TreeAssembly(view, message->tree).clearXsiNil(isAnonymous(*element) ? *element->getParent() : *element);
  store(message->tree, *element, slot.allowed ? slot.type : nullptr, std::move(value));
}
}  // namespace

void setGivenValue(MessageState* message, TreeElement* element, const GivenValue& given) {
  if (!element || !message) return;  // an empty handle
  message->changed();
  try {
    checkAndStore(message, element, given);
  } catch (...) {
    message->dropAppended(element);
    throw;
  }
  message->dropAppended(nullptr);
}

}  // namespace detail

Message Message::create(const MessageSet& set, std::string_view name, std::string_view namespaceUri) {
  detail::refuseUnlessUtf8("Message::create", name, "a name");
  detail::refuseUnlessUtf8("Message::create", namespaceUri, "a namespace");
  auto state = std::make_unique<detail::MessageState>(set);
  const detail::SchemaView* view = detail::schemaOf(set);
  detail::TreeAssembly assembly(view, state->tree);
  if (!view) {
    assembly.createSelfDefiningMessage(name, namespaceUri);
    return Message(std::move(state));
  }
  // Any global element may be a document's root, as the parse reads it.
  const detail::SchemaElement* message = view->findMessage(name, namespaceUri);
  if (!message) message = view->findElement(name, namespaceUri);
  if (!message)
    detail::throwError(__FILE__, __LINE__, "Message::create", ZelMessages::CP_UNKNOWN_MEMBER,
                       {std::string(name), "(the message set's messages)"});
  assembly.createMessage(*message);
  return Message(std::move(state));
}

Element Element::append(std::string_view name, std::string_view namespaceUri) {
  if (!element_) return {};
  detail::refuseUnlessUtf8("Element::append", name, "a name");
  detail::refuseUnlessUtf8("Element::append", namespaceUri, "a namespace");
  message_->changed();
  const detail::SchemaView* view = detail::schemaOf(message_->set);
  detail::TreeAssembly assembly(view, message_->tree);
  if (name.empty()) {
    TreeElement& child = assembly.appendValue(*element_, PWFData());
    return message_->element(&child);
  }
  const bool attribute = name.front() == '@';
  if (attribute) name.remove_prefix(1);
  const detail::Resolution resolution = assembly.resolve(*element_, name, namespaceUri, attribute);
  if (!resolution)
    detail::throwError(__FILE__, __LINE__, "Element::append", ZelMessages::CP_UNKNOWN_MEMBER,
                       {(attribute ? "@" : "") + std::string(name), detail::pathOf(*this)});
  const MessageTree::Mark before = message_->tree.mark();
  TreeElement& child =
      assembly.append(*element_, resolution, name, namespaceUri, attribute, /*namespaceGiven=*/!namespaceUri.empty());
  message_->rememberAppended(child, before);
  return message_->element(&child);
}

using detail::GivenValue;

Element& Element::setString(std::string_view text) {
  detail::setGivenValue(message_, element_, GivenValue::ofText(GivenValue::Kind::String, text));
  return *this;
}

Element& Element::setInteger(std::int64_t number) {
  detail::setGivenValue(message_, element_, GivenValue::ofInteger(number));
  return *this;
}

Element& Element::setDecimal(std::string_view digits) {
  detail::setGivenValue(message_, element_, GivenValue::ofText(GivenValue::Kind::Decimal, digits));
  return *this;
}

Element& Element::setDouble(double number) {
  detail::setGivenValue(message_, element_, GivenValue::ofNumber(number));
  return *this;
}

Element& Element::setBoolean(bool flag) {
  detail::setGivenValue(message_, element_, GivenValue::ofBoolean(flag));
  return *this;
}

Element& Element::setDateTime(std::string_view xmlText) {
  detail::setGivenValue(message_, element_, GivenValue::ofText(GivenValue::Kind::DateTime, xmlText));
  return *this;
}

Element& Element::setDuration(std::string_view xmlText) {
  detail::setGivenValue(message_, element_, GivenValue::ofText(GivenValue::Kind::Duration, xmlText));
  return *this;
}

Element& Element::setBinary(const std::uint8_t* bytes, std::size_t size) {
  detail::setGivenValue(message_, element_, GivenValue::ofBytes(bytes, size));
  return *this;
}

Element& Element::setNull() {
  detail::setGivenValue(message_, element_, GivenValue());
  return *this;
}

}  // namespace wfxml
