// Workers and descriptors set up as a host keeps them: one descriptor per
// message set, loaded once and shared; one worker per flow (and thread),
// reused for every message. The benchmarks reach the plug-in only through
// what is declared here and in the data modules beside it.
#ifndef BENCH_SUPPORT_BENCHWORKER_H
#define BENCH_SUPPORT_BENCHWORKER_H

#include "messageinfo.h"
#include "messagetree.h"
#include "xmldictionaryinfo.h"
#include "xmlworker.h"

#include <memory>
#include <string>
#include <vector>

class FIHandler;
class WritableBitstreamBuffer;

struct DescriptorRelease {
  void operator()(XMLDictionaryInfo* descriptor) const { descriptor->release(); }
};
using DescriptorPtr = std::unique_ptr<XMLDictionaryInfo, DescriptorRelease>;

// Compiles a message set given as JSON and loads the result as the plug-in
// loads a dictionary. Throws the compiler's ZelException on a bad set.
DescriptorPtr loadDescriptor(const char* messageSetJson, const char* sourceName);
// The same for a set of XML Schema documents (the first names the set).
// Throws the importer's ZelException on a schema it refuses.
DescriptorPtr loadSchemaDescriptor(const std::vector<std::string>& schemaFiles);

// A worker set up to parse, events to the handler given per parse.
class BenchParser {
public:
  // dictionary: null parses self-defining; else borrowed for the parser's life.
  explicit BenchParser(const XMLDictionaryInfo* dictionary);
  // Parses every message of bytes (borrowed for the call).
  void parse(const std::string& bytes, FIHandler& output);
  // Clears tree and parses bytes into it with the host's tree builder.
  void parseToTree(const std::string& bytes, MessageTree& tree);

private:
  ZelNamedLogSource owner_;
  MessageInfo properties_;
  XMLWorker worker_;
};

// A worker set up to write with a dictionary to one code page.
class BenchWriter {
public:
  // dictionary: borrowed for the writer's life.
  BenchWriter(const XMLDictionaryInfo& dictionary, long ccsid);
  // Appends the tree's document to out; returns what the worker's write returns.
  long write(const MessageTree& tree, WritableBitstreamBuffer& out);

private:
  ZelNamedLogSource owner_;
  MessageInfo properties_;
  XMLWorker worker_;
};

#endif
