#include "xmlprinter.h"

#include "textbufferwriter.h"
#include "unicodeconverter.h"
#include "zelexception.h"
#include "zellog.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The entity of each special character, indexed by the character. Special
// characters all lie below 64, so one bit mask tells them apart.
constexpr char16_t SPECIALS_LIMIT = 64;
constexpr std::array<std::u16string_view, SPECIALS_LIMIT> ENTITIES = [] {
  std::array<std::u16string_view, SPECIALS_LIMIT> table{};
  table[u'<'] = XML_ENTITY_LT_STR;
  table[u'>'] = XML_ENTITY_GT_STR;
  table[u'&'] = XML_ENTITY_AMP_STR;
  table[u'\''] = XML_ENTITY_SQ_STR;
  table[u'"'] = XML_ENTITY_DQ_STR;
  return table;
}();
constexpr std::uint64_t SPECIALS_MASK = [] {
  std::uint64_t mask = 0;
  for (char16_t special : XML_ENTITY_STD) mask |= std::uint64_t{1} << special;
  return mask;
}();

inline bool isSpecial(char16_t unit) { return unit < SPECIALS_LIMIT && ((SPECIALS_MASK >> unit) & 1) != 0; }

#if defined(__SSE2__)
// Eight units compared with each special character at once: two mask bits
// for each unit that is one.
inline int specialsMask(__m128i units) {
  const __m128i hits = _mm_or_si128(
      _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(u'<')), _mm_cmpeq_epi16(units, _mm_set1_epi16(u'>'))),
      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(u'&')),
                                _mm_cmpeq_epi16(units, _mm_set1_epi16(u'\''))),
                   _mm_cmpeq_epi16(units, _mm_set1_epi16(u'"'))));
  return _mm_movemask_epi8(hits);
}
#endif

std::size_t findSpecial(std::u16string_view text, std::size_t from) {
  std::size_t i = from;
#if defined(__SSE2__)
  for (; i + 8 <= text.size(); i += 8) {
    const int mask = specialsMask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i)));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
  }
#endif
  for (; i < text.size(); ++i)
    if (isSpecial(text[i])) return i;
  return text.size();
}

// Length of text once escaped; the scan starts at its first special character.
std::size_t escapedLength(std::u16string_view text, std::size_t firstSpecial) {
  std::size_t length = text.size();
  for (std::size_t i = firstSpecial; i < text.size(); ++i)
    if (isSpecial(text[i])) length += ENTITIES[text[i]].size() - 1;
  return length;
}

// Hands text escaped to append, piece by piece: each run between special
// characters in one go, then the entity. The scan starts at the first
// special character.
template <typename Append>
void forEachEscapedPiece(std::u16string_view text, std::size_t firstSpecial, Append append) {
  std::size_t runStart = 0;
  for (std::size_t special = firstSpecial; special < text.size(); special = findSpecial(text, runStart)) {
    append(text.substr(runStart, special - runStart));
    append(ENTITIES[text[special]]);
    runStart = special + 1;
  }
  append(text.substr(runStart));
}

// The longest entity, in units: what one unit of text may become.
constexpr std::size_t LONGEST_ENTITY = 6;

// Writes text escaped to target, which has room for LONGEST_ENTITY units
// per unit of text, in one pass; returns the units written.
std::size_t escapeInto(std::u16string_view text, char16_t* target) {
  char16_t* out = target;
  std::size_t i = 0;
  auto putEntity = [&out](char16_t special) {
    const std::u16string_view entity = ENTITIES[special];
    out = std::copy(entity.begin(), entity.end(), out);
  };
#if defined(__SSE2__)
  // Eight units at a time are stored whole; a special character among them
  // ends the block there and becomes its entity. The room for entities
  // leaves space for the whole block.
  while (i + 8 <= text.size()) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    const int mask = specialsMask(units);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), units);
    if (mask == 0) {
      out += 8;
      i += 8;
      continue;
    }
    const std::size_t plain = static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
    out += plain;
    i += plain;
    putEntity(text[i++]);
  }
#endif
  for (; i < text.size(); ++i) {
    if (isSpecial(text[i]))
      putEntity(text[i]);
    else
      *out++ = text[i];
  }
  return static_cast<std::size_t>(out - target);
}

void appendEscaped(std::u16string_view text, std::size_t firstSpecial, ZelWstring& out) {
  forEachEscapedPiece(text, firstSpecial, [&out](std::u16string_view piece) { out.append(piece); });
}

std::u16string_view viewOf(const char16_t* text, long length) {
  if (!text) return {};
  return length < 0 ? std::u16string_view(text) : std::u16string_view(text, static_cast<std::size_t>(length));
}

bool isPresent(const char16_t* text) { return text && text[0] != 0; }

// Makes room for n more units in the pending text: converts what it holds
// when the batch would outgrow the capacity. Returns whether the n units fit
// in the pending text at all.
bool makeRoom(TextBufferWriter* out, std::size_t n) {
  if (n <= out->pendingRoom()) return true;
  out->convertPending();
  return n <= out->pendingCapacity();
}

}  // namespace

void XMLPrinter::appendStr(TextBufferWriter* out, std::u16string_view text) {
  if (makeRoom(out, text.size()))
    out->appendPending(text.data(), text.size());
  else
    out->appendStr(text.data(), text.size());
}

void XMLPrinter::appendStr(TextBufferWriter* out, const char16_t* text, long length) {
  appendStr(out, viewOf(text, length));
}

