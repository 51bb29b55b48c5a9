#ifndef ICUCONVERTER_H
#define ICUCONVERTER_H

#include "zelapi.h"

#include <unicode/ucnv.h>

#include <memory>

// An ICU converter, closed when its owner goes.
struct IcuConverterClose {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using IcuConverter = std::unique_ptr<UConverter, IcuConverterClose>;

// The converter ICU has under a name (options included), or null.
ZEL_API IcuConverter openIcuConverter(const char* name);

// The CCSID of the converter ICU has under a name, or 0 when it knows none.
ZEL_API long ccsidOfIcuName(const char* name);

#endif
