#include "unicodeconverter.h"

#include "bitstreambuffer.h"
#include "icuconverter.h"
#include "markupcontext.h"
#include "zelexception.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr long CCSID_UTF8 = 1208;
constexpr long UTF16_CCSIDS[] = {1200, 13488, 17584};
constexpr long UTF32_CCSIDS[] = {1232, 1234, 1236};
// CCSIDs are 16-bit numbers.
constexpr long MAX_CCSID = 65535;
// Bytes converted per ICU call before they are appended to the output: large
// enough that the per-call cost vanishes, small enough to stay in cache.
constexpr std::size_t SCRATCH_BYTES = 32 * 1024;
// Room for the units of the character a conversion failed on (ICU keeps at most 32).
constexpr int8_t INVALID_UNITS_ROOM = 32;

bool isOneOf(long ccsid, const long (&list)[3]) { return std::find(std::begin(list), std::end(list), ccsid) != std::end(list); }

// Where in its document a character the code page lacks stands, found only
// when one turns up (most documents have none): the bytes the document has
// in the output before the current call are read back through the code page,
// from where the last look stopped, and the call's own text is followed up to
// the character.
class ReferencePlaces {
public:
  explicit ReferencePlaces(long ccsid) : ccsid_(ccsid) {}

  void beginDocument() {
    out_ = nullptr;
    lost_ = false;
    reader_.reset();
  }
  // A call converts text; out holds what the document wrote before it.
  void beginCall(const WritableBitstreamBuffer& out, const char16_t* text) {
    if (out_ != &out) {
      out_ = &out;
      read_ = out.getLength();
      context_ = MarkupContext();
      reader_.reset();
    } else if (out.getLength() < read_) {
      lost_ = true;  // cut back: what stood there is unknown
    }
    callStart_ = out.getLength();
    text_ = text;
    followed_ = nullptr;
  }
  // After a failed call the output is cut back: refuse from then on.
  void lose() { lost_ = true; }
  // Whether a reference may stand for the character at unit (of the call's
  // text; before it for a surrogate held from the call before).
  bool takeReference(const char16_t* unit);
  UChar32 refused = U_SENTINEL;  // the character last refused one

private:
  void readBack();

  const long ccsid_;
  const WritableBitstreamBuffer* out_ = nullptr;
  std::size_t read_ = 0;  // the output is read back up to here
  MarkupContext context_;  // ... and there stands the document
  IcuConverter reader_;
  std::size_t callStart_ = 0;
  const char16_t* text_ = nullptr;
  const char16_t* followed_ = nullptr;  // the call's text is followed up to here (null: not yet)
  MarkupContext inCall_;  // ... and there stands the document
  bool lost_ = false;
};

void ReferencePlaces::readBack() {
  UErrorCode status = U_ZERO_ERROR;
  if (!reader_) reader_.reset(ucnv_openCCSID(static_cast<int32_t>(ccsid_), UCNV_IBM, &status));
  if (U_FAILURE(status) || !reader_) {
    lost_ = true;
    return;
  }
  const char* const bytes = reinterpret_cast<const char*>(out_->bytes().data());
  const char* source = bytes + read_;
  const char* const limit = bytes + callStart_;
  UChar units[1024];
  while (source < limit && U_SUCCESS(status)) {
    UChar* target = units;
    ucnv_toUnicode(reader_.get(), &target, units + 1024, &source, limit, nullptr, false, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) status = U_ZERO_ERROR;
    context_.pass({units, static_cast<std::size_t>(target - units)});
  }
  if (U_FAILURE(status)) lost_ = true;
  read_ = callStart_;
}

bool ReferencePlaces::takeReference(const char16_t* unit) {
  if (!followed_) {
    readBack();
    inCall_ = context_;
    followed_ = text_;
  }
  if (lost_) return false;
  if (unit > followed_) {
    inCall_.pass({followed_, static_cast<std::size_t>(unit - followed_)});
    followed_ = unit;
  }
  return inCall_.takesReference();
}

