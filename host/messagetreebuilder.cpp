// TreeBuilder: the FIHandler that builds a MessageTree (declared in messagetree.h).
#include "messagetree.h"

#include "valueplacement.h"
#include "treeerror.h"

#include <string>

namespace {

std::u16string_view viewOf(const char16_t* text) {
  return text ? std::u16string_view(text) : std::u16string_view();
}

void setDefinedElement(TreeElement& element, long tagId, unsigned short kind, const WorkerInfoPtr& startInfo,
                       long memberId, long xsiTypeIndex, long tagIndex, long memberIndex) {
  element.setTagId(tagId);
  element.setKind(kind);
  element.setStartInfo(startInfo);
  element.setMemberId(memberId);
  element.setTypeIndex(xsiTypeIndex);
  element.setTagIndex(tagIndex);
  element.setMemberIndex(memberIndex);
}

}  // namespace

void TreeBuilder::restartOn(MessageTree& tree) {
  tree_ = &tree;
  open_.clear();
  attempts_.clear();
  elementRoot_ = false;
}

void TreeBuilder::startMessage(const WorkerInfoPtr& startInfo) {
  if (!tree_->empty() || !open_.empty())
    throwTreeError(__FILE__, __LINE__, "TreeBuilder::startMessage", "startMessage", "the tree holds a message already");
  tree_->setStartMsgInfo(startInfo);
}

void TreeBuilder::endMessage(const WorkerInfoPtr& endInfo) {
  if (!open_.empty())
    throwTreeError(__FILE__, __LINE__, "TreeBuilder::endMessage", "endMessage",
                   std::to_string(open_.size()) + " element(s) still open");
  tree_->setEndMsgInfo(endInfo);
}

void TreeBuilder::startEmbeddedMessage() { attempts_.push_back(Attempt{tree_->mark(), open_.size()}); }

void TreeBuilder::endEmbeddedMessage(bool keep, bool abandoned) {
  if (attempts_.empty())
    throwTreeError(__FILE__, __LINE__, "TreeBuilder::endEmbeddedMessage", "endEmbeddedMessage",
                   "no embedded message was started");
  const Attempt attempt = attempts_.back();
  attempts_.pop_back();
  if (keep && !abandoned) return;
  if (open_.size() < attempt.openDepth)
    throwTreeError(__FILE__, __LINE__, "TreeBuilder::endEmbeddedMessage", "endEmbeddedMessage",
                   "the abandoned embedded message closed elements opened before it");
  open_.resize(attempt.openDepth);
  tree_->rollBackTo(attempt.mark);
}

TreeElement& TreeBuilder::openMessageContent(const char* event) {
  if (!open_.empty()) return openElement(event);
  if (!tree_->empty())
    throwTreeError(__FILE__, __LINE__, "TreeBuilder::startMessageContent", event,
                   "message content after the root element ended");
  TreeElement& root = tree_->createRoot();
  open_.push_back(&root);
  return root;
}

TreeElement& TreeBuilder::openElement(const char* event) {
  if (open_.empty())
    throwTreeError(__FILE__, __LINE__, "TreeBuilder::startElement", event, "no message content is open");
  TreeElement& child = tree_->appendChild(*open_.back());
  open_.push_back(&child);
  return child;
}

void TreeBuilder::setSelfDefining(TreeElement& element, const char16_t* name, const ZelWstring& namespaceURI,
                                  unsigned short kind, const WorkerInfoPtr& startInfo, long memberId,
                                  long xsiTypeIndex) {
  tree_->setName(element, viewOf(name));
  tree_->setNamespaceURI(element, namespaceURI.view());
  element.setKind(kind);
  element.setStartInfo(startInfo);
  element.setMemberId(memberId);
  element.setTypeIndex(xsiTypeIndex);
}

void TreeBuilder::close(const char* event, const WorkerInfoPtr& endInfo) {
  if (open_.empty()) throwTreeError(__FILE__, __LINE__, "TreeBuilder::close", event, "no element is open");
  open_.back()->setEndInfo(endInfo);
  open_.pop_back();
}

