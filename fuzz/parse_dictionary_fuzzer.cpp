// Arbitrary bytes through the XML worker against every example dictionary,
// once with namespaces on and once off. The dictionaries are compiled once.
#include "fuzzsupport.h"
#include "messagesetcompiler.h"
#include "messagesetjson.h"
#include "stddictionaryinfo.h"

#include <filesystem>
#include <vector>

namespace {
std::vector<DescriptorPtr> loadExampleDescriptors() {
  std::vector<DescriptorPtr> descriptors;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(WF_EXAMPLES_DIR)) {
    if (entry.path().extension() != ".json") continue;
    const msgset::MessageSet set = readMessageSetJsonFile(entry.path().string());
    for (const bool namespaces : {true, false}) {
      // The compiler refuses to switch namespaces off for a set that uses
      // them, so the switch is turned in the compiled tables instead.
      const std::unique_ptr<StdDictionaryInfo> compiled = compileMessageSet(set, entry.path().filename().string());
      compiled->getMsgSetDefs().GetBuffer()[0].namespacesEnabled = namespaces ? 1 : 0;
      const std::vector<unsigned char> bytes = compiled->ToQLBuffer();
      DescriptorPtr descriptor(workerFactory().createDescriptor());
      descriptor->FromExtractFormat(nullptr, bytes.data(), bytes.size());
      descriptor->postProcessDictionary();
      descriptors.push_back(std::move(descriptor));
    }
  }
  return descriptors;
}

const std::vector<DescriptorPtr>& exampleDescriptors() {
  static const std::vector<DescriptorPtr> descriptors = loadExampleDescriptors();
  return descriptors;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (const DescriptorPtr& descriptor : exampleDescriptors()) parseIntoTree(data, size, descriptor.get());
  return 0;
}
