#include "xsdsuite.h"

#include "e2e/e2esupport.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <unistd.h>

#include <memory>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

constexpr const char* kSuiteNamespace = "http://www.w3.org/XML/2004/xml-schema-test-suite/";
constexpr const char* kXlinkNamespace = "http://www.w3.org/1999/xlink";

struct DocumentRelease {
  void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using Document = std::unique_ptr<xmlDoc, DocumentRelease>;

Document readDocument(const fs::path& path) {
  Document document(xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR));
  if (!document) throw std::runtime_error("cannot read " + path.string());
  return document;
}

std::string attribute(const xmlNode* node, const char* name, const char* ns = nullptr) {
  xmlChar* value = ns ? xmlGetNsProp(node, reinterpret_cast<const xmlChar*>(name), reinterpret_cast<const xmlChar*>(ns))
                      : xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name));
  if (!value) return {};
  std::string text(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return text;
}

bool isSuiteElement(const xmlNode* node, const char* name) {
  return node->type == XML_ELEMENT_NODE && node->ns && xmlStrEqual(node->ns->href, BAD_CAST kSuiteNamespace) &&
         xmlStrEqual(node->name, BAD_CAST name);
}

std::vector<const xmlNode*> children(const xmlNode* parent, const char* name) {
  std::vector<const xmlNode*> found;
  for (const xmlNode* child = parent->children; child; child = child->next)
    if (isSuiteElement(child, name)) found.push_back(child);
  return found;
}

// True when a list of words separated by blanks holds word.
bool lists(const std::string& text, const std::string& word) {
  std::istringstream in(text);
  for (std::string each; in >> each;)
    if (each == word) return true;
  return false;
}

// A version attribute that names 1.1 and not 1.0 leaves the element out of
// XSD 1.0; others (no attribute, Unicode versions) keep it.
bool appliesToXsd10(const xmlNode* node) {
  const std::string versions = attribute(node, "version");
  return lists(versions, "1.0") || !lists(versions, "1.1");
}

enum class Expectation { Valid, Invalid, None };

// The expected outcome for XSD 1.0: the expected element naming 1.0, else
// one that does not name 1.1 alone; with everyTest, else any.
Expectation expectedFor10(const xmlNode* test, XsdSuiteScope scope = XsdSuiteScope::xsd10) {
  const xmlNode* chosen = nullptr;
  for (const xmlNode* expected : children(test, "expected")) {
    if (lists(attribute(expected, "version"), "1.0")) {
      chosen = expected;
      break;
    }
    if (!chosen && appliesToXsd10(expected)) chosen = expected;
  }
  if (!chosen && scope == XsdSuiteScope::everyTest && !children(test, "expected").empty())
    chosen = children(test, "expected").front();
  if (!chosen) return Expectation::None;
  const std::string validity = attribute(chosen, "validity");
  return validity == "valid" ? Expectation::Valid : validity == "invalid" ? Expectation::Invalid : Expectation::None;
}

fs::path linked(const xmlNode* node, const fs::path& folder) {
  return (folder / attribute(node, "href", kXlinkNamespace)).lexically_normal();
}

// True when a schema document includes, imports or redefines another by
// http URL.
bool loadsByHttp(const fs::path& schema) {
  const std::string text = readFileText(schema.string());
  for (const char* quote : {"schemaLocation=\"http", "schemaLocation='http"})
    if (text.find(quote) != std::string::npos) return true;
  return false;
}

void readTestSet(const fs::path& path, XsdSuiteScope scope, XsdSuite& suite) {
  const Document document = readDocument(path);
  const xmlNode* set = xmlDocGetRootElement(document.get());
  const bool every = scope == XsdSuiteScope::everyTest;
  if (!every && !appliesToXsd10(set)) return;
  const std::string setName = attribute(set, "name");
  const fs::path folder = path.parent_path();
  for (const xmlNode* groupNode : children(set, "testGroup")) {
    const std::vector<const xmlNode*> schemaTests = children(groupNode, "schemaTest");
    if (schemaTests.empty() || (!every && (!appliesToXsd10(groupNode) || !appliesToXsd10(schemaTests.front()))))
      continue;
    const Expectation schemaExpected = expectedFor10(schemaTests.front(), scope);
    if (schemaExpected == Expectation::None) continue;
    XsdSuiteGroup group;
    group.name = setName + "/" + attribute(groupNode, "name");
    group.schemaValid = schemaExpected == Expectation::Valid;
    group.xsd10 = appliesToXsd10(set) && appliesToXsd10(groupNode) && appliesToXsd10(schemaTests.front()) &&
                  expectedFor10(schemaTests.front()) != Expectation::None;
    bool network = false;
    for (const xmlNode* schema : children(schemaTests.front(), "schemaDocument")) {
      group.schemas.push_back(linked(schema, folder));
      network = network || loadsByHttp(group.schemas.back());
    }
    if (network) {
      ++suite.networkGroups;
      continue;
    }
    for (const xmlNode* test : children(groupNode, "instanceTest")) {
      const Expectation expected = expectedFor10(test, scope);
      const std::vector<const xmlNode*> documents = children(test, "instanceDocument");
      if (!group.schemaValid || (!every && (!appliesToXsd10(test) || expected == Expectation::None)) || documents.empty())
        continue;
      const fs::path instance = linked(documents.front(), folder);
      group.instances.push_back({group.name + "/" + instance.filename().string(), instance, expected == Expectation::Valid});
    }
    suite.groups.push_back(std::move(group));
  }
}

// Extracts the archive beside the final folder and renames it into place,
// so that tests running at the same time never see half a suite.
void extract(const fs::path& archive, const fs::path& folder) {
  const fs::path staging = folder.string() + ".extracting-" + std::to_string(::getpid());
  fs::create_directories(staging);
  const CommandResult tar = runCommand("tar", {"-xJf", archive.string(), "-C", staging.string()});
  if (tar.status != 0) {
    fs::remove_all(staging);
    throw std::runtime_error("cannot extract " + archive.string() + ": " + tar.err);
  }
  std::error_code taken;  // another test was quicker: its copy is as good
  fs::rename(staging / "xsdtests", folder, taken);
  fs::remove_all(staging);
}

}  // namespace

fs::path sharedXsdSuiteFolder() { return WF_XSDTESTS_DIR; }

std::string xsdTargetNamespace(const fs::path& schema) {
  const Document document(xmlReadFile(schema.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR));
  return document ? attribute(xmlDocGetRootElement(document.get()), "targetNamespace") : std::string();
}

std::optional<XsdSuite> loadXsdSuite(const fs::path& folder, XsdSuiteScope scope) {
  const fs::path archive = sharedXsdSuiteFolder() / "w3c-xsdtests.tar.xz";
  if (!fs::is_regular_file(archive)) return std::nullopt;
  XsdSuite suite;
  suite.root = folder;
  if (!fs::is_regular_file(folder / "suite.xml")) extract(archive, folder);
  const Document index = readDocument(folder / "suite.xml");
  for (const xmlNode* ref : children(xmlDocGetRootElement(index.get()), "testSetRef")) {
    const fs::path set = linked(ref, folder);
    if (fs::is_regular_file(set)) readTestSet(set, scope, suite);  // the NIST sets are not shared
  }
  return suite;
}
