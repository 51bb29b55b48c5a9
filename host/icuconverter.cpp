#include "icuconverter.h"

IcuConverter openIcuConverter(const char* name) {
  UErrorCode status = U_ZERO_ERROR;
  IcuConverter converter(ucnv_open(name, &status));
  return U_SUCCESS(status) ? std::move(converter) : nullptr;
}

long ccsidOfIcuName(const char* name) {
  const IcuConverter converter = openIcuConverter(name);
  if (!converter) return 0;
  UErrorCode status = U_ZERO_ERROR;
  const int ccsid = ucnv_getCCSID(converter.get(), &status);
  return U_FAILURE(status) || ccsid <= 0 ? 0 : ccsid;
}
