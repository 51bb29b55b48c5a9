#ifndef FIMESSAGETREE_H
#define FIMESSAGETREE_H

#include "pwfdata.h"
#include "workerinfo.h"
#include "zelapi.h"
#include "zelwstring.h"

#include <memory>

// A position in a message tree, as a writer walks it. The iterator borrows
// the tree: it and every reference it returns stay valid until the tree is
// changed or destroyed. Queries describe the element under the iterator;
// -1 stands for "none" in every index and id.
class ZEL_API FITreeIterator {
public:
  virtual ~FITreeIterator();

  // Navigation. Each returns false and stays where it is when there is no
  // such element (no children, last sibling, the root).
  virtual bool moveToFirstChild() = 0;
  virtual bool moveToNextSibling() = 0;
  virtual bool moveToParent() = 0;

  virtual long getTagId() const = 0;        // dictionary element id; > 0 for defined elements
  virtual long getMemberId() const = 0;     // dictionary type-member id
  virtual long getTagIndex() const = 0;     // element-definition row
  virtual long getMemberIndex() const = 0;  // type-member row
  virtual long getTypeIndex() const = 0;    // the explicit (xsi:type) type row
  // The item type of a list-valued element; its items are anonymous
  // children. -1 when the value is not a list.
  virtual long getItemTypeIndex() const = 0;
  // The type the parser chose for the value: the member of a union, the
  // item type of a list item. -1 when none was recorded.
  virtual long getValueTypeIndex() const = 0;
  // The host's element kind code (field, structure and message families).
  virtual unsigned short getCategory() const = 0;
  // The element's own value; "nothing" when it has none.
  virtual const PWFData& getValue() const = 0;
  // Records the parser kept with the element's start, value and end; null when absent.
  virtual const WorkerInfoPtr& getStartWorkerInfo() const = 0;
  virtual const WorkerInfoPtr& getDataWorkerInfo() const = 0;
  virtual const WorkerInfoPtr& getEndWorkerInfo() const = 0;
  virtual const ZelWstring& getNamespaceURI() const = 0;  // empty = no namespace
  // True when the value is the element's bytes as they arrived, unparsed
  // (a Binary value written out byte for byte).
  virtual bool isBitStream() const = 0;
  // The element's name: the self-defining name ("@x" for an attribute
  // field), else the dictionary name of a defined element when the tree can
  // resolve it, else empty. Zero-terminated.
  virtual const ZelWstring& getTagName() const = 0;

  // An element that carries a message of another message set makes that
  // set's dictionary current while it is written, and restores the previous
  // one afterwards. Both do nothing for any other element. Errors of the
  // host's dictionary switch pass through.
  virtual void loadDictionaryAndDescriptor() = 0;
  virtual void releaseDictionaryAndDescriptor() = 0;
};

// A message tree as a writer reads it.
class ZEL_API FIMessageTree {
public:
  virtual ~FIMessageTree();
  // A fresh iterator on the root element; null when the tree is empty.
  virtual std::unique_ptr<FITreeIterator> getRootIterator() const = 0;
  // The records that came with the start and the end of the message; null when absent.
  virtual const WorkerInfoPtr& getStartMsgInfo() const = 0;
  virtual const WorkerInfoPtr& getEndMsgInfo() const = 0;
};

#endif
