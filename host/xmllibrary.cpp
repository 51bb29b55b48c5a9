#include "xmllibrary.h"

#include "anyurivalidator.h"
#include "characterclasses.h"

#include <xercesc/util/PlatformUtils.hpp>

#include <mutex>

void startXmlLibraryForProcess() {
  // Initialize is not thread-safe; after the first call it only counts.
  static std::once_flag started;
  std::call_once(started, [] { xercesc::XMLPlatformUtils::Initialize(); });
  // Xerces-C's shared tables made XML Schema's, once per start of the library.
  static std::mutex adapting;
  const std::lock_guard<std::mutex> lock(adapting);
  useSchemaCharacterClasses();
  AuthorityCheckingUriValidator::replaceBuiltIn();
}
