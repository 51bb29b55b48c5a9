#ifndef TRACETEXT_H
#define TRACETEXT_H

#include "pwfdata.h"
#include "zelapi.h"
#include "zelwstring.h"

#include <string>
#include <string_view>

class WorkerInfo;

// The one-line texts that event traces and tree dumps show for values and
// records. Tests compare them, so they never change with locale or platform.
namespace TraceText {

// A JSON string literal of the text (UTF-8, escapes for '"', '\\' and
// control characters; unpaired surrogates become U+FFFD).
ZEL_API std::string quoted(const ZelWstring& text);
ZEL_API void appendQuoted(std::string& out, const char16_t* text, std::size_t length);
ZEL_API void appendQuotedUtf8(std::string& out, std::string_view utf8);

// "Type:value": String:"hi", Integer:42, Float:1.5 (shortest form that reads
// back to the same double; INF, -INF, NaN), Boolean:true, Binary:0A1F,
// Decimal:1.50, Interval:-P1Y2DT3.5S, DateTime:2024-01-02T03:04:05.25+01:00
// (absent fields left out as in the XML Schema forms: --01-02, ---02, 03:04:05),
// a null value Integer:null, nothing None:nothing, untyped text None:"raw".
ZEL_API std::string ofValue(const PWFData& value);
ZEL_API void appendValue(std::string& out, const PWFData& value);

// "{K:V, ...}": the properties whose logical type is not None, in key
// order, each V as ofValue; "{}" when there are none; "-" for null.
ZEL_API std::string ofRecord(const WorkerInfo* record);
ZEL_API void appendRecord(std::string& out, const WorkerInfo* record);

// Pieces used by the forms above and by the JSON form of a tree.
ZEL_API void appendFloat(std::string& out, double value);  // shortest round-trip; INF, -INF, NaN
ZEL_API void appendHex(std::string& out, const std::vector<std::uint8_t>& bytes);  // upper case
ZEL_API void appendDateTime(std::string& out, const PWFDateTime& value);
ZEL_API void appendInterval(std::string& out, const PWFInterval& value);

}  // namespace TraceText

#endif
