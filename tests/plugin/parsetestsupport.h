#ifndef TESTS_PLUGIN_PARSETESTSUPPORT_H
#define TESTS_PLUGIN_PARSETESTSUPPORT_H

// Parses documents through an XMLWorker the way a host does and records the
// tree events as lines in the form of `wfhost parse --events`, so that
// tests compare whole event traces. Descriptors are compiled from message-set
// sources in the JSON format.

#include "bitstreambuffer.h"
#include "descriptortestsupport.h"
#include "fihandler.h"
#include "messageinfo.h"
#include "plugintestsupport.h"
#include "tracetext.h"
#include "xmldictionaryinfo.h"
#include "xmlworker.h"
#include "zelexception.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace parsetest {

using plugintest::compileDescriptor;
using plugintest::compileDescriptorFile;
using plugintest::DescriptorPtr;

inline std::string text(const char16_t* value) { return TraceText::quoted(ZelWstring(value)); }
inline std::string text(const ZelWstring& value) { return TraceText::quoted(value); }
inline std::string record(const WorkerInfoPtr& info) { return TraceText::ofRecord(info.get()); }

// Records one line per event: the operation and its arguments.
class EventRecorder : public FIHandler {
public:
  std::vector<std::string> lines;
  // startMessageContent answers this.
  bool acceptMessageContent = true;

  void startMessage(const WorkerInfoPtr& info) override { add("startMessage(" + record(info) + ")"); }
  void endMessage(const WorkerInfoPtr& info) override { add("endMessage(" + record(info) + ")"); }
  void startEmbeddedMessage() override { add("startEmbeddedMessage()"); }
  void endEmbeddedMessage(bool keep, bool abandoned) override {
    add("endEmbeddedMessage(" + flag(keep) + ", " + flag(abandoned) + ")");
  }
  bool startMessageContent(const char16_t* name, const ZelWstring& uri, unsigned short kind, const WorkerInfoPtr& info,
                           long xsiType) override {
    add("startMessageContent(" + join(text(name), text(uri), n(kind), record(info), n(xsiType)) + ")");
    return acceptMessageContent;
  }
  bool startMessageContent(long& tagId, unsigned short kind, const WorkerInfoPtr& info, long memberId, long xsiType,
                           long tagIndex, long memberIndex) override {
    add("startMessageContent(" +
        join(n(tagId), n(kind), record(info), n(memberId), n(xsiType), n(tagIndex), n(memberIndex)) + ")");
    return acceptMessageContent;
  }
  void endMessageContent(long tagId, const WorkerInfoPtr& info) override {
    add("endMessageContent(" + join(n(tagId), record(info)) + ")");
  }
  void endMessageContent(const char16_t* name, const ZelWstring& uri, const WorkerInfoPtr& info) override {
    add("endMessageContent(" + join(text(name), text(uri), record(info)) + ")");
  }
  void startElement(long tagId, unsigned short kind, const WorkerInfoPtr& info, long memberId, long occurrence,
                    long xsiType, long tagIndex, long memberIndex) override {
    add("startElement(" +
        join(n(tagId), n(kind), record(info), n(memberId), n(occurrence), n(xsiType), n(tagIndex), n(memberIndex)) +
        ")");
  }
  void startElement(const char16_t* name, const ZelWstring& uri, unsigned short kind, const WorkerInfoPtr& info,
                    long memberId, long xsiType) override {
    add("startElement(" + join(text(name), text(uri), n(kind), record(info), n(memberId), n(xsiType)) + ")");
  }
  void endElement(long tagId, const WorkerInfoPtr& info) override {
    add("endElement(" + join(n(tagId), record(info)) + ")");
  }
  void endElement(const char16_t* name, const ZelWstring& uri, const WorkerInfoPtr& info) override {
    add("endElement(" + join(text(name), text(uri), record(info)) + ")");
  }
  void data(const PWFData& value, const WorkerInfoPtr& info, long itemType, long listType) override {
    add("data(" + join(TraceText::ofValue(value), record(info), n(itemType), n(listType)) + ")");
  }

private:
  void add(std::string line) { lines.push_back(std::move(line)); }
  static std::string n(long value) { return std::to_string(value); }
  static std::string flag(bool value) { return value ? "true" : "false"; }
  template <class... Parts>
  static std::string join(const std::string& first, const Parts&... rest) {
    std::string out = first;
    ((out += ", ", out += rest), ...);
    return out;
  }
};

// Parses with one worker (an optional descriptor, message properties and a
// member path for subtree parses), document after document.
struct ParseRun {
  const XMLDictionaryInfo* descriptor = nullptr;
  MessageInfo properties;
  std::vector<long> path;
  EventRecorder events;

  ParseRun() = default;
  explicit ParseRun(const XMLDictionaryInfo* dictionary) : descriptor(dictionary) {}

  void setProperty(const char16_t* name, const char* value) {
    properties.setProperty(ZelWstring(name), ZelWstring::fromUtf8(value));
  }
  // The worker, set up for parsing with the properties on first use.
  XMLWorker& worker() {
    if (!worker_) {
      worker_ = std::make_unique<XMLWorker>(&owner);
      if (descriptor) worker_->setWireFormatDescriptor(descriptor);
      initialize();
    }
    return *worker_;
  }
  // Sets the worker up again, as a host does before each document.
  void initialize() {
    worker_->initializeParse(-1, &properties, 0);
    worker_->setFIHandler(&events);
  }

  // Parses in steps as a host does and returns this document's events;
  // exceptions leave unchanged.
  std::vector<std::string>& parse(std::string_view document) {
    XMLWorker& parser = worker();
    events.lines.clear();
    const BitstreamBuffer buffer(reinterpret_cast<const unsigned char*>(document.data()), document.size());
    parser.parseFirst(&buffer, path.empty() ? nullptr : &path, false, 0, -1);
    while (parser.hasNext()) parser.parseNext();
    return events.lines;
  }

  // The exception a parse ends with; a test failure when it ends without one.
  ZelException failure(std::string_view document) {
    return raisedBy([&] { parse(document); });
  }

private:
  ZelNamedLogSource owner{"test"};
  std::unique_ptr<XMLWorker> worker_;
};

// The scanner's error code: the second of the eight inserts of its error.
inline std::string scannerErrorCode(const ZelException& e) {
  EXPECT_STREQ(e.getKey(), "CP_XML_XERCES_PARSER_EXCEPTION");
  const std::vector<std::string> inserts = insertsOf(e);
  EXPECT_EQ(inserts.size(), 8u) << e.what();
  return inserts.size() == 8 ? inserts[1] : "";
}

}  // namespace parsetest

#endif
