#ifndef HOST_TREEERROR_H
#define HOST_TREEERROR_H

#include <string>

// Raises ZelFatalException CP_TREE_ERROR from the given site with two inserts:
// where the fault is (an event name or a JSON path) and what is wrong.
[[noreturn]] void throwTreeError(const char* file, int line, const char* function, const std::string& where,
                                 const std::string& problem);

#endif