// Characters missing from the code page become "&#NNN;" where a reference
// reads back as the character; elsewhere (a name, a comment ...) the error
// stays set, and so for anything else that reaches the callback: an unpaired
// surrogate. Either stops the conversion. (ICU's own escaping callback would
// drop the default-ignorable characters, a zero-width space or a soft hyphen,
// without a word.) The reference's characters are in every code page a
// converter is made for.
void U_CALLCONV escapeUnassigned(const void* context, UConverterFromUnicodeArgs* args, const UChar*, int32_t length,
                                 UChar32 codePoint, UConverterCallbackReason reason, UErrorCode* error) {
  if (reason != UCNV_UNASSIGNED) return;
  // ICU has moved past the character.
  auto& places = *static_cast<ReferencePlaces*>(const_cast<void*>(context));
  if (!places.takeReference(args->source - length)) {
    places.refused = codePoint;
    return;
  }
  char digits[16];
  const int count = std::snprintf(digits, sizeof digits, "&#%u;", static_cast<unsigned>(codePoint));
  UChar reference[16];
  std::copy(digits, digits + count, reference);
  const UChar* source = reference;
  *error = U_ZERO_ERROR;
  ucnv_cbFromUWriteUChars(args, &source, reference + count, 0, error);
}

// insert: the CCSID, or a text naming the code page; then why, if known.
template <typename Insert>
[[noreturn]] void throwCodepageError(const char* function, Insert insert, const char* reason = nullptr) {
  ZelFatalException error(__FILE__, __LINE__, function, zelDefaultLogSourceName(), ZelMessages::CP_CODEPAGE_ERROR);
  error.addInsert(insert);
  if (reason) error.addInsert(reason);
  throw error;
}

IcuConverter openConverter(long ccsid, bool littleEndian, UErrorCode& status) {
  if (ccsid == CCSID_UTF8) return IcuConverter(ucnv_open("UTF-8", &status));
  if (isOneOf(ccsid, UTF16_CCSIDS)) return IcuConverter(ucnv_open(littleEndian ? "UTF-16LE" : "UTF-16BE", &status));
  if (isOneOf(ccsid, UTF32_CCSIDS)) return IcuConverter(ucnv_open(littleEndian ? "UTF-32LE" : "UTF-32BE", &status));
  return IcuConverter(ucnv_openCCSID(static_cast<int32_t>(ccsid), UCNV_IBM, &status));
}

// The registered name of a single-byte code page (its preferred MIME name,
// else its IANA name: ISO-8859-1, windows-1252, KOI8-R, IBM037), which
// readers that do not know IBM's numbers read too; empty where the code page
// has none, or where ICU takes the name for another table than the code
// page's. Tables of multi-byte code pages differ from reader to reader.
std::string registeredName(const UConverter& converter) {
  UErrorCode status = U_ZERO_ERROR;
  const char* table = ucnv_getName(&converter, &status);
  if (U_FAILURE(status) || ucnv_getMaxCharSize(&converter) != 1) return {};
  for (const char* standard : {"MIME", "IANA"}) {
    status = U_ZERO_ERROR;
    const char* name = ucnv_getStandardName(table, standard, &status);
    if (U_FAILURE(status) || name == nullptr) continue;
    const IcuConverter named(ucnv_open(name, &status));
    if (U_SUCCESS(status) && named && std::strcmp(ucnv_getName(named.get(), &status), table) == 0) return name;
  }
  return {};
}

// The verdict of registeredName, found once for each CCSID.
const std::string& registeredNameOf(long ccsid, const UConverter& converter) {
  static std::mutex mutex;
  static std::map<long, std::string> known;
  const std::lock_guard<std::mutex> lock(mutex);
  const auto [it, added] = known.try_emplace(ccsid);
  if (added) it->second = registeredName(converter);
  return it->second;  // never changed once made
}

std::string encodingName(long ccsid, const UConverter& converter) {
  if (ccsid == CCSID_UTF8) return "UTF-8";
  // Both byte orders: the reader takes the order from the byte-order mark.
  if (isOneOf(ccsid, UTF16_CCSIDS)) return "UTF-16";
  // The XML recommendation's name for UCS-4; unlike "UTF-32", libxml2 also
  // reads it (big-endian, without a mark).
  if (isOneOf(ccsid, UTF32_CCSIDS)) return "ISO-10646-UCS-4";
  if (const std::string& name = registeredNameOf(ccsid, converter); !name.empty()) return name;
  char name[16];
  std::snprintf(name, sizeof name, "IBM%03ld", ccsid);
  return name;
}

}  // namespace

