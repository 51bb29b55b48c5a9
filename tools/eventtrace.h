#ifndef TOOLS_EVENTTRACE_H
#define TOOLS_EVENTTRACE_H

#include "fihandler.h"

#include <iosfwd>

// Prints one line per tree event: the operation's name and its arguments in
// parentheses, in declaration order, separated by ", " (strings quoted,
// values and records in their TraceText forms, numbers and bools as C++
// prints them). Accepts every message content.
class EventTrace : public FIHandler {
public:
  explicit EventTrace(std::ostream& out) : out_(out) {}

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
  void endElement(long tagId, const WorkerInfoPtr& endInfo) override;
  void endElement(const char16_t* name, const ZelWstring& namespaceURI, const WorkerInfoPtr& endInfo) override;
  void data(const PWFData& value, const WorkerInfoPtr& info, long itemTypeIndex, long listTypeIndex) override;

private:
  template <typename... Args>
  void line(const char* operation, const Args&... args);

  std::ostream& out_;
};

#endif
