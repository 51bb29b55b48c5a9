#ifndef TOOLS_EVENTTRACE_H
#define TOOLS_EVENTTRACE_H

#include "fihandler.h"

#include <iosfwd>
#include <string>

// Text forms shared by wfhost's outputs.
namespace EventText {
// A JSON string literal of UTF-16 text (null = "").
std::string quote(const char16_t* text);
std::string quote(const ZelWstring& text);
// "Type:value": String:"hi", Integer:42, Boolean:true, Binary:0A1F,
// Decimal:1.50, a null value Integer:null, nothing None:nothing.
std::string value(const PWFData& data);
// A record as {K:V, ...} over the keys whose value has a logical type other
// than None, in key order; a null handle as "-".
std::string record(const WorkerInfoPtr& info);
}  // namespace EventText

// Prints one line per tree event: the operation's name and its arguments in
// parentheses, in declaration order, separated by ", " (strings quoted,
// numbers and bools as C++ prints them). Accepts every message content.
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
