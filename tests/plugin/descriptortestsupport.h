#ifndef TESTS_PLUGIN_DESCRIPTORTESTSUPPORT_H
#define TESTS_PLUGIN_DESCRIPTORTESTSUPPORT_H

// Descriptors for plug-in tests, compiled from message-set sources in the
// JSON format and post-processed as a worker expects them.

#include "messagesetcompiler.h"
#include "messagesetjson.h"
#include "xmldictionaryinfo.h"
#include "testdata.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace plugintest {

struct DescriptorRelease {
  void operator()(XMLDictionaryInfo* descriptor) const { descriptor->release(); }
};
using DescriptorPtr = std::unique_ptr<XMLDictionaryInfo, DescriptorRelease>;

// A post-processed descriptor of a message-set source.
inline DescriptorPtr compileDescriptor(std::string_view json) {
  const std::vector<unsigned char> extract =
      compileMessageSetToExtract(parseMessageSetJson(json, "test.json"), "test.json");
  DescriptorPtr descriptor(new XMLDictionaryInfo(0));
  descriptor->FromExtractFormat(nullptr, extract.data(), extract.size());
  descriptor->postProcessDictionary();
  return descriptor;
}

// The descriptor of the message-set source in tests/data/<name>.
inline DescriptorPtr compileDescriptorFile(const std::string& name) { return compileDescriptor(dataText(name)); }

}  // namespace plugintest

#endif
