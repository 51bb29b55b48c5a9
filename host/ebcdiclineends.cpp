#include "ebcdiclineends.h"

#include "icuconverter.h"
#include "xmldeclaration.h"

#include <algorithm>
#include <array>
#include <cstring>
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

// The CCSID an EBCDIC document's XML declaration names, read in the
// characters all EBCDIC code pages share; 0 without one.
long declaredEbcdicCcsid(const void* bytes, std::size_t size) {
  static constexpr std::uint8_t kStart[] = {0x4C, 0x6F, 0xA7, 0x94, 0x93};  // "<?xml"
  if (size < sizeof kStart || std::memcmp(bytes, kStart, sizeof kStart) != 0) return 0;
  constexpr std::size_t kDeclarationAtMost = 512;
  const IcuConverter invariant = openIcuConverter("ibm-37");
  if (!invariant) return 0;
  std::array<UChar, kDeclarationAtMost> wide{};
  UErrorCode status = U_ZERO_ERROR;
  const int32_t read = ucnv_toUChars(invariant.get(), wide.data(), wide.size(), static_cast<const char*>(bytes),
                                     static_cast<int32_t>(std::min(size, kDeclarationAtMost)), &status);
  std::string text;
  for (int32_t i = 0; i < std::min<int32_t>(read, wide.size()); ++i) text += wide[i] < 0x80 ? static_cast<char>(wide[i]) : '?';
  const std::size_t end = text.find("?>");
  const std::optional<std::string_view> declared =
      end == std::string::npos ? std::nullopt : declaredEncoding(std::string_view(text).substr(0, end));
  if (!declared) return 0;
  const std::string name(*declared);
  // A converter's options (",swaplfnl") could move the line ends themselves.
  return name.find(',') == std::string::npos ? ccsidOfIcuName(name.c_str()) : 0;
}

}  // namespace

bool scansNlAsLf(long ccsid, const void* bytes, std::size_t size) {
  if (!mayBeEbcdic(bytes, size)) return false;
  if (ccsid == 0) ccsid = declaredEbcdicCcsid(bytes, size);
  return ccsid > 0 && hasEbcdicLineEnds(ccsid);
}

void nlToLf(std::uint8_t* bytes, std::size_t size) { std::replace(bytes, bytes + size, kNl, kLf); }
