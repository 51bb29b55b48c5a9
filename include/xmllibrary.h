#ifndef XMLLIBRARY_H
#define XMLLIBRARY_H

#include "zelapi.h"

// Starts the XML scanner library (Xerces-C) for the rest of the process, on
// the first call from any thread; later calls return at once. The library
// builds its process-wide tables (Unicode character classes for patterns,
// transcoders, message catalogues) when it starts and tears them down at its
// last matching stop; code that starts and stops it around each schema import
// or validator made a program that compiles or validates one message set
// after another rebuild those tables every time. Nothing stops it again:
// what it keeps stays reachable until the process ends. Every call makes
// sure the patterns' character classes are XML Schema's (characterclasses.h)
// and the built-in xs:anyURI checks authorities (anyurivalidator.h): call it
// before parsing an expression or building a grammar.
ZEL_API void startXmlLibraryForProcess();

#endif