void XMLPrinter::appendStr(TextBufferWriter* out, const ZelWstring& text) { appendStr(out, text.view()); }

void XMLPrinter::appendReplaceStr(TextBufferWriter* out, std::u16string_view text) {
  // Text whose every unit could become an entity and still fit the pending
  // text is escaped while it is copied, in one pass.
  if (text.size() <= out->pendingRoom() / LONGEST_ENTITY) {
    char16_t* target = out->reservePending(text.size() * LONGEST_ENTITY);
    out->commitPending(escapeInto(text, target));
    return;
  }
  const std::size_t firstSpecial = findSpecial(text, 0);
  if (firstSpecial == text.size()) {
    if (text.size() <= out->pendingRoom())
      out->appendPending(text.data(), text.size());
    else
      appendStr(out, text);
    return;
  }
  // Escape straight into the pending text when the result fits; only a
  // result longer than a batch needs a string of its own.
  if (makeRoom(out, escapedLength(text, firstSpecial))) {
    forEachEscapedPiece(text, firstSpecial,
                        [out](std::u16string_view piece) { out->appendPending(piece.data(), piece.size()); });
    return;
  }
  ZelWstring escaped;
  escaped.reserve(escapedLength(text, firstSpecial));
  appendEscaped(text, firstSpecial, escaped);
  out->appendStr(escaped);
}

void XMLPrinter::appendReplaceStr(TextBufferWriter* out, const char16_t* text, long length) {
  appendReplaceStr(out, viewOf(text, length));
}

void XMLPrinter::appendReplaceStr(TextBufferWriter* out, const ZelWstring& text) { appendReplaceStr(out, text.view()); }

void XMLPrinter::replaceSpecialChars(const ZelWstring& in, ZelWstring& out) {
  out.clear();
  out.reserve(in.length());
  appendEscaped(in.view(), findSpecial(in.view(), 0), out);
}

void XMLPrinter::outputBOM(TextBufferWriter* out) {
  const long codepage = out->getCodepage();
  const long endian = out->getEndian();
  if (ZelLog::traceOn()) ZelLog::trace(nullptr, "XMLPrinter::outputBOM", {"Buffer parameters", "codepage", codepage, "endian", endian});
  if (!CPUnicodeConverter::IsUnicode(codepage) || endian == -1) return;

  static constexpr std::uint8_t UTF16_BE[] = {0xFE, 0xFF};
  static constexpr std::uint8_t UTF16_LE[] = {0xFF, 0xFE};
  static constexpr std::uint8_t UTF32_BE[] = {0x00, 0x00, 0xFE, 0xFF};
  static constexpr std::uint8_t UTF32_LE[] = {0xFF, 0xFE, 0x00, 0x00};
  // The converter writes little-endian for byte order 1 only; the mark agrees.
  const bool littleEndian = endian == 1;
  const int minBytesPerChar = out->getConverter().getMinBytesPerChar();
  switch (minBytesPerChar) {
    case 2:
      out->appendRaw(littleEndian ? UTF16_LE : UTF16_BE, sizeof UTF16_BE);
      return;
    case 4:
      out->appendRaw(littleEndian ? UTF32_LE : UTF32_BE, sizeof UTF32_BE);
      return;
    default:
      ZelLog::warning(nullptr, "XMLPrinter::outputBOM", ZelMessages::CP_XML_INTERNAL_ERROR,
                      {"Unicode codepages should have a min bytes per char of either 2 or 4.", minBytesPerChar, codepage});
  }
}

void XMLPrinter::outputDocType(TextBufferWriter* out, const char16_t* rootName, const char16_t* publicId,
                               const char16_t* systemId, const char16_t* internalSubset, bool newLines) {
  appendStr(out, XML_DOCTYPE_PREFIX_STR);
  appendStr(out, rootName, -1);
  if (isPresent(systemId)) {
    // A public identifier needs a system identifier after it, so alone it is dropped.
    if (isPresent(publicId)) {
      appendStr(out, XML_PUBLIC_PREFIX_STR);
      appendStr(out, XML_DOUBLEQUOTE_STR);
      appendStr(out, publicId, -1);
      appendStr(out, XML_DOUBLEQUOTE_STR);
      appendStr(out, XML_SPACE_STR);
    } else {
      appendStr(out, XML_SYSTEM_PREFIX_STR);
    }
    appendStr(out, XML_DOUBLEQUOTE_STR);
    appendStr(out, systemId, -1);
    appendStr(out, XML_DOUBLEQUOTE_STR);
  }
  if (isPresent(internalSubset)) {
    outputInternalSubsetBegin(out);
    if (newLines) appendStr(out, XML_NEWLINE_STR);
    appendStr(out, internalSubset, -1);
    if (newLines) appendStr(out, XML_NEWLINE_STR);
    outputInternalSubsetEnd(out);
  }
  appendStr(out, XML_GREATERTHAN_STR);
}

void XMLPrinter::outputCDataSection(TextBufferWriter* out, const char16_t* text, long length) {
  appendStr(out, XML_CDATA_PREFIX_STR);
  appendStr(out, text, length);
  appendStr(out, XML_CDATA_SUFFIX_STR);
}

void XMLPrinter::outputInternalSubsetBegin(TextBufferWriter* out) { appendStr(out, XML_INTERNAL_PREFIX_STR); }

void XMLPrinter::outputInternalSubsetEnd(TextBufferWriter* out) { appendStr(out, XML_INTERNAL_SUFFIX_STR); }
