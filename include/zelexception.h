#ifndef ZELEXCEPTION_H
#define ZELEXCEPTION_H

#include "zelapi.h"
#include "zelwstring.h"

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

class ZelNamedLogSource;

// Message numbers and their keys. Every message the system raises is listed
// once here; code and tests compare keys or numbers, never rendered text.
namespace ZelMessages {
constexpr std::uint32_t CP_XML_XERCES_PARSER_EXCEPTION = 0xC00013FD;
constexpr std::uint32_t CP_XML_INTERNAL_ERROR = 0xC0001519;
constexpr std::uint32_t CP_XML_WRITING_UNPARSED_BUFFER_ERROR = 0xC000151A;
constexpr std::uint32_t CP_XML_DATA_READ_CONVERSION_ERROR = 0xC000151C;
constexpr std::uint32_t CP_XML_ROOTELEMENT_DATA_ERROR = 0xC000151E;
constexpr std::uint32_t CP_XML_ELEM_NAMESPACE_NOT_ALLOWED = 0xC000151F;
constexpr std::uint32_t CP_XML_ATTR_NAMESPACE_NOT_ALLOWED = 0xC0001520;
constexpr std::uint32_t CP_XML_NO_DICTIONARY = 0xC0001521;  // user-trace event, not an error
constexpr std::uint32_t CP_XML_UNRESOLVED_UNION_ERROR = 0xC0001522;
constexpr std::uint32_t CP_XML_LIST_OF_LIST_NOT_ALLOWED = 0xC0001523;
constexpr std::uint32_t CP_INTERNAL_ERROR = 0xC000157E;
// The host's own messages.
constexpr std::uint32_t CP_CONVERSION_ERROR = 0xC0002001;       // a value could not be converted
constexpr std::uint32_t CP_DICTIONARY_FORMAT_ERROR = 0xC0002002; // a dictionary buffer is truncated or corrupt
constexpr std::uint32_t CP_DICTIONARY_SOURCE_ERROR = 0xC0002003; // a message-set source is malformed
constexpr std::uint32_t CP_PLUGIN_LOAD_ERROR = 0xC0002004;       // a plug-in library cannot be loaded
constexpr std::uint32_t CP_IO_ERROR = 0xC0002005;                // a file cannot be read or written
constexpr std::uint32_t CP_CODEPAGE_ERROR = 0xC0002006;          // no converter for a code page
constexpr std::uint32_t CP_TREE_ERROR = 0xC0002007;              // a message tree is malformed
// The wfxml API's messages.
constexpr std::uint32_t CP_TYPE_MISMATCH = 0xC0002008;     // a value is not of the kind asked for or given
constexpr std::uint32_t CP_UNKNOWN_ENCODING = 0xC0002009;  // an encoding name no code page answers to
constexpr std::uint32_t CP_UNKNOWN_MEMBER = 0xC000200A;    // a name the message set does not allow there
constexpr std::uint32_t CP_JSON_MISMATCH = 0xC000200B;     // JSON that does not fit the message set
constexpr std::uint32_t CP_NOT_SCHEMA_VALID = 0xC000200C;  // a document its schema refuses
constexpr std::uint32_t CP_NO_SCHEMA = 0xC000200D;         // validation asked of a message set without schemas
constexpr std::uint32_t CP_INVALID_CONTENT = 0xC000200E;   // a message tree the message set forbids

// The key of a message number ("CP_XML_INTERNAL_ERROR"), or "CP_UNKNOWN_MESSAGE".
ZEL_API const char* keyOf(std::uint32_t messageNumber);
}  // namespace ZelMessages

// One insert of an exception: a text or a number.
struct ZEL_API ZelInsert {
  bool isNumber = false;
  std::int64_t number = 0;
  ZelWstring text;
  std::string toUtf8() const;  // the number in decimal, or the text
};

// Where in its input an exception arose, as far as the thrower knew.
struct ZEL_API ZelLocation {
  std::string file;  // empty: bytes in memory, or not known
  long line = 0;     // from 1; 0: not known
  long column = 0;   // from 1; 0: not known
  std::string path;  // the element path ("/Payment/Amount"), the JSON path ("$.Payment.Amount") or a source's place
};

