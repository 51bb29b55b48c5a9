// A host handler that accepts every parse event and keeps nothing: what a
// parse costs without building anything.
#ifndef BENCH_SUPPORT_NOOPHANDLER_H
#define BENCH_SUPPORT_NOOPHANDLER_H

#include "fihandler.h"

class NoOpHandler final : public FIHandler {
public:
  void startMessage(const WorkerInfoPtr&) override {}
  void endMessage(const WorkerInfoPtr&) override {}
  void startEmbeddedMessage() override {}
  void endEmbeddedMessage(bool, bool) override {}
  bool startMessageContent(const char16_t*, const ZelWstring&, unsigned short, const WorkerInfoPtr&, long) override {
    return true;
  }
  bool startMessageContent(long&, unsigned short, const WorkerInfoPtr&, long, long, long, long) override { return true; }
  void endMessageContent(long, const WorkerInfoPtr&) override {}
  void endMessageContent(const char16_t*, const ZelWstring&, const WorkerInfoPtr&) override {}
  void startElement(long, unsigned short, const WorkerInfoPtr&, long, long, long, long, long) override {}
  void startElement(const char16_t*, const ZelWstring&, unsigned short, const WorkerInfoPtr&, long, long) override {}
  void endElement(long, const WorkerInfoPtr&) override {}
  void endElement(const char16_t*, const ZelWstring&, const WorkerInfoPtr&) override {}
  // Counted, so that the values cannot be optimised away.
  void data(const PWFData&, const WorkerInfoPtr&, long, long) override { ++values_; }
  long values() const { return values_; }

private:
  long values_ = 0;
};

#endif
