#ifndef TESTS_E2E_TREEROUNDTRIP_H
#define TESTS_E2E_TREEROUNDTRIP_H

// Parse and write inside the test program, through the plug-in loaded by
// name as a host loads it: for round trips of many documents without a
// process per document.

#include "bitstreamworker.h"
#include "dictionaryinfo.h"
#include "messageinfo.h"
#include "messageset.h"
#include "messagetree.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The plug-in and one descriptor per message-set source, loaded once for
// the whole test program.
class LoadedPlugin {
public:
  static LoadedPlugin& instance();
  BitstreamWorkerFactory& factory();
  // The post-processed descriptor compiled from a JSON message-set source;
  // null for an empty source (self-defining). Lives as long as the program.
  const DictionaryInfo* descriptor(const std::string& source);
  // The post-processed descriptor of a message set already read (from
  // XML Schemas, say), compiled on the first call with that name; later
  // calls with the name return it without looking at set.
  const DictionaryInfo* descriptorOf(const msgset::MessageSet& set, const std::string& name);

private:
  LoadedPlugin();
  ~LoadedPlugin();
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

struct DescriptorRelease {
  void operator()(DictionaryInfo* descriptor) const { descriptor->release(); }
};
using OwnedDescriptor = std::unique_ptr<DictionaryInfo, DescriptorRelease>;

// The post-processed descriptor of a message set, compiled for the caller
// alone (for many sets that need not live as long as the program).
OwnedDescriptor compileDescriptor(const msgset::MessageSet& set, const std::string& name);

// Message properties with integer values, by name.
MessageInfo propertiesFrom(const std::map<std::string, long>& values);

std::vector<std::uint8_t> readBytes(const std::string& path);

// Parses bytes with a fresh worker into tree. Throws what the plug-in throws.
void parseTree(const std::vector<std::uint8_t>& bytes, const DictionaryInfo* descriptor, MessageInfo properties,
               MessageTree& tree);

// Writes tree with a fresh worker and the output properties.
std::vector<std::uint8_t> writeTree(const MessageTree& tree, const DictionaryInfo* descriptor,
                                    MessageInfo properties);

// The tree as JSON without what a round trip legitimately adds or drops:
// the absent identifiers of a DOCTYPE and the default XML declaration.
// Changes tree.
std::string comparableJson(MessageTree& tree);

// Where two trees in JSON first differ, with some context; empty when equal.
std::string treeDifference(const std::string& expected, const std::string& actual);

class ZelException;
// An exception's key and text, for reports.
std::string describe(const ZelException& e);

// What a round trip gave: the first step that failed ("parse", "write" or
// "round trip") and how, or none when the second tree equals the first.
struct RoundTripResult {
  std::string failedStep;
  std::string problem;
  std::vector<std::uint8_t> written = {};
  std::string firstJson = {};  // the first tree as compared
};

// Parses bytes into first, writes it in UTF-8 and parses the written bytes.
// Without start records, both trees' are dropped before they are compared
// (the writer takes the XML declaration from the message set).
RoundTripResult roundTrip(const std::vector<std::uint8_t>& bytes, const DictionaryInfo* descriptor, MessageTree& first,
                          bool withStartRecords);

#endif
