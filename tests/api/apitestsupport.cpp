#include "apitestsupport.h"

#include <string>

namespace {
const std::string& kindsDocumentText() {
  static const std::string text = readFileText(testData("kinds/kinds.xml"));
  return text;
}
}  // namespace

const std::string_view kKindsDocument = kindsDocumentText();

const wfxml::MessageSet& kindsMessageSet() {
  static const wfxml::MessageSet set = wfxml::MessageSet::compile({testData("kinds/kinds.xsd")});
  return set;
}
