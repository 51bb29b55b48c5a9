#include "eventstream.h"

#include "definitions.h"
#include "elementkinds.h"
#include "utf8.h"

namespace wfxml::detail {

EventStream::EventStream(const Definitions& definitions, const std::function<void(const Event&)>& onEvent)
    : definitions_(definitions), onEvent_(onEvent) {}

void EventStream::send(EventKind kind) {
  event_.kind = kind;
  onEvent_(event_);
}

void EventStream::startMessage(const WorkerInfoPtr&) {
  depth_ = 0;
  event_ = Event{};
  send(EventKind::StartMessage);
}

void EventStream::endMessage(const WorkerInfoPtr&) {
  event_ = Event{};
  send(EventKind::EndMessage);
}

EventStream::Frame& EventStream::push(unsigned short kind) {
  if (depth_ > 0) frames_[depth_ - 1].hasChildren = true;
  if (depth_ == frames_.size()) frames_.emplace_back();
  Frame& frame = frames_[depth_++];
  frame.kind = kind;
  frame.hasValue = false;
  frame.hasChildren = false;
  return frame;
}

void EventStream::openDefined(long tagId, unsigned short kind, long memberId, long tagIndex, long memberIndex) {
  Frame& frame = push(kind);
  frame.definition = definitions_.find(tagId, memberId, kind, tagIndex, memberIndex);
  frame.name.clear();
  frame.namespaceUri.clear();
  frame.isAttribute = frame.definition && frame.definition->isAttribute;
  frame.isSelfDefining = false;
  sendStart(frame);
}

void EventStream::openSelfDefining(const char16_t* name, const ZelWstring& namespaceURI, unsigned short kind) {
  Frame& frame = push(kind);
  frame.definition = nullptr;
  std::u16string_view text(name ? name : u"");
  frame.isAttribute = isSelfDefiningAttribute(text, namespaceURI.view());
  if (!text.empty() && text.front() == u'@') text.remove_prefix(1);
  assignUtf8(frame.name, text);
  assignUtf8(frame.namespaceUri, namespaceURI.view());
  frame.isSelfDefining = !text.empty();
  sendStart(frame);
}

void EventStream::describe(const Frame* frame, std::size_t depth) {
  if (frame && frame->definition) {
    event_.name = frame->definition->name;
    event_.namespaceUri = frame->definition->namespaceUri;
  } else {
    event_.name = frame ? std::string_view(frame->name) : std::string_view();
    event_.namespaceUri = frame ? std::string_view(frame->namespaceUri) : std::string_view();
  }
  event_.isAttribute = frame && frame->isAttribute;
  event_.isSelfDefining = frame && frame->isSelfDefining;
  event_.depth = static_cast<int>(depth);
}

void EventStream::sendStart(const Frame& frame) {
  describe(&frame, depth_ - 1);
  event_.value = Value();
  send(EventKind::StartElement);
}

void EventStream::close() {
  // A message without content ends without having started any.
  if (depth_ == 0) return;
  describe(&frames_[depth_ - 1], depth_ - 1);
  event_.value = Value();
  --depth_;
  send(EventKind::EndElement);
}

bool EventStream::startMessageContent(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                                      const WorkerInfoPtr&, long) {
  openSelfDefining(name, namespaceURI, elementKind);
  return true;
}

bool EventStream::startMessageContent(long& tagId, unsigned short elementKind, const WorkerInfoPtr&, long memberId,
                                      long, long tagIndex, long memberIndex) {
  openDefined(tagId, elementKind, memberId, tagIndex, memberIndex);
  return true;
}

void EventStream::startElement(long tagId, unsigned short elementKind, const WorkerInfoPtr&, long memberId, long,
                               long, long tagIndex, long memberIndex) {
  openDefined(tagId, elementKind, memberId, tagIndex, memberIndex);
}

void EventStream::startElement(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                               const WorkerInfoPtr&, long, long) {
  openSelfDefining(name, namespaceURI, elementKind);
}

void EventStream::data(const PWFData& value, const WorkerInfoPtr&, long, long listTypeIndex) {
  Frame* open = depth_ > 0 ? &frames_[depth_ - 1] : nullptr;
  // A field holds its value itself (as the tree builder decides); values
  // inside other elements, a list's items too, are anonymous.
  const bool ownValue =
      open && isFieldKind(open->kind) && !open->hasValue && !open->hasChildren && listTypeIndex < 0;
  if (ownValue) {
    open->hasValue = true;
    describe(open, depth_ - 1);
  } else {
    if (open) open->hasChildren = true;
    describe(nullptr, depth_);
  }
  event_.value = Value(&value);
  send(EventKind::Value);
}

}  // namespace wfxml::detail
