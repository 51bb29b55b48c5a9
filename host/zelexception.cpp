#include "zelexception.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace ZelMessages {
const char* keyOf(std::uint32_t messageNumber) {
  switch (messageNumber) {
    case CP_XML_XERCES_PARSER_EXCEPTION: return "CP_XML_XERCES_PARSER_EXCEPTION";
    case CP_XML_INTERNAL_ERROR: return "CP_XML_INTERNAL_ERROR";
    case CP_XML_WRITING_UNPARSED_BUFFER_ERROR: return "CP_XML_WRITING_UNPARSED_BUFFER_ERROR";
    case CP_XML_DATA_READ_CONVERSION_ERROR: return "CP_XML_DATA_READ_CONVERSION_ERROR";
    case CP_XML_ROOTELEMENT_DATA_ERROR: return "CP_XML_ROOTELEMENT_DATA_ERROR";
    case CP_XML_ELEM_NAMESPACE_NOT_ALLOWED: return "CP_XML_ELEM_NAMESPACE_NOT_ALLOWED";
    case CP_XML_ATTR_NAMESPACE_NOT_ALLOWED: return "CP_XML_ATTR_NAMESPACE_NOT_ALLOWED";
    case CP_XML_NO_DICTIONARY: return "CP_XML_NO_DICTIONARY";
    case CP_XML_UNRESOLVED_UNION_ERROR: return "CP_XML_UNRESOLVED_UNION_ERROR";
    case CP_XML_LIST_OF_LIST_NOT_ALLOWED: return "CP_XML_LIST_OF_LIST_NOT_ALLOWED";
    case CP_INTERNAL_ERROR: return "CP_INTERNAL_ERROR";
    case CP_CONVERSION_ERROR: return "CP_CONVERSION_ERROR";
    case CP_DICTIONARY_FORMAT_ERROR: return "CP_DICTIONARY_FORMAT_ERROR";
    case CP_DICTIONARY_SOURCE_ERROR: return "CP_DICTIONARY_SOURCE_ERROR";
    case CP_PLUGIN_LOAD_ERROR: return "CP_PLUGIN_LOAD_ERROR";
    case CP_IO_ERROR: return "CP_IO_ERROR";
    case CP_CODEPAGE_ERROR: return "CP_CODEPAGE_ERROR";
    case CP_TREE_ERROR: return "CP_TREE_ERROR";
    case CP_TYPE_MISMATCH: return "CP_TYPE_MISMATCH";
    case CP_UNKNOWN_ENCODING: return "CP_UNKNOWN_ENCODING";
    case CP_UNKNOWN_MEMBER: return "CP_UNKNOWN_MEMBER";
    case CP_JSON_MISMATCH: return "CP_JSON_MISMATCH";
    case CP_NOT_SCHEMA_VALID: return "CP_NOT_SCHEMA_VALID";
    case CP_NO_SCHEMA: return "CP_NO_SCHEMA";
    case CP_INVALID_CONTENT: return "CP_INVALID_CONTENT";
    default: return "CP_UNKNOWN_MESSAGE";
  }
}
}  // namespace ZelMessages

std::string ZelInsert::toUtf8() const { return isNumber ? std::to_string(number) : text.toUtf8(); }

const char* zelDefaultLogSourceName() { return "WireFormatHost"; }

ZelException::ZelException(const char* sourceFile, long line, const char* function, const char* logSourceName,
                           std::uint32_t messageNumber)
    : sourceFile_(sourceFile ? sourceFile : ""), line_(line), function_(function ? function : ""),
      logSourceName_(logSourceName ? logSourceName : zelDefaultLogSourceName()), messageNumber_(messageNumber) {}

ZelException::~ZelException() = default;

ZelException& ZelException::addInsert(const ZelWstring& text) {
  ZelInsert insert;
  insert.text = text;
  inserts_.push_back(std::move(insert));
  rendered_.clear();
  return *this;
}

ZelException& ZelException::addInsert(const char16_t* text) { return addInsert(ZelWstring(text)); }

ZelException& ZelException::addInsert(const char16_t* text, std::size_t length) {
  return addInsert(ZelWstring(text, length));
}

ZelException& ZelException::addInsert(const char* utf8) {
  return addInsert(ZelWstring::fromUtf8(utf8 ? utf8 : ""));
}

