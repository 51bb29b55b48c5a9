// Out-of-line anchors of the host's abstract interfaces, so that their type
// information and virtual tables exist once, in the host library.
#include "bitstreamworker.h"
#include "fihandler.h"
#include "workerinfo.h"

CPRCObject::~CPRCObject() = default;
WorkerInfo::~WorkerInfo() = default;
FIHandler::~FIHandler() = default;
FIParser::~FIParser() = default;
FIWriter::~FIWriter() = default;
BitstreamWorker::~BitstreamWorker() = default;
BitstreamWorkerFactory::~BitstreamWorkerFactory() = default;

long FIParser::getEndOfMessageOffset() {
  while (hasNext()) parseNext();
  return getNumBytesParsed();
}

namespace WorkerInfoErrors {
void keyOutOfRange(const char* function, long) {
  ZelParserException e(__FILE__, __LINE__, function, nullptr, ZelMessages::CP_INTERNAL_ERROR);
  e.addInsert("key out of range");
  throw e;
}
void notSupported(const char* function) {
  ZelParserException e(__FILE__, __LINE__, function, nullptr, ZelMessages::CP_INTERNAL_ERROR);
  e.addInsert("Not suppported");
  throw e;
}
}  // namespace WorkerInfoErrors
