#ifndef TESTS_PARAMNAME_H
#define TESTS_PARAMNAME_H

// Names of parameterised tests, so that ctest lists what each case is rather
// than its index or the bytes of its struct.

#include <gtest/gtest.h>

#include <cctype>
#include <string>

// text with every character that may not stand in a test name replaced by '_'.
inline std::string testNameOf(std::string text) {
  for (char& c : text)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return text;
}

// The parameter as gtest prints it (its PrintTo, a number, a text), made a
// test name: runs of other characters become one '_' and long texts are cut.
// A parameter without a printer is "case" and its index. gtest refuses a
// suite whose names repeat, so a clash shows when the tests are listed.
struct ReadableName {
  template <class Param>
  std::string operator()(const testing::TestParamInfo<Param>& info) const {
    const std::string printed = testing::PrintToString(info.param);
    std::string name;
    for (const char c : printed) {
      if (std::isalnum(static_cast<unsigned char>(c))) name += c;
      else if (!name.empty() && name.back() != '_') name += '_';
    }
    constexpr std::size_t kLongest = 48;
    if (name.size() > kLongest) name.resize(kLongest);
    while (!name.empty() && name.back() == '_') name.pop_back();
    // A struct without a printer prints as bytes.
    if (name.empty() || printed.find("-byte object <") != std::string::npos) name = "case" + std::to_string(info.index);
    return name;
  }
};

#endif
