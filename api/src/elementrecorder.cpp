#include "elementrecorder.h"

#include "valueplacement.h"
#include "xmlproperties.h"
#include "zelexception.h"

#include <string>

namespace wfxml::detail {
namespace {

// A recorder keeps the texts of self-defining names and namespaces from
// message to message, but not without bound.
constexpr std::size_t kMaxPooledTexts = 4096;

[[noreturn]] void refuse(const char* event, const std::string& problem) {
  ZelFatalException e(__FILE__, __LINE__, "ElementRecorder", nullptr, ZelMessages::CP_TREE_ERROR);
  e.addInsert(event);
  e.addInsert(problem);
  throw e;
}

}  // namespace

void ElementRecorder::startMessage(const WorkerInfoPtr&) {
  used_ = 0;
  root_ = nullptr;
  open_.clear();
  attempts_.clear();
  elementRoot_ = false;
  if (texts_.size() > kMaxPooledTexts) {
    textIndex_.clear();
    texts_.clear();
  }
}

void ElementRecorder::endMessage(const WorkerInfoPtr&) {
  if (!open_.empty()) refuse("endMessage", std::to_string(open_.size()) + " element(s) still open");
}

void ElementRecorder::startEmbeddedMessage() {
  attempts_.push_back(Attempt{used_, open_.size(), open_.empty() ? nullptr : open_.back()->lastChild_});
}

void ElementRecorder::endEmbeddedMessage(bool keep, bool abandoned) {
  if (attempts_.empty()) refuse("endEmbeddedMessage", "no embedded message was started");
  const Attempt attempt = attempts_.back();
  attempts_.pop_back();
  if (keep && !abandoned) return;
  if (open_.size() < attempt.openDepth)
    refuse("endEmbeddedMessage", "the abandoned embedded message closed elements opened before it");
  open_.resize(attempt.openDepth);
  // Only the element open when the attempt began can have gained children
  // that stay linked: those of deeper elements go with their parents.
  if (!open_.empty()) {
    RecordedElement& parent = *open_.back();
    parent.lastChild_ = attempt.lastChild;
    if (attempt.lastChild) {
      attempt.lastChild->nextSibling_ = nullptr;
    } else {
      parent.firstChild_ = nullptr;
    }
  } else if (attempt.used == 0) {
    root_ = nullptr;
  }
  used_ = attempt.used;
}

RecordedElement& ElementRecorder::newElement() {
  if (used_ == elements_.size()) elements_.emplace_back();
  RecordedElement& element = elements_[used_++];
  element.firstChild_ = element.lastChild_ = element.nextSibling_ = nullptr;
  element.name_ = element.namespaceURI_ = element.valueNamespace_ = nullptr;
  element.tagId_ = element.memberId_ = element.tagIndex_ = element.memberIndex_ = -1;
  element.typeIndex_ = element.itemTypeIndex_ = element.valueTypeIndex_ = -1;
  element.kind_ = 0;
  element.hasValue_ = false;
  return element;
}

RecordedElement& ElementRecorder::appendChild(RecordedElement& parent) {
  RecordedElement& child = newElement();
  if (parent.lastChild_) {
    parent.lastChild_->nextSibling_ = &child;
  } else {
    parent.firstChild_ = &child;
  }
  parent.lastChild_ = &child;
  return child;
}

RecordedElement& ElementRecorder::openMessageContent() {
  if (!open_.empty()) return openElement();
  if (root_) refuse("startMessageContent", "message content after the root element ended");
  root_ = &newElement();
  open_.push_back(root_);
  return *root_;
}

RecordedElement& ElementRecorder::openElement() {
  if (open_.empty()) refuse("startElement", "no message content is open");
  RecordedElement& child = appendChild(*open_.back());
  open_.push_back(&child);
  return child;
}

void ElementRecorder::setDefined(RecordedElement& element, long tagId, unsigned short kind, long memberId,
                                 long xsiTypeIndex, long tagIndex, long memberIndex) {
  element.tagId_ = tagId;
  element.kind_ = kind;
  element.memberId_ = memberId;
  element.typeIndex_ = xsiTypeIndex;
  element.tagIndex_ = tagIndex;
  element.memberIndex_ = memberIndex;
}

void ElementRecorder::setSelfDefining(RecordedElement& element, const char16_t* name, const ZelWstring& namespaceURI,
                                      unsigned short kind, long memberId, long xsiTypeIndex) {
  element.name_ = pooled(name ? std::u16string_view(name) : std::u16string_view());
  element.namespaceURI_ = pooled(namespaceURI.view());
  element.kind_ = kind;
  element.memberId_ = memberId;
  element.typeIndex_ = xsiTypeIndex;
}

const ZelWstring* ElementRecorder::pooled(std::u16string_view text) {
  if (text.empty()) return nullptr;
  const auto found = textIndex_.find(text);
  if (found != textIndex_.end()) return found->second;
  const ZelWstring& kept = texts_.emplace_back(text);
  textIndex_.emplace(kept.view(), &kept);
  return &kept;
}

void ElementRecorder::close() {
  if (open_.empty()) refuse("endElement", "no element is open");
  open_.pop_back();
}

bool ElementRecorder::startMessageContent(const char16_t* name, const ZelWstring& namespaceURI,
                                          unsigned short elementKind, const WorkerInfoPtr&, long xsiTypeIndex) {
  setSelfDefining(openMessageContent(), name, namespaceURI, elementKind, -1, xsiTypeIndex);
  return true;
}

bool ElementRecorder::startMessageContent(long& tagId, unsigned short elementKind, const WorkerInfoPtr&,
                                          long memberId, long xsiTypeIndex, long tagIndex, long memberIndex) {
  setDefined(openMessageContent(), tagId, elementKind, memberId, xsiTypeIndex, tagIndex, memberIndex);
  return true;
}

void ElementRecorder::endMessageContent(long tagId, const WorkerInfoPtr&) {
  // The parser ends a message that never started content this way, also
  // one whose root is an element of its own.
  if (open_.empty() && (!root_ || elementRoot_) && tagId == -1) return;
  close();
}

void ElementRecorder::endMessageContent(const char16_t*, const ZelWstring&, const WorkerInfoPtr&) { close(); }

void ElementRecorder::startElement(long tagId, unsigned short elementKind, const WorkerInfoPtr&, long memberId,
                                   long /*occurrence*/, long xsiTypeIndex, long tagIndex, long memberIndex) {
  // A global element that is no message may be a document's root.
  const bool root = open_.empty() && !root_;
  elementRoot_ = elementRoot_ || root;
  setDefined(root ? openMessageContent() : openElement(), tagId, elementKind, memberId, xsiTypeIndex, tagIndex,
             memberIndex);
}

void ElementRecorder::startElement(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                                   const WorkerInfoPtr&, long memberId, long xsiTypeIndex) {
  setSelfDefining(openElement(), name, namespaceURI, elementKind, memberId, xsiTypeIndex);
}

// Puts values where the tree builder puts them: on the element itself, or
// in anonymous children (list items, text runs, values beside children).
void ElementRecorder::data(const PWFData& value, const WorkerInfoPtr& info, long itemTypeIndex, long listTypeIndex) {
  if (open_.empty()) refuse("data", "no element is open");
  RecordedElement& element = *open_.back();
  const ValuePlacement place = placeValue(element.kind_, element.itemTypeIndex_, element.valueTypeIndex_,
                                          element.hasValue_, element.firstChild_ != nullptr,
                                          lastValueTypeIndex(element.lastChild_), itemTypeIndex, listTypeIndex);
  if (place.splitsLoneValue) {
    RecordedElement& first = appendChild(element);
    std::swap(first.value_, element.value_);
    std::swap(first.valueNamespace_, element.valueNamespace_);
    first.hasValue_ = true;
    first.valueTypeIndex_ = element.valueTypeIndex_;
    element.itemTypeIndex_ = element.valueTypeIndex_;
    element.hasValue_ = false;
    element.valueTypeIndex_ = -1;
  }

  RecordedElement* holder = &element;
  if (!place.onElement) {
    holder = &appendChild(element);
    if (place.listItem && element.itemTypeIndex_ < 0) element.itemTypeIndex_ = itemTypeIndex;
  }
  holder->value_ = value;
  holder->hasValue_ = !value.isNothing();  // as a tree element's hasValue()
  holder->valueTypeIndex_ = itemTypeIndex;
  const bool qualified = info && info->getDataPropertyCount() > kValueNamespaceProperty;
  holder->valueNamespace_ = qualified ? pooled(info->getDataProperty(kValueNamespaceProperty).getText().view()) : nullptr;
}

}  // namespace wfxml::detail