// Most text is ASCII or Latin-1. For UTF-8 and for single-byte code pages
// the converter spells those characters itself, without a call into ICU;
// everything else (surrogates, characters above U+00FF in a single-byte code
// page, any character of the other code pages) goes through ICU, which also
// holds a surrogate that ends one piece of text until the next.
enum class FastPath { None, Utf8, SingleByte };

constexpr std::uint16_t NO_BYTE = 0xFFFF;

struct CPUnicodeConverter::Handle {
  IcuConverter converter;
  FastPath fastPath = FastPath::None;
  // Single-byte code pages: the byte of each of U+0000..U+00FF, NO_BYTE for
  // a character the code page does not have (ICU escapes it).
  std::array<std::uint16_t, 256> latin1Bytes{};

  bool isFast(char16_t unit) const {
    switch (fastPath) {
      case FastPath::Utf8:
        return unit < 0xD800 || unit > 0xDFFF;
      case FastPath::SingleByte:
        return unit < 256 && latin1Bytes[unit] != NO_BYTE;
      case FastPath::None:
        return false;
    }
    return false;
  }
  // Code pages without every character write references in their place.
  std::unique_ptr<ReferencePlaces> places;
  // Whether ICU holds a surrogate from the last piece of text.
  bool isHolding() const {
    UErrorCode status = U_ZERO_ERROR;
    return ucnv_fromUCountPending(converter.get(), &status) > 0;
  }
};

namespace {

// The encoders spell units from text[0, length) into target (room for three
// bytes per unit) until they meet a unit they leave to ICU; they return the
// number of units taken and advance target.

// Eight ASCII units at a time: the common case of markup and values. The
// run of ASCII units at text[i] is stored; returns how many there were (8
// means: maybe more). Stores 8 bytes at out whatever the count.
inline std::size_t storeAsciiRun(const char16_t* text, std::uint8_t* out) {
#if defined(__SSE2__)
  const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  const __m128i high = _mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80)));
  const unsigned ascii = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(units, units));
  return ascii == 0xFFFF ? 8 : static_cast<std::size_t>(__builtin_ctz(~ascii)) / 2;
#else
  std::size_t n = 0;
  while (n < 8 && text[n] < 0x80) {
    out[n] = static_cast<std::uint8_t>(text[n]);
    ++n;
  }
  return n;
#endif
}

// Sixteen ASCII units stored as one block of bytes; false, with nothing
// stored, when any of them is not ASCII.
inline bool storeAsciiBlock(const char16_t* text, std::uint8_t* out) {
#if defined(__SSE2__)
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 8));
  const __m128i above = _mm_and_si128(_mm_or_si128(low, high), _mm_set1_epi16(static_cast<short>(0xFF80)));
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(above, _mm_setzero_si128())) != 0xFFFF) return false;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
  return true;
#else
  (void)text;
  (void)out;
  return false;
#endif
}

std::size_t encodeUtf8(const char16_t* text, std::size_t length, std::uint8_t*& target) {
  std::uint8_t* out = target;
  std::size_t i = 0;
  while (i < length) {
    // Markup and most values are long ASCII runs.
    while (i + 16 <= length && storeAsciiBlock(text + i, out)) {
      out += 16;
      i += 16;
    }
    if (i == length) break;
    if (i + 8 <= length) {
      const std::size_t ascii = storeAsciiRun(text + i, out);
      out += ascii;
      i += ascii;
      if (ascii == 8) continue;
    }
    const char16_t unit = text[i];
    if (unit < 0x80) {
      *out++ = static_cast<std::uint8_t>(unit);
    } else if (unit < 0x800) {
      out[0] = static_cast<std::uint8_t>(0xC0 | (unit >> 6));
      out[1] = static_cast<std::uint8_t>(0x80 | (unit & 0x3F));
      out += 2;
    } else if (unit < 0xD800 || unit > 0xDFFF) {
      out[0] = static_cast<std::uint8_t>(0xE0 | (unit >> 12));
      out[1] = static_cast<std::uint8_t>(0x80 | ((unit >> 6) & 0x3F));
      out[2] = static_cast<std::uint8_t>(0x80 | (unit & 0x3F));
      out += 3;
    } else {
      break;  // a surrogate
    }
    ++i;
  }
  target = out;
  return i;
}

