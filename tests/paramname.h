#ifndef TESTS_PARAMNAME_H
#define TESTS_PARAMNAME_H

// Names of parameterised tests, so that ctest lists what each case is rather
// than its index or the bytes of its struct.

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <string_view>
#include <type_traits>

// text with every character that may not stand in a test name replaced by '_'.
inline std::string testNameOf(std::string text) {
  for (char& c : text)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return text;
}

// The parameter as gtest prints it (its PrintTo, a number, a text), made a
// test name: runs of other characters become one '_', long texts are cut,
// and texts and cut names end with the case's index.
// A parameter without a printer is "case" and its index. gtest refuses a
// suite whose names repeat, so a clash shows when the tests are listed.
struct ReadableName {
  template <class Param>
  std::string operator()(const testing::TestParamInfo<Param>& info) const {
    const std::string printed = printedOf(info.param);
    std::string name;
    for (const char c : printed) {
      if (std::isalnum(static_cast<unsigned char>(c))) name += c;
      else if (!name.empty() && name.back() != '_') name += '_';
    }
    constexpr std::size_t kLongest = 48;
    const bool cut = name.size() > kLongest;
    if (cut) name.resize(kLongest);
    while (!name.empty() && name.back() == '_') name.pop_back();
    // Texts that differ only in punctuation or blanks would share a name.
    constexpr bool kText = std::is_convertible_v<Param, std::u16string_view> || std::is_convertible_v<Param, std::string_view>;
    if (cut || kText) name += "_" + std::to_string(info.index);
    // A struct without a printer prints as bytes.
    if (name.empty() || printed.find("-byte object <") != std::string::npos) name = "case" + std::to_string(info.index);
    return name;
  }

private:
  // UTF-16 texts as their ASCII characters (gtest prints U+NNNN for each).
  template <class Param>
  static std::string printedOf(const Param& param) {
    if constexpr (std::is_convertible_v<Param, std::u16string_view>) {
      std::string text;
      for (const char16_t c : std::u16string_view(param)) text += c < 0x80 ? static_cast<char>(c) : '_';
      return text;
    } else {
      return testing::PrintToString(param);
    }
  }
};

#endif
