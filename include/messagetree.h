#ifndef MESSAGETREE_H
#define MESSAGETREE_H

#include "fihandler.h"
#include "fimessagetree.h"
#include "pwfdata.h"
#include "workerinfo.h"
#include "zelapi.h"
#include "zelwstring.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class MessageTree;

// Gives names to defined elements, which the tree keeps only as ids. The
// host implements it over its dictionary.
class ZEL_API TreeNameResolver {
public:
  virtual ~TreeNameResolver();
  // The name of the element with these ids; empty when unknown.
  virtual ZelWstring nameOf(long tagId, long memberId, long typeIndex) const = 0;
};

// Makes the dictionary of an embedded message of another message set current
// while a writer writes it. The host implements it; reference is whatever
// the element carries (a dictionary name or path). Errors are the host's.
class ZEL_API EmbeddedDictionarySwitch {
public:
  virtual ~EmbeddedDictionarySwitch();
  virtual void loadDictionary(const ZelWstring& reference) = 0;
  virtual void releaseDictionary(const ZelWstring& reference) = 0;
};

// One element of a MessageTree. The tree owns it; a TreeElement* is a
// borrowed handle that stays valid until the tree is cleared, rolled back
// past the element, or destroyed. Ids and indexes are -1 when absent.
class ZEL_API TreeElement {
public:
  TreeElement(const TreeElement&) = delete;
  TreeElement& operator=(const TreeElement&) = delete;

  TreeElement* getParent() const { return parent_; }
  TreeElement* getFirstChild() const { return firstChild_; }
  TreeElement* getLastChild() const { return lastChild_; }
  TreeElement* getNextSibling() const { return nextSibling_; }
  TreeElement* getPreviousSibling() const { return previousSibling_; }
  bool hasChildren() const { return firstChild_ != nullptr; }

  // The self-defining name ("@x" for an attribute field); empty for defined
  // elements and anonymous values. Set through MessageTree::setName.
  const ZelWstring& getName() const { return name_ ? *name_ : emptyText(); }
  const ZelWstring& getNamespaceURI() const { return namespaceURI_ ? *namespaceURI_ : emptyText(); }
  // The dictionary an embedded message of another message set needs; empty = none.
  const ZelWstring& getDictionaryRef() const { return dictionaryRef_ ? *dictionaryRef_ : emptyText(); }

  long getTagId() const { return tagId_; }
  long getMemberId() const { return memberId_; }
  long getTagIndex() const { return tagIndex_; }
  long getMemberIndex() const { return memberIndex_; }
  long getTypeIndex() const { return typeIndex_; }          // xsi:type row, as the start event gave it
  long getItemTypeIndex() const { return itemTypeIndex_; }  // >= 0: the children are list items
  // The type the parser chose for the value (a union member or list item type); -1 = none.
  long getValueTypeIndex() const { return valueTypeIndex_; }
  unsigned short getKind() const { return kind_; }
  bool isBitStream() const { return bitStream_; }
  const PWFData& getValue() const { return valueSet_ ? value_ : nothingValue(); }
  bool hasValue() const { return valueSet_ && !value_.isNothing(); }  // a null value is a value
  const WorkerInfoPtr& getStartInfo() const { return startInfo_; }
  const WorkerInfoPtr& getDataInfo() const { return dataInfo_; }
  const WorkerInfoPtr& getEndInfo() const { return endInfo_; }
  bool hasRecords() const { return startInfo_ || dataInfo_ || endInfo_; }

  void setTagId(long id) { tagId_ = id; }
  void setMemberId(long id) { memberId_ = id; }
  void setTagIndex(long index) { tagIndex_ = index; }
  void setMemberIndex(long index) { memberIndex_ = index; }
  void setTypeIndex(long index) { typeIndex_ = index; }
  void setItemTypeIndex(long index) { itemTypeIndex_ = index; }
  void setValueTypeIndex(long index) { valueTypeIndex_ = index; }
  void setKind(unsigned short kind) { kind_ = kind; }
  void setBitStream(bool bitStream) { bitStream_ = bitStream; }
  // A copy reuses the storage of the value an earlier element in the same
  // place of the tree's arena had (see MessageTree::clear).
  void setValue(const PWFData& value) {
    value_ = value;
    valueSet_ = true;
  }
  void setValue(PWFData&& value) {
    value_ = std::move(value);
    valueSet_ = true;
  }
  void setStartInfo(const WorkerInfoPtr& info) { startInfo_ = info; }
  void setDataInfo(const WorkerInfoPtr& info) { dataInfo_ = info; }
  void setEndInfo(const WorkerInfoPtr& info) { endInfo_ = info; }

private:
  friend class MessageTree;
  friend class ElementArena;
  TreeElement() = default;
  ~TreeElement() = default;
  // A place given up releases its records at once; the rest goes back to a
  // new element's state only when the place is taken again (the value's
  // storage kept), so that clearing a tree touches one cache line of each
  // element rather than three.
  void releaseRecords();
  void resetForReuse();
  // Inline: asked for every element without name or namespace.
  static const ZelWstring& emptyText() {
    static const ZelWstring empty;
    return empty;
  }
  static const PWFData& nothingValue() {
    static const PWFData nothing;
    return nothing;
  }