std::size_t encodeSingleByte(const std::array<std::uint16_t, 256>& bytes, const char16_t* text, std::size_t length,
                             std::uint8_t*& target) {
  std::uint8_t* out = target;  // a local copy: stores of bytes may alias anything else
  const std::uint16_t* table = bytes.data();
  std::size_t i = 0;
  // Four units a round while all of them have a byte: one test for the
  // four units and one for their bytes (NO_BYTE is above any byte), one store.
  for (; i + 4 <= length; i += 4) {
    const char16_t a = text[i], b = text[i + 1], c = text[i + 2], d = text[i + 3];
    if ((a | b | c | d) > 0xFF) break;
    const std::uint32_t byteA = table[a], byteB = table[b], byteC = table[c], byteD = table[d];
    if ((byteA | byteB | byteC | byteD) > 0xFF) break;
    const std::uint8_t four[4] = {static_cast<std::uint8_t>(byteA), static_cast<std::uint8_t>(byteB),
                                  static_cast<std::uint8_t>(byteC), static_cast<std::uint8_t>(byteD)};
    std::memcpy(out + i, four, sizeof four);
  }
  for (; i < length; ++i) {
    const char16_t unit = text[i];
    if (unit > 0xFF || table[unit] == NO_BYTE) break;
    out[i] = static_cast<std::uint8_t>(table[unit]);
  }
  target = out + i;
  return i;
}

// The bytes of U+0000..U+00FF in a single-byte code page, read from the
// converter itself so that they agree with it: converted in one call that
// skips what the code page lacks, the offsets tell which unit gave which byte.
bool readLatin1Bytes(UConverter* converter, std::array<std::uint16_t, 256>& bytes) {
  UChar units[256];
  for (int i = 0; i < 256; ++i) units[i] = static_cast<UChar>(i);
  char converted[256];
  int32_t offsets[256];
  char* target = converted;
  const UChar* source = units;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_SKIP, nullptr, nullptr, nullptr, &status);
  ucnv_fromUnicode(converter, &target, converted + 256, &source, units + 256, offsets, true, &status);
  ucnv_resetFromUnicode(converter);
  if (U_FAILURE(status)) return false;
  bytes.fill(NO_BYTE);
  for (int32_t i = 0; i < target - converted; ++i) {
    if (offsets[i] < 0 || offsets[i] > 255) return false;
    bytes[static_cast<std::size_t>(offsets[i])] = static_cast<std::uint8_t>(converted[i]);
  }
  return true;
}

// The first character that the code page cannot write and read back
// unchanged, of those a document's character data needs to stay what it is:
// '<' and the quotes that end it, the character references that stand for
// what the code page lacks and the five escapes ("&lt;" ...). 0 when it has
// them all. Some tables lack them (an old Hebrew EBCDIC without '&', a
// double-byte set without ASCII): what they would write is no XML. A
// character missing anywhere else in markup (a name, '[' of a CDATA
// section) is refused where it stands.
char16_t firstMissingMarkupCharacter(UConverter* converter) {
  static constexpr std::u16string_view kNeeded = u"<>&#;\"'0123456789aglmopqstu";
  std::array<UChar, kNeeded.size()> markup;
  std::copy(kNeeded.begin(), kNeeded.end(), markup.begin());
  std::array<char, 8 * markup.size()> bytes;
  char* target = bytes.data();
  const UChar* source = markup.data();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ucnv_fromUnicode(converter, &target, bytes.data() + bytes.size(), &source, markup.data() + markup.size(), nullptr,
                   true, &status);
  ucnv_resetFromUnicode(converter);
  if (U_FAILURE(status)) return source > markup.data() ? source[-1] : markup[0];
  std::array<UChar, markup.size() + 8> back;
  UChar* backTarget = back.data();
  const char* backSource = bytes.data();
  ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ucnv_toUnicode(converter, &backTarget, back.data() + back.size(), &backSource, target, nullptr, true, &status);
  ucnv_resetToUnicode(converter);
  const auto read = static_cast<std::size_t>(backTarget - back.data());
  for (std::size_t i = 0; i < markup.size(); ++i)
    if (U_FAILURE(status) || i >= read || back[i] != markup[i]) return markup[i];
  return 0;
}

