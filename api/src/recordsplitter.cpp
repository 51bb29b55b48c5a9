#include "recordsplitter.h"

namespace wfxml::detail {

RecordPattern::RecordPattern(std::string_view pattern) {
  anchored_ = !pattern.empty() && pattern.front() == '/';
  if (anchored_) pattern.remove_prefix(1);
  while (!pattern.empty()) {
    const std::size_t slash = pattern.find('/');
    names_.emplace_back(pattern.substr(0, slash));
    pattern.remove_prefix(slash == std::string_view::npos ? pattern.size() : slash + 1);
  }
}

bool RecordPattern::matches(const std::vector<std::string>& openNames) const {
  if (names_.empty() || openNames.size() < names_.size()) return false;
  if (anchored_ && openNames.size() != names_.size()) return false;
  return std::equal(names_.rbegin(), names_.rend(), openNames.rbegin());
}

RecordSplitter::RecordSplitter(const Definitions& definitions, MessageTree& tree, const RecordPattern& pattern,
                               const std::function<void(const MessageTree&)>& onRecord)
    : tree_(tree),
      builder_(tree),
      pattern_(pattern),
      onRecord_(onRecord),
      seeEvent_([this](const Event& event) { see(event); }),
      events_(definitions, seeEvent_) {}

void RecordSplitter::see(const Event& event) {
  seen_ = true;
  depth_ = event.depth;
  isAttribute_ = event.isAttribute;
  name_ = event.name;
}

void RecordSplitter::startMessage(const WorkerInfoPtr& startInfo) {
  tree_.clear();
  openNames_.clear();
  open_.clear();
  recordDepth_ = -1;
  events_.startMessage(startInfo);
  builder_.startMessage(startInfo);
}

void RecordSplitter::endMessage(const WorkerInfoPtr& endInfo) {
  events_.endMessage(endInfo);
  builder_.endMessage(endInfo);
}

void RecordSplitter::opening() {
  openNames_.resize(static_cast<std::size_t>(depth_));
  openNames_.emplace_back(name_);
  if (inRecord()) return;
  if (!isAttribute_ && pattern_.matches(openNames_)) {
    recordDepth_ = depth_;
    recordMark_ = tree_.mark();
    return;
  }
  open_.push_back(Open{tree_.mark(), isAttribute_});
}

void RecordSplitter::closed() {
  if (!seen_) return;  // the end of a message without content
  if (inRecord()) {
    if (depth_ != recordDepth_) return;
    onRecord_(tree_);
    tree_.rollBackTo(recordMark_);
    recordDepth_ = -1;
    return;
  }
  const Open element = open_.back();
  open_.pop_back();
  // The message element stays: the builder still closes the message.
  if (!element.isAttribute && depth_ > 0) tree_.rollBackTo(element.mark);
}

bool RecordSplitter::startMessageContent(const char16_t* name, const ZelWstring& namespaceURI,
                                         unsigned short elementKind, const WorkerInfoPtr& startInfo,
                                         long xsiTypeIndex) {
  events_.startMessageContent(name, namespaceURI, elementKind, startInfo, xsiTypeIndex);
  opening();
  return builder_.startMessageContent(name, namespaceURI, elementKind, startInfo, xsiTypeIndex);
}

bool RecordSplitter::startMessageContent(long& tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo,
                                         long memberId, long xsiTypeIndex, long tagIndex, long memberIndex) {
  events_.startMessageContent(tagId, elementKind, startInfo, memberId, xsiTypeIndex, tagIndex, memberIndex);
  opening();
  return builder_.startMessageContent(tagId, elementKind, startInfo, memberId, xsiTypeIndex, tagIndex, memberIndex);
}

void RecordSplitter::endMessageContent(long tagId, const WorkerInfoPtr& endInfo) {
  seen_ = false;
  events_.endMessageContent(tagId, endInfo);
  builder_.endMessageContent(tagId, endInfo);
  closed();
}

void RecordSplitter::endMessageContent(const char16_t* name, const ZelWstring& namespaceURI,
                                       const WorkerInfoPtr& endInfo) {
  seen_ = false;
  events_.endMessageContent(name, namespaceURI, endInfo);
  builder_.endMessageContent(name, namespaceURI, endInfo);
  closed();
}

void RecordSplitter::startElement(long tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo,
                                  long memberId, long occurrence, long xsiTypeIndex, long tagIndex,
                                  long memberIndex) {
  events_.startElement(tagId, elementKind, startInfo, memberId, occurrence, xsiTypeIndex, tagIndex, memberIndex);
  opening();
  builder_.startElement(tagId, elementKind, startInfo, memberId, occurrence, xsiTypeIndex, tagIndex, memberIndex);
}

void RecordSplitter::startElement(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                                  const WorkerInfoPtr& startInfo, long memberId, long xsiTypeIndex) {
  events_.startElement(name, namespaceURI, elementKind, startInfo, memberId, xsiTypeIndex);
  opening();
  builder_.startElement(name, namespaceURI, elementKind, startInfo, memberId, xsiTypeIndex);
}

void RecordSplitter::endElement(long tagId, const WorkerInfoPtr& endInfo) {
  seen_ = false;
  events_.endElement(tagId, endInfo);
  builder_.endElement(tagId, endInfo);
  closed();
}

void RecordSplitter::endElement(const char16_t* name, const ZelWstring& namespaceURI, const WorkerInfoPtr& endInfo) {
  seen_ = false;
  events_.endElement(name, namespaceURI, endInfo);
  builder_.endElement(name, namespaceURI, endInfo);
  closed();
}

void RecordSplitter::data(const PWFData& value, const WorkerInfoPtr& info, long itemTypeIndex, long listTypeIndex) {
  // Outside records only attributes keep their values.
  if (inRecord() || (!open_.empty() && open_.back().isAttribute))
    builder_.data(value, info, itemTypeIndex, listTypeIndex);
}

}  // namespace wfxml::detail
