#include "benchsession.h"

#include "messagesetcompiler.h"
#include "messagesetjson.h"
#include "stddictionaryinfo.h"

wfxml::MessageSet compileMessageSetJson(const char* messageSetJson, const char* sourceName) {
  return wfxml::host::loadBytes(
      compileMessageSetToExtract(parseMessageSetJson(messageSetJson, sourceName), sourceName));
}

bool usesNamespaces(const wfxml::MessageSet& set) {
  const StdDictionaryInfo* dictionary = wfxml::host::dictionary(set);
  return dictionary && dictionary->getMsgSetDefs().GetRowCount() > 0 &&
         dictionary->getMsgSetDefs()[0]->namespacesEnabled == 1;
}

BenchParser::BenchParser(const wfxml::MessageSet& set) : session_(set) {}

void BenchParser::parse(const std::string& bytes, FIHandler& output) {
  wfxml::host::parse(session_, bytes.data(), bytes.size(), properties_, output);
}

void BenchParser::parseToTree(const std::string& bytes, wfxml::Message& message) {
  wfxml::host::parse(session_, bytes.data(), bytes.size(), properties_, message);
}

MessageInfo BenchWriter::propertiesFor(long ccsid) {
  MessageInfo properties;
  properties.setIntegerProperty(ZelWstring(MI_CCSID_STR), ccsid);
  return properties;
}

BenchWriter::BenchWriter(const wfxml::MessageSet& set, long ccsid) : session_(set), properties_(propertiesFor(ccsid)) {}

void BenchWriter::write(const wfxml::Message& message, WritableBitstreamBuffer& out) {
  wfxml::host::write(session_, message, properties_, out);
}
