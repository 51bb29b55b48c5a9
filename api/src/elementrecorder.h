#ifndef WFXML_SRC_ELEMENTRECORDER_H
#define WFXML_SRC_ELEMENTRECORDER_H

// What the typed mapping reads of a message, recorded straight from the
// parse events: for the conversions that hand out typed data and never a
// message tree. Its elements have the tree's shape (the same values on the
// same elements, anonymous values where the tree builder makes them), so
// the typed walk reads both alike, but keep only what the walk needs and
// are reused from message to message with their values' storage.

#include "fihandler.h"
#include "pwfdata.h"
#include "zelwstring.h"

#include <cstddef>
#include <deque>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace wfxml::detail {

// One recorded element; ids and indexes are -1 when absent, as in the tree.
class RecordedElement {
public:
  const RecordedElement* getFirstChild() const { return firstChild_; }
  const RecordedElement* getNextSibling() const { return nextSibling_; }
  bool hasChildren() const { return firstChild_ != nullptr; }
  const ZelWstring& getName() const { return name_ ? *name_ : empty(); }  // self-defining only
  const ZelWstring& getNamespaceURI() const { return namespaceURI_ ? *namespaceURI_ : empty(); }
  long getTagId() const { return tagId_; }
  long getMemberId() const { return memberId_; }
  long getTagIndex() const { return tagIndex_; }
  long getMemberIndex() const { return memberIndex_; }
  long getTypeIndex() const { return typeIndex_; }
  long getValueTypeIndex() const { return valueTypeIndex_; }
  long getItemTypeIndex() const { return itemTypeIndex_; }  // >= 0: the children are list items
  bool hasValue() const { return hasValue_; }
  const PWFData& getValue() const { return hasValue_ ? value_ : nothing(); }
  // The namespace the prefix of its QName value stood for, or null.
  const ZelWstring* getValueNamespace() const { return valueNamespace_; }

private:
  friend class ElementRecorder;
  static const ZelWstring& empty() {
    static const ZelWstring text;
    return text;
  }
  static const PWFData& nothing() {
    static const PWFData value;
    return value;
  }

  RecordedElement* firstChild_ = nullptr;
  RecordedElement* lastChild_ = nullptr;
  RecordedElement* nextSibling_ = nullptr;
  const ZelWstring* name_ = nullptr;
  const ZelWstring* namespaceURI_ = nullptr;
  const ZelWstring* valueNamespace_ = nullptr;
  long tagId_ = -1;
  long memberId_ = -1;
  long tagIndex_ = -1;
  long memberIndex_ = -1;
  long typeIndex_ = -1;
  long itemTypeIndex_ = -1;
  long valueTypeIndex_ = -1;
  unsigned short kind_ = 0;
  bool hasValue_ = false;
  PWFData value_;  // kept when the element is reused: assigning a value reuses its storage
};

// Records one message at a time; startMessage forgets the previous one.
// Refuses event sequences a tree builder refuses, with CP_TREE_ERROR.
class ElementRecorder final : public FIHandler {
public:
  // The message element; null before it starts (or for a message without content).
  const RecordedElement* root() const { return root_; }

  void startMessage(const WorkerInfoPtr& startInfo) override;
  void endMessage(const WorkerInfoPtr& endInfo) override;
  void startEmbeddedMessage() override;
  void endEmbeddedMessage(bool keep, bool abandoned) override;
  bool startMessageContent(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                           const WorkerInfoPtr& startInfo, long xsiTypeIndex) override;
  bool startMessageContent(long& tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo, long memberId,
                           long xsiTypeIndex, long tagIndex, long memberIndex) override;
  void endMessageContent(long tagId, const WorkerInfoPtr& endInfo) override;
  void endMessageContent(const char16_t* name, const ZelWstring& namespaceURI, const WorkerInfoPtr& endInfo) override;
  void startElement(long tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo, long memberId,
                    long occurrence, long xsiTypeIndex, long tagIndex, long memberIndex) override;
  void startElement(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                    const WorkerInfoPtr& startInfo, long memberId, long xsiTypeIndex) override;
  void endElement(long tagId, const WorkerInfoPtr& endInfo) override { close(); }
  void endElement(const char16_t* name, const ZelWstring& namespaceURI, const WorkerInfoPtr& endInfo) override {
    close();
  }
  void data(const PWFData& value, const WorkerInfoPtr& info, long itemTypeIndex, long listTypeIndex) override;

private:
  // An embedded message under way: what its abandoning takes back.
  struct Attempt {
    std::size_t used;
    std::size_t openDepth;
    RecordedElement* lastChild;  // of the element open when it began
  };

  RecordedElement& newElement();
  RecordedElement& appendChild(RecordedElement& parent);
  RecordedElement& openMessageContent();
  RecordedElement& openElement();
  void setDefined(RecordedElement& element, long tagId, unsigned short kind, long memberId, long xsiTypeIndex,
                  long tagIndex, long memberIndex);
  void setSelfDefining(RecordedElement& element, const char16_t* name, const ZelWstring& namespaceURI,
                       unsigned short kind, long memberId, long xsiTypeIndex);
  void close();
  // One ZelWstring per text, for the message (the walk tells namespaces
  // apart by their address); null for an empty text.
  const ZelWstring* pooled(std::u16string_view text);

  std::deque<RecordedElement> elements_;  // a deque: elements stay where they are while more are added
  std::size_t used_ = 0;                  // of elements_, by this message
  RecordedElement* root_ = nullptr;
  std::vector<RecordedElement*> open_;
  std::vector<Attempt> attempts_;
  bool elementRoot_ = false;  // the root is a global element that is no message
  std::deque<ZelWstring> texts_;
  std::unordered_map<std::u16string_view, const ZelWstring*> textIndex_;  // views of texts_
};

}  // namespace wfxml::detail

#endif
