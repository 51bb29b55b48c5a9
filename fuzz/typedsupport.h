#ifndef FUZZ_TYPEDSUPPORT_H
#define FUZZ_TYPEDSUPPORT_H

// What the fuzz targets of the public API share: the typed test schema's
// message set, compiled once, and how a finding is reported.
#include "wfxml/wfxml.h"

#include <cstdio>
#include <cstdlib>
#include <string>

inline const wfxml::MessageSet& typedSet() {
  static const wfxml::MessageSet set = wfxml::MessageSet::compile({std::string(WF_TEST_DATA_DIR) + "/typed/typed.xsd"});
  return set;
}

[[noreturn]] inline void finding(const std::string& what, const std::string& detail) {
  std::fprintf(stderr, "%s\n%s\n", what.c_str(), detail.c_str());
  std::abort();
}

#endif