  // The links and the records share the first cache line: building an
  // element writes the links, and clearing the tree reads only the records.
  TreeElement* parent_ = nullptr;
  TreeElement* firstChild_ = nullptr;
  TreeElement* lastChild_ = nullptr;
  TreeElement* nextSibling_ = nullptr;
  TreeElement* previousSibling_ = nullptr;
  WorkerInfoPtr startInfo_;
  WorkerInfoPtr dataInfo_;
  WorkerInfoPtr endInfo_;
  const ZelWstring* name_ = nullptr;  // pooled by the tree; null = empty
  const ZelWstring* namespaceURI_ = nullptr;
  const ZelWstring* dictionaryRef_ = nullptr;
  long tagId_ = -1;
  long memberId_ = -1;
  long tagIndex_ = -1;
  long memberIndex_ = -1;
  long typeIndex_ = -1;
  long itemTypeIndex_ = -1;
  long valueTypeIndex_ = -1;
  unsigned short kind_ = 0;
  bool bitStream_ = false;
  bool discarded_ = false;  // scratch mark of rollBackTo
  bool valueSet_ = false;   // value_ is this element's (else a recycled one's storage)
  PWFData value_;
};

// A cursor over a MessageTree: a borrowed, copyable handle (two pointers).
class ZEL_API MessageTreeIterator final : public FITreeIterator {
public:
  MessageTreeIterator(const MessageTree& tree, const TreeElement& element) : tree_(&tree), element_(&element) {}

  const TreeElement& element() const { return *element_; }

  // Inline: a walk through the final class moves without a call.
  bool moveToFirstChild() override { return moveTo(element_->getFirstChild()); }
  bool moveToNextSibling() override { return moveTo(element_->getNextSibling()); }
  bool moveToParent() override { return moveTo(element_->getParent()); }
  long getTagId() const override { return element_->getTagId(); }
  long getMemberId() const override { return element_->getMemberId(); }
  long getTagIndex() const override { return element_->getTagIndex(); }
  long getMemberIndex() const override { return element_->getMemberIndex(); }
  long getTypeIndex() const override { return element_->getTypeIndex(); }
  long getItemTypeIndex() const override { return element_->getItemTypeIndex(); }
  long getValueTypeIndex() const override { return element_->getValueTypeIndex(); }
  unsigned short getCategory() const override { return element_->getKind(); }
  const PWFData& getValue() const override { return element_->getValue(); }
  const WorkerInfoPtr& getStartWorkerInfo() const override { return element_->getStartInfo(); }
  const WorkerInfoPtr& getDataWorkerInfo() const override { return element_->getDataInfo(); }
  const WorkerInfoPtr& getEndWorkerInfo() const override { return element_->getEndInfo(); }
  const ZelWstring& getNamespaceURI() const override { return element_->getNamespaceURI(); }
  bool isBitStream() const override { return element_->isBitStream(); }
  const ZelWstring& getTagName() const override;
  // Throw ZelFatalException CP_TREE_ERROR when the element carries a
  // dictionary reference but the tree has no EmbeddedDictionarySwitch.
  void loadDictionaryAndDescriptor() override;
  void releaseDictionaryAndDescriptor() override;

private:
  bool moveTo(const TreeElement* element) {
    if (!element) return false;
    element_ = element;
    return true;
  }

  const MessageTree* tree_;
  const TreeElement* element_;
};

// The host's message tree: the records of the message's start and end, and
// one root element with its descendants. The tree owns every element and
// frees them all at once; nothing recurses, so trees of any depth can be
// built, walked and destroyed.
class ZEL_API MessageTree final : public FIMessageTree {
public:
  MessageTree();
  MessageTree(const MessageTree&) = delete;
  MessageTree& operator=(const MessageTree&) = delete;
  ~MessageTree() override;