bool TreeBuilder::startMessageContent(const char16_t* name, const ZelWstring& namespaceURI,
                                      unsigned short elementKind, const WorkerInfoPtr& startInfo,
                                      long xsiTypeIndex) {
  setSelfDefining(openMessageContent("startMessageContent"), name, namespaceURI, elementKind, startInfo, -1,
                  xsiTypeIndex);
  return true;
}

bool TreeBuilder::startMessageContent(long& tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo,
                                      long memberId, long xsiTypeIndex, long tagIndex, long memberIndex) {
  setDefinedElement(openMessageContent("startMessageContent"), tagId, elementKind, startInfo, memberId, xsiTypeIndex,
                    tagIndex, memberIndex);
  return true;
}

void TreeBuilder::endMessageContent(long tagId, const WorkerInfoPtr& endInfo) {
  // The parser ends a message that never started content this way, also
  // one whose root is an element of its own.
  if (open_.empty() && (tree_->empty() || elementRoot_) && tagId == -1) return;
  close("endMessageContent", endInfo);
}

void TreeBuilder::endMessageContent(const char16_t*, const ZelWstring&, const WorkerInfoPtr& endInfo) {
  close("endMessageContent", endInfo);
}

void TreeBuilder::startElement(long tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo, long memberId,
                               long /*occurrence*/, long xsiTypeIndex, long tagIndex, long memberIndex) {
  // A global element that is no message may be a document's root, as it
  // may be in any schema-valid document: it is the tree's root then.
  const bool root = open_.empty() && tree_->empty();
  elementRoot_ = elementRoot_ || root;
  setDefinedElement(root ? openMessageContent("startElement") : openElement("startElement"), tagId, elementKind, startInfo, memberId, xsiTypeIndex, tagIndex,
                    memberIndex);
}

void TreeBuilder::startElement(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                               const WorkerInfoPtr& startInfo, long memberId, long xsiTypeIndex) {
  setSelfDefining(openElement("startElement"), name, namespaceURI, elementKind, startInfo, memberId, xsiTypeIndex);
}

void TreeBuilder::endElement(long, const WorkerInfoPtr& endInfo) { close("endElement", endInfo); }

void TreeBuilder::endElement(const char16_t*, const ZelWstring&, const WorkerInfoPtr& endInfo) {
  close("endElement", endInfo);
}

void TreeBuilder::data(const PWFData& value, const WorkerInfoPtr& info, long itemTypeIndex, long listTypeIndex) {
  if (open_.empty()) throwTreeError(__FILE__, __LINE__, "TreeBuilder::data", "data", "no element is open");
  TreeElement& element = *open_.back();
  const ValuePlacement place =
      placeValue(element.getKind(), element.getItemTypeIndex(), element.getValueTypeIndex(), element.hasValue(),
                 element.hasChildren(), lastValueTypeIndex(element.getLastChild()), itemTypeIndex, listTypeIndex);
  if (place.splitsLoneValue) {
    TreeElement& first = tree_->appendChild(element);
    first.setValue(element.getValue());
    first.setDataInfo(element.getDataInfo());
    first.setValueTypeIndex(element.getValueTypeIndex());
    element.setItemTypeIndex(element.getValueTypeIndex());
    element.setValue(PWFData());
    element.setDataInfo(WorkerInfoPtr());
    element.setValueTypeIndex(-1);
  }

  if (place.onElement) {
    element.setValue(value);
    element.setDataInfo(info);
    element.setValueTypeIndex(itemTypeIndex);
    return;
  }

  TreeElement& anonymous = tree_->appendChild(element);
  anonymous.setValue(value);
  anonymous.setDataInfo(info);
  anonymous.setValueTypeIndex(itemTypeIndex);
  if (place.listItem && element.getItemTypeIndex() < 0) element.setItemTypeIndex(itemTypeIndex);
}