ZelException& ZelException::addInsert(long long number) {
  ZelInsert insert;
  insert.isNumber = true;
  insert.number = number;
  inserts_.push_back(std::move(insert));
  rendered_.clear();
  return *this;
}

ZelException& ZelException::addInsert(const ZelException& cause) {
  return addInsert(std::string(cause.getKey()) + ": " + cause.describe());
}

std::string ZelException::insertText(std::size_t i) const {
  return i < inserts_.size() ? inserts_[i].toUtf8() : std::string();
}

ZelException& ZelException::setLocation(const ZelLocation& location) {
  location_ = location;
  rendered_.clear();
  return *this;
}

ZelException& ZelException::setFile(const std::string& file) {
  location_.file = file;
  rendered_.clear();
  return *this;
}

ZelException& ZelException::setSummary(const std::string& summary) {
  summary_ = summary;
  rendered_.clear();
  return *this;
}

namespace {
// The inserts of each message that name a place rather than say what went wrong.
struct PlaceInserts {
  int file = -1;
  int line = -1;
  int column = -1;
  int path = -1;
};

PlaceInserts placeInsertsOf(std::uint32_t messageNumber, std::size_t insertCount) {
  using namespace ZelMessages;
  switch (messageNumber) {
    case CP_IO_ERROR: return {0, -1, -1, -1};
    case CP_DICTIONARY_SOURCE_ERROR: return {0, -1, -1, 1};
    case CP_JSON_MISMATCH: return {-1, -1, -1, 0};
    case CP_INVALID_CONTENT: return {-1, -1, -1, 0};
    // The scanner's error event: text, code, public id, line, column, reason, message, element.
    case CP_XML_XERCES_PARSER_EXCEPTION: return insertCount == 8 ? PlaceInserts{-1, 3, 4, -1} : PlaceInserts{};
    default: return {};
  }
}

// A source's place given as text, "line 4, column 40, in element 'b'" (a
// schema's or a JSON source's reader knows no better), into the location's
// line and column, so that it reads "FILE:4:40: ... at element 'b'" as
// every other error does; other places ("types[0].members[2]") stay the path.
void takeTextPlace(ZelLocation& location) {
  const std::string& place = location.path;
  long line = 0;
  long column = 0;
  int used = 0;
  if (std::sscanf(place.c_str(), "line %ld, column %ld%n", &line, &column, &used) < 2 &&
      std::sscanf(place.c_str(), "line %ld%n", &line, &used) < 1)
    return;
  if (line <= 0) return;
  std::string rest = place.substr(static_cast<std::size_t>(used));
  for (const char* lead : {",", " ", "in "})
    if (rest.rfind(lead, 0) == 0) rest.erase(0, std::char_traits<char>::length(lead));
  location.line = line;
  location.column = column > 0 ? column : 0;
  location.path = rest;
}

long positiveNumber(const std::vector<ZelInsert>& inserts, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= inserts.size()) return 0;
  const ZelInsert& insert = inserts[static_cast<std::size_t>(index)];
  return insert.isNumber && insert.number > 0 ? static_cast<long>(insert.number) : 0;
}
}  // namespace

ZelException& ZelException::moveTo(long line, long column) {
  location_.line = line;
  location_.column = column;
  const PlaceInserts places = placeInsertsOf(messageNumber_, inserts_.size());
  for (const auto& [index, number] : {std::pair(places.line, line), std::pair(places.column, column)}) {
    if (index < 0 || static_cast<std::size_t>(index) >= inserts_.size()) continue;
    inserts_[static_cast<std::size_t>(index)] = ZelInsert{true, number, ZelWstring()};
  }
  rendered_.clear();
  return *this;
}

ZelLocation ZelException::location() const {
  ZelLocation location = location_;
  const PlaceInserts places = placeInsertsOf(messageNumber_, inserts_.size());
  if (location.file.empty()) location.file = insertText(static_cast<std::size_t>(places.file));
  if (location.line == 0) {
    location.line = positiveNumber(inserts_, places.line);
    location.column = positiveNumber(inserts_, places.column);
  }
  if (location.path.empty()) location.path = insertText(static_cast<std::size_t>(places.path));
  if (messageNumber_ == ZelMessages::CP_DICTIONARY_SOURCE_ERROR && location.line == 0) takeTextPlace(location);
  return location;
}

