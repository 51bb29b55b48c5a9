#ifndef WFXML_SRC_EVENTSTREAM_H
#define WFXML_SRC_EVENTSTREAM_H

#include "wfxml/wfxml.h"

#include "fihandler.h"

#include <functional>
#include <string>
#include <vector>

namespace wfxml::detail {

class Definitions;
struct Definition;

// Turns the parser's events into Events: names of defined elements from the
// dictionary, self-defining names without their attribute marker, all in
// UTF-8 in strings reused from one event to the next.
class EventStream final : public FIHandler {
public:
  // Both borrowed for the stream's life.
  EventStream(const Definitions& definitions, const std::function<void(const Event&)>& onEvent);

  void startMessage(const WorkerInfoPtr& startInfo) override;
  void endMessage(const WorkerInfoPtr& endInfo) override;
  // An embedded message that is abandoned has sent nothing in between.
  void startEmbeddedMessage() override {}
  void endEmbeddedMessage(bool keep, bool abandoned) override {}
  bool startMessageContent(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                           const WorkerInfoPtr& startInfo, long xsiTypeIndex) override;
  bool startMessageContent(long& tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo, long memberId,
                           long xsiTypeIndex, long tagIndex, long memberIndex) override;
  void endMessageContent(long tagId, const WorkerInfoPtr& endInfo) override { close(); }
  void endMessageContent(const char16_t* name, const ZelWstring& namespaceURI,
                         const WorkerInfoPtr& endInfo) override {
    close();
  }
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
  // An open element: a defined one names its definition, a self-defining
  // one keeps its names. Frames stay in the vector when closed, so that
  // their strings keep their storage for the next element at that depth.
  struct Frame {
    const Definition* definition = nullptr;
    std::string name;  // self-defining only
    std::string namespaceUri;
    bool isAttribute = false;
    bool isSelfDefining = false;
    unsigned short kind = 0;
    bool hasValue = false;
    bool hasChildren = false;
  };

  Frame& push(unsigned short kind);
  void openDefined(long tagId, unsigned short kind, long memberId, long tagIndex, long memberIndex);
  void openSelfDefining(const char16_t* name, const ZelWstring& namespaceURI, unsigned short kind);
  void sendStart(const Frame& frame);
  // The event's element: the frame at that depth, or an anonymous value (null).
  void describe(const Frame* frame, std::size_t depth);
  void close();
  void send(EventKind kind);

  const Definitions& definitions_;
  const std::function<void(const Event&)>& onEvent_;
  std::vector<Frame> frames_;
  std::size_t depth_ = 0;  // open frames
  Event event_{};
};

}  // namespace wfxml::detail

#endif
