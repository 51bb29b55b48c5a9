#ifndef TESTS_HOST_TREE_TEST_SUPPORT_H
#define TESTS_HOST_TREE_TEST_SUPPORT_H

#include "messagetree.h"
#include "tracetext.h"
#include "zelexception.h"
#include "host/test_support.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

// Failure messages show values as the trace does.
inline void PrintTo(const PWFData& value, std::ostream* os) { *os << TraceText::ofValue(value); }

namespace treetest {

// A record with property 0 set to text (the parser's comment record).
inline WorkerInfoPtr commentRecord(const char16_t* text) {
  WorkerInfoPtr record(new DataWorkerInfo<1>());
  record->setProperty(0, PWFData::makeString(ZelWstring(text)));
  return record;
}

inline PWFData str(const char16_t* text) { return PWFData::makeString(ZelWstring(text)); }

// The tree's text form against tests/data/trees/<name>.txt.
inline void expectTreeText(const MessageTree& tree, const std::string& name) {
  EXPECT_EQ(treeToText(tree), dataText("trees/" + name + ".txt")) << name;
}

// Runs action, expecting ZelFatalException CP_TREE_ERROR whose first insert is where.
inline void expectTreeError(const std::function<void()>& action, const std::string& where) {
  SCOPED_TRACE("CP_TREE_ERROR at " + where);
  const ZelFatalException e = raisedBy<ZelFatalException>(action);
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_TREE_ERROR) << e.what();
  EXPECT_EQ(e.insertText(0), where) << e.what();
  EXPECT_FALSE(e.insertText(1).empty()) << e.what();
}

}  // namespace treetest

#endif
