#ifndef WFXML_SRC_RECORDSPLITTER_H
#define WFXML_SRC_RECORDSPLITTER_H

#include "eventstream.h"

#include "messagetree.h"

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace wfxml::detail {

// Which elements are records: "Ntry" names them anywhere, "Stmt/Ntry" by
// their nearest ancestors, "/Document/BkToCstmrStmt/Stmt/Ntry" from the
// message element down. Names are local names; attributes are never records.
class RecordPattern {
public:
  explicit RecordPattern(std::string_view pattern);
  // openNames: the names of the open elements, the message element first.
  bool matches(const std::vector<std::string>& openNames) const;

private:
  std::vector<std::string> names_;
  bool anchored_ = false;
};

// Builds, from the parser's events, a tree of the message element, the open
// ancestors of the current record with their attributes, and the record
// itself; onRecord sees that tree when the record ends, and then the record
// is removed again. Everything else is dropped as soon as it ends, so the
// tree never holds more than one record and the open path. A record inside
// a record is part of the outer one.
class RecordSplitter final : public FIHandler {
public:
  // All borrowed for the splitter's life; tree starts empty.
  RecordSplitter(const Definitions& definitions, MessageTree& tree, const RecordPattern& pattern,
                 const std::function<void(const MessageTree&)>& onRecord);

  void startMessage(const WorkerInfoPtr& startInfo) override;
  void endMessage(const WorkerInfoPtr& endInfo) override;
  void startEmbeddedMessage() override { builder_.startEmbeddedMessage(); }
  void endEmbeddedMessage(bool keep, bool abandoned) override { builder_.endEmbeddedMessage(keep, abandoned); }
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
  void endElement(long tagId, const WorkerInfoPtr& endInfo) override;
  void endElement(const char16_t* name, const ZelWstring& namespaceURI, const WorkerInfoPtr& endInfo) override;
  void data(const PWFData& value, const WorkerInfoPtr& info, long itemTypeIndex, long listTypeIndex) override;

private:
  // An open element outside records.
  struct Open {
    MessageTree::Mark mark;  // where it began: its end removes it
    bool isAttribute = false;
  };

  // The event the stream just named.
  void see(const Event& event);
  // After the start event was named and before the builder sees it.
  void opening();
  // After the builder closed the element the end event named.
  void closed();
  bool inRecord() const { return recordDepth_ >= 0; }

  MessageTree& tree_;
  TreeBuilder builder_;
  const RecordPattern& pattern_;
  const std::function<void(const MessageTree&)>& onRecord_;
  std::function<void(const Event&)> seeEvent_;
  EventStream events_;
  // The last event's.
  bool seen_ = false;
  int depth_ = 0;
  bool isAttribute_ = false;
  std::string_view name_;
  std::vector<std::string> openNames_;
  std::vector<Open> open_;  // outside records, one per open element
  int recordDepth_ = -1;
  MessageTree::Mark recordMark_{0};
};

}  // namespace wfxml::detail

#endif
