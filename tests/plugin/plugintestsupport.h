#ifndef TESTS_PLUGIN_PLUGINTESTSUPPORT_H
#define TESTS_PLUGIN_PLUGINTESTSUPPORT_H

#include "host/test_support.h"
#include "zelexception.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// The inserts of an exception as UTF-8 texts.
inline std::vector<std::string> insertsOf(const ZelException& e) {
  std::vector<std::string> texts;
  for (const ZelInsert& insert : e.getInserts()) texts.push_back(insert.toUtf8());
  return texts;
}

// Runs call, which must raise ZelParserException with this message number,
// and returns the exception for further checks.
inline ZelParserException expectParserException(const std::function<void()>& call, std::uint32_t messageNumber) {
  const ZelParserException e = raisedBy<ZelParserException>(call);
  EXPECT_EQ(e.getMessageNumber(), messageNumber) << e.what();
  return e;
}

#endif
