#ifndef TESTS_TESTDATA_H
#define TESTS_TESTDATA_H

// Fixtures kept as files under tests/data (message sets, schemas, documents)
// rather than as literals in the test sources.

#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

// The path of tests/data/<name>.
inline std::string dataPath(const std::string& name) { return std::string(WF_TEST_DATA_DIR) + "/" + name; }

// The text of tests/data/<name>; a file that cannot be read fails the test.
inline std::string dataText(const std::string& name) {
  std::ifstream in(dataPath(name), std::ios::binary);
  if (!in) ADD_FAILURE() << "cannot read " << dataPath(name);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The text of tests/data/<name> with every placeholder (such as "@ENCODING@")
// replaced by its value: one fixture for cases that differ in a few words.
inline std::string dataText(const std::string& name,
                            std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
  std::string text = dataText(name);
  for (const auto& [placeholder, value] : values)
    for (std::size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size()))
      text.replace(at, placeholder.size(), value);
  return text;
}

#endif
