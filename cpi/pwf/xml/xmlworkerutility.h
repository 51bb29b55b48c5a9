#ifndef XMLWORKERUTILITY_H
#define XMLWORKERUTILITY_H

#include "pwfdata.h"
#include "workerinfo.h"
#include "zelwstring.h"

#include <string_view>

class BitstreamBuffer;
class DataCnv;

// Deepest element nesting the plug-in parses and writes: one limit for both,
// so that whatever parses can be written back. The writer's tree walk
// recurses once per level, with about 600 bytes of stack each, which keeps
// this many levels well inside a host thread's stack (1 MB or more);
// messages are far flatter.
inline constexpr long XML_MAX_ELEMENT_DEPTH = 1000;

// Texts shared by the plug-in's parser and writer. Plain character arrays, so
// that they need no construction when the library is loaded.
inline constexpr char16_t XML_XMLNS_STR[] = u"http://www.w3.org/2000/xmlns/";
inline constexpr char16_t XML_SCHEMA_INSTANCE_NAMESPACE_STR[] = u"http://www.w3.org/2001/XMLSchema-instance";
inline constexpr char16_t XML_SCHEMA_2001_NAMESPACE_STR[] = u"http://www.w3.org/2001/XMLSchema";
// SOAP 1.2, working draft of December 2001.
inline constexpr char16_t SOAP_ENVELOPE_NAMESPACE_STR[] = u"http://www.w3.org/2001/12/soap-envelope";
inline constexpr char16_t SOAP_ENCODING_URI_STR[] = u"http://www.w3.org/2001/12/soap-encoding";
inline constexpr char16_t XML_SCHEMA_LOCATION_STR[] = u"schemaLocation";
inline constexpr char16_t XML_NO_NAMESPACE_SCHEMA_LOCATION_STR[] = u"noNamespaceSchemaLocation";
inline constexpr char16_t XML_NIL_STR[] = u"nil";
inline constexpr char16_t XML_TYPE_STR[] = u"type";
inline constexpr char16_t XML_ENCODING_STYLE_STR[] = u"encodingStyle";
// Put in front of the name of a self-defining field that stands for an attribute.
inline constexpr char16_t XML_ATTRIBUTE_MARKER_STR[] = u"@";
// The namespace URI text that stands for "no namespace".
inline constexpr char16_t XML_EMPTY_NAMESPACE_STR[] = u"EMPTY";

// The scanner's transcoding service knows code page n as this prefix
// followed by n in decimal (the converter library's alias form).
inline constexpr std::u16string_view ENCODING_PREFIX = u"ibm-";
inline constexpr char16_t ENCODING_UTF16LE_STR[] = u"utf-16le";
inline constexpr char16_t ENCODING_UTF16BE_STR[] = u"utf-16be";

// Code pages the plug-in treats specially.
inline constexpr long CCSID_UTF16 = 1200;
inline constexpr long CCSID_UTF16_BE = 13488;
inline constexpr long CCSID_UTF16_BE_ALT = 17584;
inline constexpr long CCSID_UTF8 = 1208;

// Worker-info records that carry XML facts from a parse to a later write.
// XMLStartMsgInfo travels with the start of the message.
using XMLStartMsgInfo = DataWorkerInfo<6>;
enum XMLStartMsgInfoKey : long {
  eStartMsgPrefixText = 0,      // comments and PIs met before the DOCTYPE, as markup
  eStartMsgStandalone = 1,      // standalone value of the XML declaration
  eStartMsgSystemId = 2,        // DOCTYPE system identifier
  eStartMsgPublicId = 3,        // DOCTYPE public identifier
  eStartMsgVersion = 4,         // version of the XML declaration
  eStartMsgInternalSubset = 5,  // DOCTYPE internal subset, as text
};
// XMLWorkerInfo travels with an element's start, data or end event.
using XMLWorkerInfo = DataWorkerInfo<1>;
enum XMLWorkerInfoKey : long {
  eWorkerInfoPrefixText = 0,      // comments and PIs met before the event, as markup
  eWorkerInfoValueNamespace = 1,  // XMLValueInfo only: the namespace URI a QName value's prefix stood for
};
// XMLValueInfo travels with the data event of a QName or NOTATION value
// whose prefix the document bound: the writer declares the prefix again
// wherever the elements around the value do not bind it the same way.
using XMLValueInfo = DataWorkerInfo<2>;

// Stateless helpers for choosing how the scanner decodes a bitstream, and
// for trace texts.
class XMLUtils {
public:
  XMLUtils() = delete;

  // True for the UTF-16 code pages 1200, 13488 and 17584.
  static bool isUnicode(long ccsid);
  static bool isUTF8(long ccsid);

  // Byte order and byte-order-mark length (in bytes) from the first bytes of
  // the buffer. Buffers shorter than 4 bytes (or null) report no mark:
  // endian eEndianNone, markLength 0. A UTF-8 mark reports big-endian.
  static void GetEndianFromBuffer(const BitstreamBuffer* buffer, EEndian& endian, long& markLength);

  // The encoding name to force on the scanner; empty lets the scanner detect
  // the encoding itself (no code page given, or a byte-order mark that it
  // reads better than any forced name).
  static ZelWstring BuildEncodingString(long ccsid, EEndian endian, long markLength);

  // True when every one of the length units is XML 1.0 whitespace (true for 0).
  static bool isAllWhitespace(const char16_t* text, unsigned long length);
  static constexpr bool isWhitespace(char16_t unit) {
    return unit == u' ' || unit == u'\t' || unit == u'\r' || unit == u'\n';
  }
  // Whether a zero-terminated text equals the string, without counting the
  // text's length first.
  static bool isTerminatedText(const char16_t* text, std::u16string_view string) {
    for (std::size_t i = 0; i < string.size(); ++i)
      if (text[i] != string[i]) return false;
    return text[string.size()] == 0;
  }
  // The text without the whitespace at either end.
  static std::u16string_view trimWhitespace(std::u16string_view text) {
    while (!text.empty() && isWhitespace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isWhitespace(text.back())) text.remove_suffix(1);
    return text;
  }

  // A typed value of the text, converted for its logical type with a fresh
  // code-page 1200 DataCnv: None keeps the raw text; String and Decimal keep
  // the text as it is; Integer, Float, Binary, Interval and DateTime go
  // through the DataCnv conversions (format is the date-time format); a
  // Boolean is true exactly when the text is "1" (the text must then be
  // zero-terminated: the length is not consulted). Conversion failures
  // propagate (ZelConversionException); any other type raises
  // ZelParserException CP_XML_INTERNAL_ERROR "Unknown logical type". The
  // parser itself converts through its handler, not through this.
  static PWFData convertStringToData(const char16_t* text, unsigned length, ELogicalType type, const char16_t* format);
  static PWFData convertStringToData(const char16_t* text, ELogicalType type, const char16_t* format);

  // The conversion service the plug-in uses for values: code page 1200,
  // big-endian, IEEE doubles, XML Schema date-times by default.
  static DataCnv makeDataCnv();

  // "String", "Integer", ...; "ERROR: undefined" for a number that is no type.
  static const char* traceGetLogicalTypeDesc(ELogicalType type);
};

#endif
