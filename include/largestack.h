#ifndef LARGESTACK_H
#define LARGESTACK_H

#include "zelapi.h"

#include <cstddef>
#include <functional>

// Xerces-C's schema loader, and the schema model it builds, follow a
// schema's components within each other on the stack: the type of an
// element, its elements' types in turn, a base, a group. Schemas whose types
// refer to each other in large circles (a FHIR-like set of resources that
// contain each other) go thousands of levels deep, more than a caller's
// thread may have room for (8 MB by default, 2 MB in some workers), so
// they are read on a thread of their own with this much.
constexpr std::size_t kSchemaReadingStackBytes = std::size_t{256} << 20;

// Runs work on a new thread with a stack of kSchemaReadingStackBytes and
// waits for it; what work throws is thrown here. The stack is reserved,
// not used: the pages work does not reach are never touched. Where no such
// thread can be made, work runs on the caller's.
ZEL_API void runWithLargeStack(const std::function<void()>& work);

#endif
