#ifndef KEPTSCHEMADOCUMENT_H
#define KEPTSCHEMADOCUMENT_H

#include "schemadocument.h"

#include <xercesc/parsers/SAX2XMLReaderImpl.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>

// Reads a schema document from its bytes alone, handler taking its content
// and errors: nothing is fetched (external DTDs and entities read as empty)
// and entity references expand at most kSchemaEntityExpansionLimit times. A
// document that is not well-formed ends the reading quietly, as the schema
// loader reports it; what the handler throws passes.
void readKeptSchemaDocument(const SchemaDocument& document, xercesc::SAX2XMLReaderImpl& reader,
                            xercesc::DefaultHandler& handler);

#endif