// Base of every host exception. It carries the message number (its key comes
// from the catalogue above), the throw site, the log-source name and any
// number of inserts. what() is one line for people: where (file, line,
// column, element) and what went wrong, without key or throw site.
class ZEL_API ZelException : public std::exception {
public:
  ZelException(const char* sourceFile, long line, const char* function, const char* logSourceName,
               std::uint32_t messageNumber);
  ZelException(const ZelException&) = default;
  ZelException& operator=(const ZelException&) = default;
  ~ZelException() override;

  ZelException& addInsert(const ZelWstring& text);
  ZelException& addInsert(const char16_t* text);        // null = empty text
  ZelException& addInsert(const char16_t* text, std::size_t length);
  ZelException& addInsert(const char* utf8);            // null = empty text
  ZelException& addInsert(const std::string& utf8) { return addInsert(utf8.c_str()); }
  ZelException& addInsert(long long number);
  ZelException& addInsert(long number) { return addInsert(static_cast<long long>(number)); }
  ZelException& addInsert(int number) { return addInsert(static_cast<long long>(number)); }
  ZelException& addInsert(unsigned int number) { return addInsert(static_cast<long long>(number)); }
  ZelException& addInsert(unsigned long number) { return addInsert(static_cast<long long>(number)); }
  // Appends another exception's key and description ("KEY: what went wrong",
  // without its throw site) as a text insert.
  ZelException& addInsert(const ZelException& cause);

  std::uint32_t getMessageNumber() const { return messageNumber_; }
  const char* getKey() const { return ZelMessages::keyOf(messageNumber_); }
  const std::string& getSourceFile() const { return sourceFile_; }
  long getLine() const { return line_; }
  const std::string& getFunction() const { return function_; }
  const std::string& getLogSourceName() const { return logSourceName_; }
  const std::vector<ZelInsert>& getInserts() const { return inserts_; }
  std::string insertText(std::size_t i) const;  // "" when out of range

  // Where it arose; the fields the thrower did not set stay empty.
  ZelException& setLocation(const ZelLocation& location);
  ZelException& setFile(const std::string& file);  // keeps line, column and path
  // Moves where it arose to line and column: in the location, and in the
  // inserts that name them (a scanner error's line and column).
  ZelException& moveTo(long line, long column);
  // A sentence that says what went wrong better than the inserts do
  // ("unexpected end of input"); describe() prefers it.
  ZelException& setSummary(const std::string& summary);
  // The location set, completed by what the inserts of some messages name:
  // the file of CP_IO_ERROR and CP_DICTIONARY_SOURCE_ERROR (and the source's
  // place as path), the JSON path of CP_JSON_MISMATCH, the tree path of
  // CP_INVALID_CONTENT, the line and column of a scanner error.
  ZelLocation location() const;
  // What went wrong: the summary, else the inserts that are not part of the
  // location, joined by ": ".
  std::string describe() const;
  // "FILE:LINE:COLUMN: description in <Element> at /Path" with the parts
  // that are known (what() returns it).
  std::string oneLine() const;
  const char* what() const noexcept override;
  virtual const char* className() const;

  // Throws a copy of the most derived exception.
  [[noreturn]] virtual void throwThis() const;

private:
  std::string sourceFile_;
  long line_;
  std::string function_;
  std::string logSourceName_;
  std::uint32_t messageNumber_;
  std::vector<ZelInsert> inserts_;
  ZelLocation location_;
  std::string summary_;
  mutable std::string rendered_;
};

class ZEL_API ZelParserException : public ZelException {
public:
  using ZelException::ZelException;
  ~ZelParserException() override;
  const char* className() const override;
  [[noreturn]] void throwThis() const override;
};

class ZEL_API ZelFatalException : public ZelException {
public:
  using ZelException::ZelException;
  ~ZelFatalException() override;
  const char* className() const override;
  [[noreturn]] void throwThis() const override;
};

// A value could not be converted (text to value or value to text). Callers
// that can recover (union resolution) catch exactly this type.
class ZEL_API ZelConversionException : public ZelException {
public:
  using ZelException::ZelException;
  ~ZelConversionException() override;
  const char* className() const override;
  [[noreturn]] void throwThis() const override;
};

// The one line of an error: "FILE:LINE:COLUMN: description in <Element> at
// /Path" with the parts that are known. An element path of one step reads
// "in <Element>"; another path (JSON, a source's place) "at PATH".
ZEL_API std::string zelOneLine(const ZelLocation& location, const std::string& description);

// The default log-source name that exceptions carry.
ZEL_API const char* zelDefaultLogSourceName();

#endif
