#ifndef TESTS_CORPORA_XSDSUITE_H
#define TESTS_CORPORA_XSDSUITE_H

// The shared W3C XML Schema test suite, read for XSD 1.0: its test groups,
// each with the schema documents, whether the schema is valid, and the
// instance documents with their expected validity. Tests only 1.1 knows,
// tests whose 1.0 outcome is indeterminate, groups without schema and
// groups whose schemas load others by http URL (which would need a network)
// are left out.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct XsdSuiteInstance {
  std::string name;  // the group's name, '/', the instance document's file name
  std::filesystem::path document;
  bool valid = false;
};

struct XsdSuiteGroup {
  std::string name;  // "testSet/testGroup", unique in the suite
  std::vector<std::filesystem::path> schemas;  // the schema documents, the first one the main
  bool schemaValid = false;
  bool xsd10 = true;  // a test of XSD 1.0 (everyTest reads 1.1's too)
  std::vector<XsdSuiteInstance> instances;  // empty when the schema is invalid
};

struct XsdSuite {
  std::filesystem::path root;  // the extracted suite
  std::vector<XsdSuiteGroup> groups;
  std::size_t networkGroups = 0;  // left out: their schemas load others by http URL
};

// The folder of the shared suite (WF_XSDTESTS_DIR).
std::filesystem::path sharedXsdSuiteFolder();

// The targetNamespace of a schema document (empty without one, or when it
// cannot be read).
std::string xsdTargetNamespace(const std::filesystem::path& schema);

// Which tests to read: those of XSD 1.0, or every test of either version,
// whatever outcome it expects (for tests that take the validator's verdict).
enum class XsdSuiteScope { xsd10, everyTest };

// Extracts the shared suite's archive into folder (once: an extracted suite
// there is reused) and reads it. Empty when the shared suite is absent;
// throws std::runtime_error when it cannot be extracted or read.
std::optional<XsdSuite> loadXsdSuite(const std::filesystem::path& folder, XsdSuiteScope scope = XsdSuiteScope::xsd10);

#endif
