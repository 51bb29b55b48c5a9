#include "xmllibrary.h"

#include "anyurivalidator.h"
#include "characterclasses.h"

#include <xercesc/util/PlatformUtils.hpp>

#include <mutex>

void startXmlLibraryForProcess() {
  // Initialize is not thread-safe; after the first call it only counts.
  static std::once_flag started;
  std::call_once(started, [] { xercesc::XMLPlatformUtils::Initialize(); });
  useSchemaCharacterClasses();
  AuthorityCheckingUriValidator::replaceBuiltIn();
}
