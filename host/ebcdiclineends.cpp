#include "ebcdiclineends.h"

#include "icuconverter.h"
#include "xmldeclaration.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

constexpr std::uint8_t kNl = 0x15;
constexpr std::uint8_t kLf = 0x25;

// Whether a document can be EBCDIC: its first byte is EBCDIC's '<' or
// white space (CR is ASCII's too).
bool mayBeEbcdic(const void* bytes, std::size_t size) {
  if (size == 0) return false;
  const std::uint8_t first = *static_cast<const std::uint8_t*>(bytes);
  return first == 0x4C || first == 0x40 || first == 0x05 || first == kNl || first == kLf || first == 0x0D;
}

// Whether the code page's table is an EBCDIC one with NL and LF. Double-byte
// EBCDIC holds neither byte in its pairs, so its stateful tables count too.
bool hasEbcdicLineEnds(long ccsid) {
  static std::mutex mutex;
  static std::map<long, bool> known;
  const std::lock_guard<std::mutex> lock(mutex);
  const auto it = known.find(ccsid);
  if (it != known.end()) return it->second;
  const IcuConverter converter = openIcuConverter(("ibm-" + std::to_string(ccsid)).c_str());
  if (!converter) return false;  // not kept: bad input cannot fill the map
  bool ebcdic = false;
  const UConverterType type = ucnv_getType(converter.get());
  if (type == UCNV_SBCS || type == UCNV_EBCDIC_STATEFUL) {
    const char lineEnds[] = {static_cast<char>(kNl), static_cast<char>(kLf)};
    std::array<UChar, 4> read{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = ucnv_toUChars(converter.get(), read.data(), read.size(), lineEnds, 2, &status);
    ebcdic = U_SUCCESS(status) && length == 2 && read[0] == 0x85 && read[1] == 0x0A;
  }
  known.emplace(ccsid, ebcdic);
  return ebcdic;
}

// The CCSID an EBCDIC document's XML declaration names; 0 without one.
long declaredEbcdicCcsid(const void* bytes, std::size_t size) {
  if (*static_cast<const std::uint8_t*>(bytes) != 0x4C) return 0;  // an ASCII document's declaration is no EBCDIC's
  const std::optional<std::string> declared = documentDeclaredEncoding(bytes, size);
  // A converter's options (",swaplfnl") could move the line ends themselves.
  return declared && declared->find(',') == std::string::npos ? ccsidOfIcuName(declared->c_str()) : 0;
}

}  // namespace

long nlAsLfCodePage(long ccsid, const void* bytes, std::size_t size) {
  if (!mayBeEbcdic(bytes, size)) return 0;
  if (ccsid == 0) ccsid = declaredEbcdicCcsid(bytes, size);
  return ccsid > 0 && hasEbcdicLineEnds(ccsid) ? ccsid : 0;
}

bool scansNlAsLf(long ccsid, const void* bytes, std::size_t size) { return nlAsLfCodePage(ccsid, bytes, size) != 0; }

void nlToLf(std::uint8_t* bytes, std::size_t size) { std::replace(bytes, bytes + size, kNl, kLf); }