// The verdict of firstMissingMarkupCharacter, found once for each CCSID.
char16_t missingMarkupCharacter(long ccsid, UConverter* converter) {
  static std::mutex mutex;
  static std::map<long, char16_t> known;
  const std::lock_guard<std::mutex> lock(mutex);
  const auto [it, added] = known.try_emplace(ccsid, 0);
  if (added) it->second = firstMissingMarkupCharacter(converter);
  return it->second;
}

}  // namespace

CPUnicodeConverter::CPUnicodeConverter(long ccsid, long byteOrder)
    : ccsid_(ccsid), littleEndian_(byteOrder == 1) {
  if (ccsid <= 0 || ccsid > MAX_CCSID) throwCodepageError("CPUnicodeConverter::CPUnicodeConverter", ccsid);
  UErrorCode status = U_ZERO_ERROR;
  IcuConverter converter = openConverter(ccsid, littleEndian_, status);
  // ICU answers U_AMBIGUOUS_ALIAS_WARNING and the like with a usable converter.
  if (U_FAILURE(status) || !converter) throwCodepageError("CPUnicodeConverter::CPUnicodeConverter", ccsid);
  name_ = encodingName(ccsid, *converter);
  handle_ = std::make_unique<Handle>();
  if (ccsid == CCSID_UTF8) {
    handle_->fastPath = FastPath::Utf8;
  } else if (ucnv_getMaxCharSize(converter.get()) == 1 && readLatin1Bytes(converter.get(), handle_->latin1Bytes)) {
    handle_->fastPath = FastPath::SingleByte;
  }
  if (ccsid != CCSID_UTF8 && !IsUnicode(ccsid)) {
    if (const char16_t missing = missingMarkupCharacter(ccsid, converter.get())) {
      char reason[64];
      if (missing >= 0x20)
        std::snprintf(reason, sizeof reason, "the code page has no '%c', which XML markup needs", static_cast<char>(missing));
      else
        std::snprintf(reason, sizeof reason, "the code page has no U+%04X, which XML markup needs", unsigned{missing});
      throwCodepageError("CPUnicodeConverter::CPUnicodeConverter", ccsid, reason);
    }
    handle_->places = std::make_unique<ReferencePlaces>(ccsid);
  }
  status = U_ZERO_ERROR;
  ucnv_setFromUCallBack(converter.get(), escapeUnassigned, handle_->places.get(), nullptr, nullptr, &status);
  if (U_FAILURE(status)) throwCodepageError("CPUnicodeConverter::CPUnicodeConverter", ccsid);
  handle_->converter = std::move(converter);
  scratch_.resize(SCRATCH_BYTES);
}

CPUnicodeConverter::~CPUnicodeConverter() = default;

bool CPUnicodeConverter::IsUnicode(long ccsid) { return isOneOf(ccsid, UTF16_CCSIDS) || isOneOf(ccsid, UTF32_CCSIDS); }

int CPUnicodeConverter::getMinBytesPerChar() const { return ucnv_getMinCharSize(handle_->converter.get()); }

void CPUnicodeConverter::fromUnicode(const char16_t* text, std::size_t length, WritableBitstreamBuffer& out) {
  if (length == 0) return;
  const Handle& handle = *handle_;
  if (handle.places) handle.places->beginCall(out, text);
  if (handle.fastPath == FastPath::None) {
    convert(text, length, /*flush=*/false, out, out.getLength(), 0);
    return;
  }
  const std::size_t sizeBefore = out.getLength();
  // Up to three bytes per unit fit the scratch.
  const std::size_t maxUnits = scratch_.size() / 3;
  std::size_t i = 0;
  bool holding = handle.isHolding();
  while (i < length) {
    if (!holding) {
      std::uint8_t* target = scratch_.data();
      const std::size_t units = std::min(length - i, maxUnits);
      const std::size_t taken = handle.fastPath == FastPath::Utf8
                                    ? encodeUtf8(text + i, units, target)
                                    : encodeSingleByte(handle.latin1Bytes, text + i, units, target);
      out.append(scratch_.data(), static_cast<std::size_t>(target - scratch_.data()));
      i += taken;
      if (taken == units) continue;
    }
    // A run for ICU; a surrogate at its end takes the unit after it along:
    // ICU judges a surrogate by the unit that follows, and reports an
    // unpaired one at the right offset only when it sees that unit.
    std::size_t end = i + 1;
    while (end < length && !handle.isFast(text[end])) ++end;
    if (end < length && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDFFF) ++end;
    convert(text + i, end - i, /*flush=*/false, out, sizeBefore, static_cast<long>(i));
    i = end;
    holding = handle.isHolding();
  }
}

