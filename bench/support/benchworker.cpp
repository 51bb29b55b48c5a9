#include "benchworker.h"

#include "bitstreambuffer.h"
#include "messagesetcompiler.h"
#include "messagesetjson.h"
#include "xsdimporter.h"

namespace {
DescriptorPtr loadExtract(const std::vector<unsigned char>& extract) {
  DescriptorPtr loaded(new XMLDictionaryInfo(0));
  loaded->FromExtractFormat(nullptr, extract.data(), extract.size());
  loaded->postProcessDictionary();
  return loaded;
}
}  // namespace

DescriptorPtr loadDescriptor(const char* messageSetJson, const char* sourceName) {
  return loadExtract(compileMessageSetToExtract(parseMessageSetJson(messageSetJson, sourceName), sourceName));
}

DescriptorPtr loadSchemaDescriptor(const std::vector<std::string>& schemaFiles) {
  return loadExtract(compileMessageSetToExtract(importXmlSchemas(schemaFiles, {}).set, schemaFiles.front()));
}

BenchParser::BenchParser(const XMLDictionaryInfo* dictionary) : owner_("bench"), worker_(&owner_) {
  if (dictionary) worker_.setWireFormatDescriptor(dictionary);
  worker_.initializeParse(-1, &properties_, 0);
}

void BenchParser::parse(const std::string& bytes, FIHandler& output) {
  worker_.setFIHandler(&output);
  const BitstreamBuffer buffer(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  worker_.parseFirst(&buffer, nullptr, false, 0, -1);
  while (worker_.hasNext()) worker_.parseNext();
}

void BenchParser::parseToTree(const std::string& bytes, MessageTree& tree) {
  tree.clear();
  TreeBuilder builder(tree);
  parse(bytes, builder);
}

BenchWriter::BenchWriter(const XMLDictionaryInfo& dictionary, long ccsid) : owner_("bench"), worker_(&owner_) {
  properties_.setIntegerProperty(ZelWstring(MI_CCSID_STR), ccsid);
  worker_.setWireFormatDescriptor(&dictionary);
  worker_.initializeWrite(&properties_, nullptr, nullptr, nullptr);
}

long BenchWriter::write(const MessageTree& tree, WritableBitstreamBuffer& out) {
  worker_.setFIMessageTree(&tree);
  return worker_.write(&out, nullptr, 0);
}