std::string ZelException::describe() const {
  if (!summary_.empty()) return summary_;
  using namespace ZelMessages;
  const auto insert = [this](std::size_t i) { return insertText(i); };
  if (messageNumber_ == CP_TYPE_MISMATCH && inserts_.size() == 2) return "expected " + insert(0) + ", found " + insert(1);
  if (messageNumber_ == CP_UNKNOWN_ENCODING && inserts_.size() == 1)
    return "unknown encoding '" + insert(0) + "' (a code page ICU knows, such as ibm-500, utf-16le, iso-8859-1, or "
                                              "its number, such as 500)";
  // What is wrong and its byte offset, which tells nothing at 0: a file that
  // is no dictionary, or a table of the whole.
  if (messageNumber_ == CP_DICTIONARY_FORMAT_ERROR && inserts_.size() == 2)
    return insert(1) == "0" ? insert(0) : insert(0) + " (at byte " + insert(1) + ")";
  if (messageNumber_ == CP_UNKNOWN_MEMBER && inserts_.size() == 2)
    return "no member '" + insert(0) + "' may stand in " + insert(1);
  const PlaceInserts places = placeInsertsOf(messageNumber_, inserts_.size());
  std::string text;
  for (std::size_t i = 0; i < inserts_.size(); ++i) {
    const int index = static_cast<int>(i);
    if (index == places.file || index == places.line || index == places.column || index == places.path) continue;
    const std::string insert = inserts_[i].toUtf8();
    if (!insert.empty()) text += (text.empty() ? "" : ": ") + insert;
  }
  return text.empty() ? getKey() : text;
}

std::string ZelException::oneLine() const { return zelOneLine(location(), describe()); }

const char* ZelException::what() const noexcept {
  if (rendered_.empty()) {
    try {
      rendered_ = oneLine();
    } catch (...) {
      return getKey();
    }
  }
  return rendered_.c_str();
}

namespace {
// A path as the line shows it: a deeply nested element's by its first and
// last steps ("/Payment/x/x/x/.../x/x/x/x (1002 levels)"), so that the line
// stays one a person reads; the location keeps the whole path.
std::string shownPath(const std::string& path) {
  constexpr std::size_t kEndSteps = 4;
  std::vector<std::size_t> slashes;
  for (std::size_t at = path.find('/'); at != std::string::npos; at = path.find('/', at + 1)) slashes.push_back(at);
  if (slashes.size() <= 3 * kEndSteps) return path;
  return path.substr(0, slashes[kEndSteps]) + "/..." + path.substr(slashes[slashes.size() - kEndSteps]) + " (" +
         std::to_string(slashes.size()) + " levels)";
}
}  // namespace

std::string zelOneLine(const ZelLocation& location, const std::string& description) {
  std::string text;
  if (!location.file.empty()) text += location.file + ":";
  if (location.line > 0) {
    text += std::to_string(location.line) + ":";
    if (location.column > 0) text += std::to_string(location.column) + ":";
  }
  if (!text.empty()) text += " ";
  text += description;
  const std::string& path = location.path;
  const std::string last = path.substr(path.rfind('/') + 1);
  if (path.size() > 1 && path.front() == '/' && !last.empty() && last.front() != '@') {
    text += " in <" + last.substr(0, last.find('[')) + ">";  // the element, without its index
    if (path.rfind('/') != 0) text += " at " + shownPath(path);
  } else if (!path.empty()) {
    text += " at " + path;
  }
  return text;
}

const char* ZelException::className() const { return "ZelException"; }
void ZelException::throwThis() const { throw *this; }

ZelParserException::~ZelParserException() = default;
const char* ZelParserException::className() const { return "ZelParserException"; }
void ZelParserException::throwThis() const { throw *this; }

ZelFatalException::~ZelFatalException() = default;
const char* ZelFatalException::className() const { return "ZelFatalException"; }
void ZelFatalException::throwThis() const { throw *this; }

ZelConversionException::~ZelConversionException() = default;
const char* ZelConversionException::className() const { return "ZelConversionException"; }
void ZelConversionException::throwThis() const { throw *this; }
