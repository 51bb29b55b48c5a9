#ifndef MESSAGEINFO_H
#define MESSAGEINFO_H

#include "zelapi.h"
#include "zelwstring.h"

#include <climits>
#include <cstdint>
#include <map>

// Names of the message properties the system reads.
#define MI_CCSID_STR u"ccsid"
#define MI_ENCODING_STR u"encoding"
#define MI_SUBTREEBITSTREAM_STR u"subTreeBitStream"
#define MI_ENTITYEXPANSIONLIMIT_STR u"entityExpansionLimit"
// Output without a dictionary: greater than 0 asks for a DOCTYPE naming the
// root, and for a comment with the time of writing.
#define MI_DOCTYPE_STR u"docType"
#define MI_TIMESTAMPCOMMENT_STR u"timestampComment"
// Output: greater than 0 puts the children of element-only content on lines
// of their own, indented by two blanks a level, and ends the document with a
// line break ("indent"); or only ends it with a line break ("finalNewline").
#define MI_INDENT_STR u"indent"
#define MI_FINALNEWLINE_STR u"finalNewline"

// The named properties of one message (code page, byte order, options). Values
// are kept as text; integer reads convert them.
class ZEL_API MessageInfo {
public:
  // What getPropertyAsInteger returns for a property that is not set.
  static constexpr std::int64_t kNotSet = INT64_MIN;

  void setProperty(const ZelWstring& name, const ZelWstring& value);
  void setIntegerProperty(const ZelWstring& name, std::int64_t value);
  void removeProperty(const ZelWstring& name);

  // The property's text, or null when it is not set. Valid until the
  // property is set again or removed.
  const ZelWstring* getProperty(const ZelWstring& name) const;
  // The property as a 64-bit integer (optional sign, decimal digits,
  // surrounding blanks allowed); kNotSet when absent.
  // Throws ZelConversionException (CP_CONVERSION_ERROR, inserts: name, text)
  // when the text is not an integer or does not fit 64 bits.
  std::int64_t getPropertyAsInteger(const ZelWstring& name) const;

  const std::map<ZelWstring, ZelWstring>& properties() const { return properties_; }

private:
  std::map<ZelWstring, ZelWstring> properties_;
};

#endif
