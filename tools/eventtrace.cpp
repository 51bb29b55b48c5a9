#include "eventtrace.h"

#include "tracetext.h"

#include <ostream>
#include <string>

namespace {
std::string argText(const std::string& text) { return text; }
std::string argText(long n) { return std::to_string(n); }
std::string argText(unsigned short n) { return std::to_string(n); }
std::string argText(bool flag) { return flag ? "true" : "false"; }
}  // namespace

template <typename... Args>
void EventTrace::line(const char* operation, const Args&... args) {
  std::string text = operation;
  text += '(';
  [[maybe_unused]] const char* separator = "";
  ((text += separator, text += argText(args), separator = ", "), ...);
  text += ")\n";
  out_ << text;
}

namespace {
std::string quote(const char16_t* text) { return TraceText::quoted(ZelWstring(text)); }
std::string quote(const ZelWstring& text) { return TraceText::quoted(text); }
std::string record(const WorkerInfoPtr& info) { return TraceText::ofRecord(info.get()); }
}  // namespace

void EventTrace::startMessage(const WorkerInfoPtr& startInfo) { line("startMessage", record(startInfo)); }

void EventTrace::endMessage(const WorkerInfoPtr& endInfo) { line("endMessage", record(endInfo)); }

void EventTrace::startEmbeddedMessage() { line("startEmbeddedMessage"); }

void EventTrace::endEmbeddedMessage(bool keep, bool abandoned) { line("endEmbeddedMessage", keep, abandoned); }

bool EventTrace::startMessageContent(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                                     const WorkerInfoPtr& startInfo, long xsiTypeIndex) {
  line("startMessageContent", quote(name), quote(namespaceURI), elementKind, record(startInfo), xsiTypeIndex);
  return true;
}

bool EventTrace::startMessageContent(long& tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo,
                                     long memberId, long xsiTypeIndex, long tagIndex, long memberIndex) {
  line("startMessageContent", tagId, elementKind, record(startInfo), memberId, xsiTypeIndex, tagIndex, memberIndex);
  return true;
}

void EventTrace::endMessageContent(long tagId, const WorkerInfoPtr& endInfo) {
  line("endMessageContent", tagId, record(endInfo));
}

void EventTrace::endMessageContent(const char16_t* name, const ZelWstring& namespaceURI,
                                   const WorkerInfoPtr& endInfo) {
  line("endMessageContent", quote(name), quote(namespaceURI), record(endInfo));
}

void EventTrace::startElement(long tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo, long memberId,
                              long occurrence, long xsiTypeIndex, long tagIndex, long memberIndex) {
  line("startElement", tagId, elementKind, record(startInfo), memberId, occurrence, xsiTypeIndex, tagIndex,
       memberIndex);
}

void EventTrace::startElement(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                              const WorkerInfoPtr& startInfo, long memberId, long xsiTypeIndex) {
  line("startElement", quote(name), quote(namespaceURI), elementKind, record(startInfo), memberId, xsiTypeIndex);
}

void EventTrace::endElement(long tagId, const WorkerInfoPtr& endInfo) { line("endElement", tagId, record(endInfo)); }

void EventTrace::endElement(const char16_t* name, const ZelWstring& namespaceURI, const WorkerInfoPtr& endInfo) {
  line("endElement", quote(name), quote(namespaceURI), record(endInfo));
}

void EventTrace::data(const PWFData& value, const WorkerInfoPtr& info, long itemTypeIndex, long listTypeIndex) {
  line("data", TraceText::ofValue(value), record(info), itemTypeIndex, listTypeIndex);
}
