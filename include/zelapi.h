#ifndef ZELAPI_H
#define ZELAPI_H

// Marks the host framework's classes and functions as visible from the host
// library, so that a plug-in built with hidden visibility still links against
// them and shares their type information (a throw in the plug-in is caught by
// the host's handlers).
#define ZEL_API __attribute__((visibility("default")))

#endif