  std::unique_ptr<FITreeIterator> getRootIterator() const override;
  const WorkerInfoPtr& getStartMsgInfo() const override { return startMsgInfo_; }
  const WorkerInfoPtr& getEndMsgInfo() const override { return endMsgInfo_; }
  void setStartMsgInfo(const WorkerInfoPtr& info) { startMsgInfo_ = info; }
  void setEndMsgInfo(const WorkerInfoPtr& info) { endMsgInfo_ = info; }

  TreeElement* getRoot() const { return root_; }
  bool empty() const { return root_ == nullptr; }
  std::size_t elementCount() const;

  // A new element with every id -1, kind 0 and no value. createRoot throws
  // ZelFatalException CP_TREE_ERROR when the tree has a root already.
  TreeElement& createRoot();
  TreeElement& appendChild(TreeElement& parent);
  // Takes a child, with everything under it, out of its parent's children.
  // Its place is given back when the tree is cleared or rolled back past it.
  void unlink(TreeElement& child);
  // Texts are pooled: elements with equal names share one copy.
  void setName(TreeElement& element, std::u16string_view name);
  void setNamespaceURI(TreeElement& element, std::u16string_view uri);
  void setDictionaryRef(TreeElement& element, std::u16string_view reference);
  // Removes every element and both message records. The elements' places
  // are kept, with the storage of their values, so that a tree built again
  // and again (one message after another) copies values without allocating.
  void clear();

  // A point to roll back to: rollBackTo removes every element created
  // since, unlinking it from its parent (the root too, if it is younger).
  // Changes made since to older elements stay.
  struct Mark {
    std::size_t elementCount;
  };
  Mark mark() const;
  void rollBackTo(Mark mark);

  // Both are borrowed and must outlive their use by the tree and its iterators.
  void setNameResolver(const TreeNameResolver* resolver);
  const TreeNameResolver* getNameResolver() const { return resolver_; }
  void setDictionarySwitch(EmbeddedDictionarySwitch* dictionarySwitch) { dictionarySwitch_ = dictionarySwitch; }
  EmbeddedDictionarySwitch* getDictionarySwitch() const { return dictionarySwitch_; }

  // The element's own name, else its resolved dictionary name (cached until
  // the resolver changes), else empty.
  const ZelWstring& displayName(const TreeElement& element) const;

private:
  struct Impl;
  const ZelWstring* pooled(std::u16string_view text);

  std::unique_ptr<Impl> impl_;
  TreeElement* root_ = nullptr;
  WorkerInfoPtr startMsgInfo_;
  WorkerInfoPtr endMsgInfo_;
  const TreeNameResolver* resolver_ = nullptr;
  EmbeddedDictionarySwitch* dictionarySwitch_ = nullptr;
};

// Builds a MessageTree from parse events.
//
// The first startMessageContent creates the root; later ones, and the start
// events of elements, open children of the innermost open element. A data
// event gives the open element its value when the element is a field (kinds
// 0, 1, 9, 12), has no value or children yet and the value is not a list
// item; otherwise the value goes into an anonymous child (no name, tag id
// -1, kind 0). List items are values typed with an item type inside a list:
// a list type index is given, the element is a list (kind 12) or already
// holds list items, or a second typed value arrives for an element that has
// a typed value of its own (which then becomes the first item).
// The occurrence of startElement is not kept (the parser always sends 0).
// startEmbeddedMessage opens an attempt that endEmbeddedMessage(keep=false or
// abandoned=true) removes again with everything built since.
//
// Every event that does not fit (a value or end with nothing open, a second
// root, an end of message with elements still open, an abandoned attempt
// that closed elements opened before it) throws ZelFatalException
// CP_TREE_ERROR with the inserts: the event's name, what is wrong. The tree
// stays consistent, but the message is incomplete.
class ZEL_API TreeBuilder final : public FIHandler {
public:
  // Borrows tree, which must outlive the builder; startMessage requires it empty.
  explicit TreeBuilder(MessageTree& tree) : tree_(&tree) {}
  // Builds into tree from now on as a new builder would, keeping what its
  // stacks allocated (a session builds one message after another).
  void restartOn(MessageTree& tree);

