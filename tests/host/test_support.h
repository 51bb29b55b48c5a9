#ifndef TESTS_HOST_TEST_SUPPORT_H
#define TESTS_HOST_TEST_SUPPORT_H

// Helpers for the host and plug-in tests alike.
#include "pwfdata.h"
#include "zelexception.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Runs call, which must raise an E, and returns the exception for further
// checks; an exception of another type passes through and fails the test.
template <class E = ZelException, class Call>
E raisedBy(Call&& call) {
  try {
    call();
  } catch (const E& e) {
    return e;
  }
  ADD_FAILURE() << "no exception";
  return E(__FILE__, __LINE__, "none", nullptr, 0);
}

// A date-time of the fields given, the others unset.
inline PWFDateTime dateTime(std::int32_t year, std::int32_t month, std::int32_t day,
                            std::int32_t hour = PWFDateTime::kUnset, std::int32_t minute = PWFDateTime::kUnset,
                            std::int32_t second = PWFDateTime::kUnset, std::string fraction = "",
                            std::string zone = "") {
  PWFDateTime value;
  value.year = year, value.month = month, value.day = day;
  value.hour = hour, value.minute = minute, value.second = second;
  value.fraction = std::move(fraction);
  value.zone = std::move(zone);
  return value;
}

// The bytes from offset from on, in lower-case hexadecimal.
inline std::string hexOf(const std::vector<std::uint8_t>& bytes, std::size_t from = 0) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = from; i < bytes.size(); ++i) {
    hex += digits[bytes[i] >> 4];
    hex += digits[bytes[i] & 15];
  }
  return hex;
}

#endif
