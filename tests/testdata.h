#ifndef TESTS_TESTDATA_H
#define TESTS_TESTDATA_H

// Fixtures kept as files under tests/data (message sets, schemas, documents)
// rather than as literals in the test sources.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size()))
      text.replace(at, placeholder.size(), value);
  return text;
}

// One case of a case file: its label, its "key: value" fields and its text.
struct DataCase {
  std::string label;
  std::map<std::string, std::string> fields;
  std::string text;

  const std::string& operator[](const std::string& key) const { return fields.at(key); }
  // The text's lines (none for an empty text).
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }
};

inline void PrintTo(const DataCase& c, std::ostream* out) { *out << c.label; }

// The cases of tests/data/<name>: each starts with a line "== label", then
// lines "key: value" (lower-case keys; "key:" alone for an empty value), then its text: the lines up to the
// next case, without line ends at its end (blank lines may part the cases).
// Lines before the first case, and lines starting with "#", are comments.
inline std::vector<DataCase> dataCases(const std::string& name) {
  std::vector<DataCase> cases;
  std::istringstream in(dataText(name));
  bool inText = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("== ", 0) == 0) {
      cases.push_back({line.substr(3), {}, {}});
      inText = false;
      continue;
    }
    if (cases.empty() || line.rfind('#', 0) == 0) continue;
    DataCase& c = cases.back();
    const std::size_t colon = line.find_first_not_of("abcdefghijklmnopqrstuvwxyz");
    if (!inText && colon > 0 && colon != std::string::npos && line[colon] == ':' &&
        (colon + 1 == line.size() || line[colon + 1] == ' ')) {
      c.fields[line.substr(0, colon)] = line.substr(std::min(colon + 2, line.size()));
      continue;
    }
    c.text += (inText ? "\n" : "") + line;
    inText = true;
  }
  for (DataCase& c : cases)
    while (!c.text.empty() && c.text.back() == '\n') c.text.pop_back();
  return cases;
}

#endif