void CPUnicodeConverter::finish(WritableBitstreamBuffer& out) {
  convert(nullptr, 0, /*flush=*/true, out, out.getLength(), 0);
}

void CPUnicodeConverter::beginDocument() {
  if (handle_->places) handle_->places->beginDocument();
}

void CPUnicodeConverter::convert(const char16_t* text, std::size_t length, bool flush, WritableBitstreamBuffer& out,
                                 std::size_t sizeBefore, long offset) {
  UConverter* converter = handle_->converter.get();
  const UChar* source = text;
  const UChar* const sourceLimit = text + length;
  char* const scratchBegin = reinterpret_cast<char*>(scratch_.data());
  char* const scratchEnd = scratchBegin + scratch_.size();
  for (;;) {
    char* target = scratchBegin;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_fromUnicode(converter, &target, scratchEnd, &source, sourceLimit, nullptr, flush, &status);
    out.append(scratchBegin, static_cast<std::size_t>(target - scratchBegin));
    if (status == U_BUFFER_OVERFLOW_ERROR) continue;
    if (U_SUCCESS(status)) return;

    UChar invalid[INVALID_UNITS_ROOM];
    int8_t invalidLength = INVALID_UNITS_ROOM;
    UErrorCode ignored = U_ZERO_ERROR;
    ucnv_getInvalidUChars(converter, invalid, &invalidLength, &ignored);
    const long consumed = static_cast<long>(source - text);
    out.truncate(sizeBefore);
    ucnv_resetFromUnicode(converter);
    UChar32 refused = U_SENTINEL;
    if (ReferencePlaces* places = handle_->places.get()) {
      refused = std::exchange(places->refused, U_SENTINEL);
      places->lose();
    }
    ZelConversionException error(__FILE__, __LINE__, "CPUnicodeConverter::fromUnicode", zelDefaultLogSourceName(),
                                 ZelMessages::CP_CONVERSION_ERROR);
    error.addInsert(ccsid_);
    error.addInsert(offset + std::max(0L, consumed - (U_SUCCESS(ignored) ? invalidLength : 0)));
    if (refused != U_SENTINEL) {
      char character[16];
      std::snprintf(character, sizeof character, "U+%04X", static_cast<unsigned>(refused));
      error.addInsert(character);
      error.setSummary(std::string(character) + " is not in code page " + std::to_string(ccsid_) +
                       ", and a character reference cannot stand for it in a name, comment, processing "
                       "instruction, CDATA section or DOCTYPE");
    }
    throw error;
  }
}

ZelWstring CPUnicodeConverter::fromLocalToUnicode(const char* text, std::size_t length) {
  UErrorCode status = U_ZERO_ERROR;
  IcuConverter local(ucnv_open(nullptr, &status));
  if (U_FAILURE(status) || !local) throwCodepageError("CPUnicodeConverter::fromLocalToUnicode", "local");
  ZelWstring result;
  if (length == 0) return result;
  // One unit per byte is enough for every code page a C library formats in;
  // the overflow answer sizes the second try for any other.
  result.resize(length);
  int32_t needed = ucnv_toUChars(local.get(), &result[0], static_cast<int32_t>(length),
                                 text, static_cast<int32_t>(length), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    status = U_ZERO_ERROR;
    result.resize(static_cast<std::size_t>(needed));
    needed = ucnv_toUChars(local.get(), &result[0], needed, text, static_cast<int32_t>(length), &status);
  }
  if (U_FAILURE(status)) throwCodepageError("CPUnicodeConverter::fromLocalToUnicode", "local");
  result.resize(static_cast<std::size_t>(needed));
  return result;
}
