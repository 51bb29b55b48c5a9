// Message sets and sessions set up as a host keeps them, through the wfxml
// API: one message set per dictionary, compiled and loaded once and shared;
// one Session (one worker) per flow and thread, reused for every message.
// The host-level calls (wfxml/host.h) let the events go to the benchmark's
// own FIHandler and a write append straight to a WritableBitstreamBuffer, so
// that the figures are the worker's, without conversions or copies of the
// API around it.
#ifndef BENCH_SUPPORT_BENCHSESSION_H
#define BENCH_SUPPORT_BENCHSESSION_H

#include "messageinfo.h"
#include "wfxml/host.h"
#include "wfxml/wfxml.h"

#include <string>

class FIHandler;
class WritableBitstreamBuffer;

// Compiles a message set given as JSON and loads the result as a dictionary
// file's bytes are loaded. Throws the compiler's ZelException on a bad set.
wfxml::MessageSet compileMessageSetJson(const char* messageSetJson, const char* sourceName);

// Whether the worker scans documents of the set with namespaces (the raw
// scan is set up alike).
bool usesNamespaces(const wfxml::MessageSet& set);

// A session that parses, events to the handler given per parse.
class BenchParser {
public:
  // set: MessageSet::none() parses self-defining.
  explicit BenchParser(const wfxml::MessageSet& set);
  // Parses the document in bytes (borrowed for the call).
  void parse(const std::string& bytes, FIHandler& output);
  // Parses bytes into message (emptied first) with the host's tree builder.
  void parseToTree(const std::string& bytes, wfxml::Message& message);

private:
  wfxml::Session session_;
  const MessageInfo properties_;  // none: the code page comes from the document
};

// A session that writes in one code page.
class BenchWriter {
public:
  BenchWriter(const wfxml::MessageSet& set, long ccsid);
  // Appends the message's document (a message of the writer's set) to out.
  void write(const wfxml::Message& message, WritableBitstreamBuffer& out);

private:
  static MessageInfo propertiesFor(long ccsid);

  wfxml::Session session_;
  const MessageInfo properties_;
};

#endif
