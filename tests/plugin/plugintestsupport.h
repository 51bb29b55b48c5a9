#ifndef TESTS_PLUGIN_PLUGINTESTSUPPORT_H
#define TESTS_PLUGIN_PLUGINTESTSUPPORT_H

#include "bitstreambuffer.h"
#include "fihandler.h"
#include "host/test_support.h"
#include "messageinfo.h"
#include "xmlworker.h"
#include "zelexception.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Records the tree events in a compact form: "start b", "data hi", "end b".
class RecordingHandler : public FIHandler {
public:
  std::vector<std::string> events;

  void startMessage(const WorkerInfoPtr&) override { events.push_back("startMessage"); }
  void endMessage(const WorkerInfoPtr&) override { events.push_back("endMessage"); }
  void startEmbeddedMessage() override {}
  void endEmbeddedMessage(bool, bool) override {}
  bool startMessageContent(const char16_t* name, const ZelWstring&, unsigned short, const WorkerInfoPtr&,
                           long) override {
    events.push_back("message " + ZelWstring(name).toUtf8());
    return true;
  }
  bool startMessageContent(long& tagId, unsigned short, const WorkerInfoPtr&, long, long, long, long) override {
    events.push_back("message #" + std::to_string(tagId));
    return true;
  }
  void endMessageContent(long tagId, const WorkerInfoPtr&) override {
    events.push_back("endMessage #" + std::to_string(tagId));
  }
  void endMessageContent(const char16_t* name, const ZelWstring&, const WorkerInfoPtr&) override {
    events.push_back("endMessage " + ZelWstring(name).toUtf8());
  }
  void startElement(long tagId, unsigned short, const WorkerInfoPtr&, long, long, long, long, long) override {
    events.push_back("start #" + std::to_string(tagId));
  }
  void startElement(const char16_t* name, const ZelWstring&, unsigned short, const WorkerInfoPtr&, long,
                    long) override {
    events.push_back("start " + ZelWstring(name).toUtf8());
  }
  void endElement(long tagId, const WorkerInfoPtr&) override { events.push_back("end #" + std::to_string(tagId)); }
  void endElement(const char16_t* name, const ZelWstring&, const WorkerInfoPtr&) override {
    events.push_back("end " + ZelWstring(name).toUtf8());
  }
  void data(const PWFData& value, const WorkerInfoPtr&, long, long) override {
    events.push_back("data " + (value.getDataLogicalType() == eLogicalString ? value.getText().toUtf8() : "?"));
  }
};

// A buffer over the bytes of text (which must outlive it).
inline BitstreamBuffer bufferOf(const std::string& text) {
  return BitstreamBuffer(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// A worker as the factory makes it, with its own handler and properties.
struct WorkerFixture {
  ZelNamedLogSource owner{"plugin-test"};
  std::unique_ptr<XMLWorker> worker = std::make_unique<XMLWorker>(&owner);
  MessageInfo properties;
  RecordingHandler events;

  void setProperty(const char16_t* name, const char* value) {
    properties.setProperty(ZelWstring(name), ZelWstring::fromUtf8(value));
  }
  void initialize() {
    worker->initializeParse(-1, &properties, 0);
    worker->setFIHandler(&events);
  }
  // Parses the whole document in steps; the bytes must outlive nothing.
  void parseAll(const std::string& bytes) {
    const BitstreamBuffer buffer = bufferOf(bytes);
    worker->parseFirst(&buffer, nullptr, false, 0, -1);
    while (worker->hasNext()) worker->parseNext();
  }
};

// The inserts of an exception as UTF-8 texts.
inline std::vector<std::string> insertsOf(const ZelException& e) {
  std::vector<std::string> texts;
  for (const ZelInsert& insert : e.getInserts()) texts.push_back(insert.toUtf8());
  return texts;
}

// Runs call, which must raise ZelParserException with this message number,
// and returns the exception for further checks.
inline ZelParserException expectParserException(const std::function<void()>& call, std::uint32_t messageNumber) {
  const ZelParserException e = raisedBy<ZelParserException>(call);
  EXPECT_EQ(e.getMessageNumber(), messageNumber) << e.what();
  return e;
}

#endif