  void startMessage(const WorkerInfoPtr& startInfo) override;
  void endMessage(const WorkerInfoPtr& endInfo) override;
  void startEmbeddedMessage() override;
  void endEmbeddedMessage(bool keep, bool abandoned) override;
  bool startMessageContent(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                           const WorkerInfoPtr& startInfo, long xsiTypeIndex) override;
  // Keeps tagId unchanged and accepts.
  bool startMessageContent(long& tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo, long memberId,
                           long xsiTypeIndex, long tagIndex, long memberIndex) override;
  // A message without content (no element open, no root), or whose root
  // came by startElement (a global element that is no message), ends with
  // tag id -1; that end is accepted and changes nothing.
  void endMessageContent(long tagId, const WorkerInfoPtr& endInfo) override;
  void endMessageContent(const char16_t* name, const ZelWstring& namespaceURI, const WorkerInfoPtr& endInfo) override;
  void startElement(long tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo, long memberId,
                    long occurrence, long xsiTypeIndex, long tagIndex, long memberIndex) override;
  void startElement(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                    const WorkerInfoPtr& startInfo, long memberId, long xsiTypeIndex) override;
  // End events close the innermost open element; their ids and names are
  // not compared with its own (the parser ends some by-name starts by id).
  void endElement(long tagId, const WorkerInfoPtr& endInfo) override;
  void endElement(const char16_t* name, const ZelWstring& namespaceURI, const WorkerInfoPtr& endInfo) override;
  void data(const PWFData& value, const WorkerInfoPtr& info, long itemTypeIndex, long listTypeIndex) override;

  std::size_t openDepth() const { return open_.size(); }

private:
  struct Attempt {
    MessageTree::Mark mark;
    std::size_t openDepth;
  };

  TreeElement& openMessageContent(const char* event);
  TreeElement& openElement(const char* event);
  void setSelfDefining(TreeElement& element, const char16_t* name, const ZelWstring& namespaceURI,
                       unsigned short kind, const WorkerInfoPtr& startInfo, long memberId, long xsiTypeIndex);
  void close(const char* event, const WorkerInfoPtr& endInfo);

  MessageTree* tree_;
  std::vector<TreeElement*> open_;
  std::vector<Attempt> attempts_;
  bool elementRoot_ = false;  // the root came as an element, not as message content
};

// The tree as indented text, one line per element, two blanks per level,
// under a first line "message" with the message records. Deterministic.
// A line (the root is at level 1):
//   {tagId}name kind=K ns="uri" member=M tagIndex=T memberIndex=I type=X
//   itemType=L valueType=V dict="ref" bitstream = Type:value start={..}
//   data={..} end={..}
// where only what is present appears: {tagId} when the tag id is not -1, the
// element's name or its resolved dictionary name, "(anonymous)" when it has
// neither; ids that are -1 are left out. Values and records are printed as
// TraceText prints them. Lines deeper than level 50 keep the indentation of
// level 50 and start with "[level] ".
ZEL_API std::string treeToText(const MessageTree& tree);

// The tree as JSON, with everything needed to rebuild it exactly:
//   {"format": "message-tree", "version": 1,
//    "startMessage": RECORD, "endMessage": RECORD,       (absent = null)
//    "root": ELEMENT}                                     (absent = empty tree)
//   ELEMENT: {"kind": 0..65535, "name": "@a", "namespace": "urn:x",
//             "tagId", "memberId", "tagIndex", "memberIndex", "typeIndex",
//             "itemTypeIndex", "valueTypeIndex": integers (absent = -1),
//             "dictionary": "ref", "bitStream": true (needs a Binary value),
//             "value": VALUE, "start"/"data"/"end": RECORD,
//             "children": [ELEMENT, ...]}                 (only "kind" is required)
//   RECORD: [VALUE, ...], one per property (key = position).
//   VALUE: {"type": "None"} (nothing), {"type": "None", "text": "raw"} (untyped),
//          {"type": T, "null": true}, {"type": "String"|"Decimal", "text": "..."},
//          {"type": "Integer", "value": 42}, {"type": "Boolean", "value": true},
//          {"type": "Float", "value": 1.5 | "INF" | "-INF" | "NaN"},
//          {"type": "Binary", "hex": "0A1F"},
//          {"type": "Interval", "negative": true, "years", "months", "days",
//           "hours", "minutes", "seconds": integers, "fraction": "digits"},
//          {"type": "DateTime", "year", "month", "day", "hour", "minute",
//           "second": integers, "fraction": "digits", "zone": "Z"|"+hh:mm"}
//          (absent fields are unset).
// Floats are written in their shortest round-trip form. Strings are UTF-8:
// an unpaired surrogate becomes U+FFFD, and any NaN reads back as the quiet NaN.
ZEL_API std::string treeToJson(const MessageTree& tree);

// Replaces the contents of tree with the tree the JSON describes. Throws
// ZelFatalException CP_TREE_ERROR with the inserts: the JSON path of the
// fault ("$.root.children[2].value.hex"), what is wrong. The tree is empty
// after a failure. Nesting is limited only by memory.
ZEL_API void treeFromJson(std::string_view json, MessageTree& tree);

#endif
