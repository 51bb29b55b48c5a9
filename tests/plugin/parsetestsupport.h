#ifndef TESTS_PLUGIN_PARSETESTSUPPORT_H
#define TESTS_PLUGIN_PARSETESTSUPPORT_H

// Parses documents through an XMLWorker the way a host does and records the
// tree events as lines in the form of `wfhost parse --events`, so that
// tests compare whole event traces. Descriptors are compiled from message-set
// sources in the JSON format.

#include "bitstreambuffer.h"
#include "descriptortestsupport.h"
#include "eventtrace.h"
#include "messageinfo.h"
#include "plugintestsupport.h"
#include "tracetext.h"
#include "xmldictionaryinfo.h"
#include "xmlworker.h"
#include "zelexception.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace parsetest {

using plugintest::compileDescriptor;
using plugintest::compileDescriptorFile;
using plugintest::DescriptorPtr;

inline std::string record(const WorkerInfoPtr& info) { return TraceText::ofRecord(info.get()); }

// Records the tree events as `wfhost parse --events` prints them (the
// tool's own trace), one line each.
class EventRecorder : public EventTrace {
public:
  EventRecorder() : EventTrace(out_) {}
  // startMessageContent answers this.
  bool acceptMessageContent = true;

  bool startMessageContent(const char16_t* name, const ZelWstring& uri, unsigned short kind, const WorkerInfoPtr& info,
                           long xsiType) override {
    EventTrace::startMessageContent(name, uri, kind, info, xsiType);
    return acceptMessageContent;
  }
  bool startMessageContent(long& tagId, unsigned short kind, const WorkerInfoPtr& info, long memberId, long xsiType,
                           long tagIndex, long memberIndex) override {
    EventTrace::startMessageContent(tagId, kind, info, memberId, xsiType, tagIndex, memberIndex);
    return acceptMessageContent;
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> lines;
    std::istringstream in(out_.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  void clear() { out_.str({}); }

private:
  std::ostringstream out_;
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
  // exceptions leave them recorded.
  std::vector<std::string> parse(std::string_view document) {
    XMLWorker& parser = worker();
    events.clear();
    const BitstreamBuffer buffer(reinterpret_cast<const unsigned char*>(document.data()), document.size());
    parser.parseFirst(&buffer, path.empty() ? nullptr : &path, false, 0, -1);
    while (parser.hasNext()) parser.parseNext();
    return events.lines();
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
