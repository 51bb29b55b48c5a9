#ifndef WFXML_WFXML_H
#define WFXML_WFXML_H

// wfxml: XML messages read and written against a compiled message set.
//
//   auto set = wfxml::MessageSet::compile({"order.xsd"});
//   wfxml::Message order = set.parse(bytes.data(), bytes.size());
//   std::cout << order.root().child("customer").child("name").value().text() << '\n';
//   std::vector<std::uint8_t> ebcdic = set.write(order, {"ibm-500"});
//
// Ownership: a MessageSet is a shared handle to a loaded dictionary (and the
// wire-format library behind it); copies share it, and it lives as long as
// any copy, Message or Session that uses it. A Message owns its tree;
// Element and Value are borrowed handles into it.
//
// Threads: a MessageSet is read-only once made and may be used from any
// number of threads at once; its parse/write/JSON conveniences take a worker
// from an internal pool for each call. A Session is one worker with its
// buffers: use it from one thread at a time (one Session per thread is the
// fastest way to convert many messages). A Message may be read from several
// threads at once, but changed by one thread only, with no reader meanwhile.
//
// Errors: every function that can fail throws wfxml::Error: one line to read
// (what()), and the system's message key, its number, the inserts and where
// the input went wrong (file, line, column, element or JSON path).

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class PWFData;
class TreeElement;

namespace wfxml {

namespace detail {
struct MessageState;
struct SessionState;
struct MessageSetState;
class RecordScanner;
class RecordReading;
}  // namespace detail

// One way a document breaks its schema (or is not well-formed), as the
// XML Schema validator reports it.
struct ValidationError {
  std::uint64_t line = 0;    // 1-based; where the validator stood (just after the tag or the text)
  std::uint64_t column = 0;
  std::string path;          // the element: "/Document/GrpHdr/MsgId" (names as written); "" before the root
  std::string message;       // the validator's text, e.g. "element 'Ccy' is missing ..."
};

// The failure of a wfxml call. what() is one line a person reads, with the
// parts that are known, e.g. for a document parsed from memory
//   6:25: 'maybe' is not a valid Boolean in <Urgent> at /Payment/Urgent
// (and "payment.xml:6:25: ..." once inFile names its file). The same parts
// are fields; key() says which failure it is (compare keys, never text).
class Error : public std::runtime_error {
public:
  // Where in its input an error arose; empty fields are not known.
  struct Location {
    std::string file;  // the file read (empty for bytes in memory)
    long line = 0;     // from 1
    long column = 0;   // from 1
    std::string path;  // element path "/Payment/Amount", JSON path "$.Payment.Amount", a schema's place
  };

  Error(std::string key, std::uint32_t number, std::vector<std::string> inserts, const std::string& message);
  // With the description ("unexpected end of input") and its location, from
  // which what() is made, keeping the host framework's exception (and the
  // problems of a document the schema refuses).
  Error(std::string key, std::uint32_t number, std::vector<std::string> inserts, std::string description,
        Location location, std::exception_ptr hostException, std::vector<ValidationError> validationErrors = {});
  ~Error() override;
  const std::string& key() const noexcept { return key_; }             // "CP_XML_DATA_READ_CONVERSION_ERROR"
  std::uint32_t number() const noexcept { return number_; }            // 0xC000151C
  const std::vector<std::string>& inserts() const noexcept { return inserts_; }  // UTF-8
  const std::string& description() const noexcept { return description_; }  // what() without the location
  const std::string& file() const noexcept { return location_.file; }
  long line() const noexcept { return location_.line; }      // 0: not known
  long column() const noexcept { return location_.column; }  // 0: not known
  const std::string& path() const noexcept { return location_.path; }
  const Location& location() const noexcept { return location_; }
  // The same error naming the file its input came from (unless it names one).
  Error inFile(const std::string& file) const;
  // The host framework's exception (a ZelException, with its throw site),
  // for hosts that report it in full.
  const std::exception_ptr& hostException() const noexcept { return hostException_; }
  // The problems of a document the schema refuses; empty for other errors.
  const std::vector<ValidationError>& validationErrors() const noexcept { return validationErrors_; }

private:
  std::string key_;
  std::uint32_t number_;
  std::vector<std::string> inserts_;
  std::string description_;
  Location location_;
  std::exception_ptr hostException_;
  std::vector<ValidationError> validationErrors_;
};

// The kind of a typed value. Decimals are exact (any number of digits); the
// XML Schema integer types without 64-bit bounds are decimals too.
enum class ValueKind { None, String, Integer, Decimal, Double, Boolean, DateTime, Duration, Binary };

// A date, time or date-time as its text said it; fields the text does not
// have are empty. Nothing is normalised.
struct DateTimeParts {
  std::optional<std::int32_t> year, month, day, hour, minute, second;
  std::string fraction;  // the digits after the seconds' point, e.g. "125"; "" none
  std::string zone;      // "" none, "Z", or "+hh:mm" / "-hh:mm" as written
};

// A duration as written ("-P1Y2M3DT4H5M6.7S").
struct DurationParts {
  bool negative = false;
  std::optional<std::int32_t> years, months, days, hours, minutes, seconds;
  std::string fraction;  // the digits after the seconds' point
};

// A borrowed view of a typed value: valid while the element (or, for an
// event, until the next event) it came from lives. An empty view has kind
// None.
class Value {
public:
  Value() = default;
  explicit Value(const PWFData* data) : data_(data) {}

  ValueKind kind() const;
  bool isNull() const;  // a null of any kind (xsi:nil or the message set's null encoding)

  // Each throws Error CP_TYPE_MISMATCH (inserts: wanted kind, actual kind)
  // when the value is of another kind or null.
  std::int64_t asInteger() const;
  double asDouble() const;
  bool asBoolean() const;
  std::vector<std::uint8_t> asBinary() const;
  std::string asDecimal() const;      // exactly its digits: "-12.50", "123456789012345678901"
  DateTimeParts asDateTime() const;   // also dates, times and the g-types
  DurationParts asDuration() const;

  // The value as XML text, UTF-8: strings as they are, integers and decimals
  // with exactly their digits, doubles in their shortest exact form ("INF",
  // "-INF", "NaN"), booleans "true"/"false", date-times and durations as
  // written, binary as base64. Empty for a null or no value.
  std::string text() const;

  const PWFData* data() const { return data_; }  // the host framework's value, for hosts

private:
  const PWFData* data_ = nullptr;
};

class Message;
class MessageSet;

// A borrowed handle to one element of a Message: two pointers, free to copy.
// An empty handle (operator bool false) answers every question with empty
// results, so chains like root().child("a").child("b") never crash.
class Element {
public:
  Element() = default;
  explicit operator bool() const { return element_ != nullptr; }

  // Names as the document spells them, UTF-8, without prefix. An attribute
  // field's name has no "@"; isAttribute() tells. Anonymous values (list
  // items, the text runs of mixed content) have an empty name.
  std::string name() const;
  std::string namespaceUri() const;
  bool isAttribute() const;
  bool isSelfDefining() const;  // matched nothing in the message set

  Element parent() const;
  Element firstChild() const;
  Element nextSibling() const;
  Element child(std::string_view name) const;  // the first child of that local name
  // The first child element (not attribute) of that local name and
  // namespace ("" for none).
  Element child(std::string_view name, std::string_view namespaceUri) const;
  // The attribute of that local name (in any namespace), or of that local
  // name and namespace; its value() is the attribute's value.
  Element attribute(std::string_view name) const;
  Element attribute(std::string_view name, std::string_view namespaceUri) const;
  std::vector<Element> children() const;

  // The element's value; for an element with attributes and simple content,
  // whose value the tree keeps in one anonymous child, that child's value.
  // Text among elements (mixed content) and list items stay anonymous
  // children. An empty view when there is none.
  bool hasValue() const;
  Value value() const;

  // Building (see Message::create): a child element, attribute ("@name") or
  // anonymous value ("") resolved by name against the parent's type in the
  // message set; a name the type does not have is added as self-defining
  // only where the type allows any content, and refused otherwise
  // (Error CP_UNKNOWN_MEMBER, inserts: the name, the parent's path).
  Element append(std::string_view name, std::string_view namespaceUri = {});

  // Each replaces the value. A value that does not suit the member's type
  // is refused with Error CP_TYPE_MISMATCH, and the tree stays as it was:
  // refused on the element the last append made (append("a").setX(...)),
  // that element is removed again, and its handle must not be used further.
  // Texts are UTF-8.
  Element& setString(std::string_view text);
  Element& setInteger(std::int64_t value);
  Element& setDecimal(std::string_view digits);   // "-12.50", "123456789012345678901"
  Element& setDouble(double value);
  Element& setBoolean(bool value);
  Element& setDateTime(std::string_view xmlText);  // any XML Schema date/time form
  Element& setDuration(std::string_view xmlText);  // "P1Y2M3DT4H"
  Element& setBinary(const std::uint8_t* bytes, std::size_t size);
  Element& setNull();

  TreeElement* treeElement() const { return element_; }  // the host framework's element, for hosts

private:
  friend struct detail::MessageState;
  Element(TreeElement* element, detail::MessageState* message) : element_(element), message_(message) {}
  enum class Match { Any, Elements, Attributes };
  Element find(std::string_view name, const std::string_view* namespaceUri, Match match) const;

  TreeElement* element_ = nullptr;
  detail::MessageState* message_ = nullptr;  // stable while the Message lives, also when it is moved
};

// One message: a tree of typed elements that owns everything in it.
class Message {
public:
  // An empty message of the message set's message with this element name,
  // for building (root() is the message's element).
  static Message create(const MessageSet& set, std::string_view name, std::string_view namespaceUri = {});

  Message(Message&&) noexcept;
  Message& operator=(Message&&) noexcept;
  ~Message();

  Element root() const;
  const MessageSet& messageSet() const;

  detail::MessageState& state() const { return *state_; }
  explicit Message(std::unique_ptr<detail::MessageState> state);

private:
  std::unique_ptr<detail::MessageState> state_;
};

// The code page of the bytes. Names: "utf-8", "utf-16le", "utf-16be",
// "utf-16" (big-endian with a byte-order mark), "ibm-NNN" or "NNN" (a CCSID,
// e.g. "ibm-500"), and the ICU converter names of single- and multi-byte
// code pages ("iso-8859-1", "windows-1252", "shift_jis"). Unknown names are
// refused with Error CP_UNKNOWN_ENCODING.
struct ParseOptions {
  // Empty: from the byte-order mark or the XML declaration, else UTF-8. A
  // byte-order mark wins over a Unicode code page named; a declaration that
  // names another code page, in which the bytes read otherwise, is refused
  // (CP_XML_XERCES_PARSER_EXCEPTION).
  std::string encoding;
  // Validate against the message set's schemas first (see MessageSet::validate);
  // a document with problems is refused with Error CP_NOT_SCHEMA_VALID.
  bool validate = false;
  // Entity references expanded at most per document, in the parse and the
  // validation alike; 0 for the default, 1,000 (README, Limits). Beyond it
  // the document is refused.
  std::size_t entityExpansionLimit = 0;
};
struct WriteOptions {
  std::string encoding = "utf-8";
  // Without a dictionary (MessageSet::none()), a DOCTYPE naming the root and
  // a comment with the time of writing; off, the same message always gives
  // the same bytes. With a dictionary the message set decides.
  bool docType = false;
  bool timestampComment = false;
  // The children of element-only content on lines of their own, two blanks
  // a level; never where whitespace would be data (mixed or simple content).
  // The document then ends with a line break, as finalNewline alone makes it.
  bool indent = false;
  bool finalNewline = false;
  // Refuse a message whose content the message set forbids before anything
  // is written (docs/validation.md): Error CP_INVALID_CONTENT, inserts: the
  // tree path ("/order/party[2]/name"), what is wrong. false saves the
  // check's time where the messages are known to be good.
  bool check = true;
};
// How typed data become a message.
struct BuildOptions {
  // Refuse data whose content the message set forbids (docs/validation.md)
  // with Error CP_JSON_MISMATCH naming the JSON path, as data that do not fit.
  bool check = true;
};

// One event of a streamed parse. Views are valid until the next event.
// A Value event is the value of the innermost open element (its name, depth
// and marks) or an anonymous value inside it (a text run of mixed content,
// a list item: empty name, one level deeper).
enum class EventKind { StartMessage, EndMessage, StartElement, EndElement, Value };
struct Event {
  EventKind kind;
  std::string_view name;          // as Element::name(); empty for anonymous values and the message events
  std::string_view namespaceUri;
  bool isAttribute = false;
  bool isSelfDefining = false;
  int depth = 0;                  // the message element is at depth 0
  Value value;                    // Value events
};

// The largest exponent a decimal given to the typed mapping may have
// (1.5e4096): its digits are spelled out, so larger ones are refused.
constexpr long kMaxDecimalExponent = 4096;

// What the typed JSON mapping reads and writes, one call per JSON token, so
// that other representations (Python objects, say) share the mapping.
// Keys and strings are UTF-8.
class TypedDataHandler {
public:
  virtual ~TypedDataHandler();
  virtual void startObject() = 0;
  virtual void key(std::string_view name) = 0;
  virtual void endObject() = 0;
  virtual void startArray() = 0;
  virtual void endArray() = 0;
  virtual void null() = 0;
  virtual void boolean(bool value) = 0;
  virtual void integer(std::int64_t value) = 0;
  virtual void bigInteger(std::string_view digits) = 0;  // an integer type's value beyond 64 bits
  virtual void decimal(std::string_view digits) = 0;     // exact
  virtual void number(double value) = 0;                 // may be infinite or NaN
  virtual void string(std::string_view text) = 0;        // also date-times and durations (XML text)
  virtual void binary(const std::uint8_t* bytes, std::size_t size) = 0;
};

// A parser and writer for one thread at a time, reusing its worker and
// buffers between messages.
class Session {
public:
  explicit Session(const MessageSet& set);
  Session(Session&&) noexcept;
  Session& operator=(Session&&) noexcept;
  ~Session();

  // Parses a whole document. The bytes are only read during the call.
  Message parse(const void* bytes, std::size_t size, const ParseOptions& options = {});
  // Parses into message, reusing its storage; the message then belongs to
  // this session's set. On failure the message is empty.
  void parse(const void* bytes, std::size_t size, Message& message, const ParseOptions& options = {});
  // Streams the document's events to onEvent while it is parsed, step by step.
  // An exception of onEvent ends the parse and passes out of the call unchanged.
  void parse(const void* bytes, std::size_t size, const std::function<void(const Event&)>& onEvent,
             const ParseOptions& options = {});
  // Every parse throws Error for a document that is not well-formed
  // (CP_XML_XERCES_PARSER_EXCEPTION, inserts: ..., error code, entity, line,
  // column, text, ..., the open element), a value that does not fit its type
  // (CP_XML_DATA_READ_CONVERSION_ERROR) and an unknown encoding name
  // (CP_UNKNOWN_ENCODING). The session stays usable after any of them.

  // Appends the document to out; on failure out is as it was. A message of
  // another message set's dictionary is refused (CP_TREE_ERROR); one without
  // dictionary (MessageSet::none()) is written by any session.
  void write(const Message& message, std::vector<std::uint8_t>& out, const WriteOptions& options = {});
  std::vector<std::uint8_t> write(const Message& message, const WriteOptions& options = {});

  // Typed JSON (docs/typed-json.md). fromJson refuses JSON that does not fit
  // the message set with Error CP_JSON_MISMATCH, inserts: the JSON path
  // ("$.order.items[2].qty"), what is wrong.
  std::string toJson(const Message& message);
  Message fromJson(std::string_view json, const BuildOptions& options = {});
  void toTypedData(const Message& message, TypedDataHandler& out);
  // A document straight into typed data or JSON text, with the same output
  // as parse and then toTypedData or toJson, but without a message in
  // between. out sees nothing before the whole document has been parsed
  // (a caller may let go of a lock meanwhile and take it back at out's first
  // call). Errors as parse and toTypedData; what out throws passes out.
  void toTypedData(const void* bytes, std::size_t size, TypedDataHandler& out, const ParseOptions& options = {});
  std::string toJson(const void* bytes, std::size_t size, const ParseOptions& options = {});
  // Typed JSON records (docs/typed-json.md, "Records"): while the document
  // is parsed, each occurrence of the record element ("Ntry": by name
  // anywhere, "Stmt/Ntry": by its nearest ancestors, "/Document/.../Ntry":
  // from the message element) goes to onRecord as soon as it ends, as the
  // typed JSON of the document reduced to that record and its ancestors with
  // their attributes. A record inside a record is part of the outer one.
  // Memory holds one record and the open ancestors, not the document. Errors
  // as parse; an exception of onRecord ends the parse and passes out. With
  // options.validate the document is checked while it is read, as
  // RecordReader checks it: the records of a piece come once the check has
  // read past it, a problem raises CP_NOT_SCHEMA_VALID before them.
  void toJsonRecords(const void* bytes, std::size_t size, std::string_view record,
                     const std::function<void(std::string_view json)>& onRecord, const ParseOptions& options = {});
  // The same from a file (or a pipe), read in pieces as RecordReader reads
  // them, so that files larger than memory convert; a file cut short while
  // it is read ends there, as a document cut short. Throws Error CP_IO_ERROR
  // (inserts: the path, the reason) for a file that cannot be read.
  void toJsonRecordsFromFile(const std::string& path, std::string_view record,
                             const std::function<void(std::string_view json)>& onRecord,
                             const ParseOptions& options = {});
  // The same records as typed data: onRecord is called once per record with
  // a function that reports it to a handler (during that call only).
  void toTypedDataRecords(const void* bytes, std::size_t size, std::string_view record,
                          const std::function<void(const std::function<void(TypedDataHandler&)>& writeTo)>& onRecord,
                          const ParseOptions& options = {});
  // A handler that builds a message from typed data; finish() returns it.
  class Builder;
  std::unique_ptr<Builder> typedDataBuilder(const BuildOptions& options = {});

  const MessageSet& messageSet() const;

  detail::SessionState& state() const { return *state_; }

private:
  std::unique_ptr<detail::SessionState> state_;
};

class Session::Builder : public TypedDataHandler {
public:
  virtual Message finish() = 0;
};

// Cuts a document, fed in order in chunks of any size, between records
// (docs/typed-json.md, "Records") into pieces that convert on their own:
// each piece's head + bytes + tail is a document whose records
// (Session::toJsonRecords, same record) are exactly the records of those
// bytes in the whole document. So a document's records convert piece by
// piece from a stream, or on several workers, with the ancestors' context.
// Only the markup is read, not parsed: a code page whose markup is not
// ASCII bytes that no other character uses (UTF-16, EBCDIC, Shift_JIS), or
// markup the cutter does not follow, leaves
// the rest of the document one piece (the parse then reports any fault).
// A piece's place turns the line and column of an error in converting it
// into those of the whole document.
class RecordCutter {
public:
  // Where a piece's bytes lie in the whole document. Lines end as the parse
  // counts them (LF, CR LF, CR); columns count UTF-16 units, as it does.
  struct Place {
    long line = 1;         // of the piece's first byte in the document
    long column = 1;
    long headLines = 0;    // line ends in the head
    long headColumns = 0;  // characters after the head's last line end
    // error, raised in converting the piece (head + bytes + tail), naming
    // the line and column in the whole document where the fault lies in
    // the piece's bytes (in its what(), inserts and validation problems);
    // a place in the head names the piece's first byte.
    Error inDocument(const Error& error) const;
  };
  // Views valid during the call that hands the piece out.
  struct Piece {
    std::uint64_t begin = 0;  // the piece's bytes in the document
    std::uint64_t end = 0;
    std::string_view head;    // the prolog and the open ancestors' start tags; empty for the first piece
    std::string_view bytes;   // the document's bytes from begin to end
    std::string_view tail;    // the open ancestors' end tags; empty for the last piece
    Place place;
  };
  using PieceHandler = std::function<void(const Piece&)>;

  // record as for Session::toJsonRecords. A piece ends after the first
  // record that ends pieceSize bytes or more after its begin. encoding as
  // ParseOptions::encoding.
  RecordCutter(std::string_view record, std::size_t pieceSize, std::string_view encoding = {});
  RecordCutter(RecordCutter&&) noexcept;
  RecordCutter& operator=(RecordCutter&&) noexcept;
  ~RecordCutter();

  // The document's next bytes; onPiece gets each piece they complete. The
  // cutter keeps the bytes of the piece not yet complete.
  void feed(const void* bytes, std::size_t size, const PieceHandler& onPiece);
  // The end of the document: onPiece gets the last piece (always one, so
  // an empty document reaches the parse that refuses it).
  void finish(const PieceHandler& onPiece);

private:
  std::unique_ptr<detail::RecordScanner> scanner_;
};

// The records of a document read from a byte source (a file, a pipe, a
// Python stream): read in chunks, cut between records
// (RecordCutter) and converted piece by piece, so that memory holds a piece
// and its records however long the document. A fault's line and column
// are those of the whole document, as a parse of it would name them.
// With ParseOptions::validate the whole document is checked against the
// schemas while it is read (MessageSet::validate), and a piece is converted
// only once the check has read past it: the first problem raises Error
// CP_NOT_SCHEMA_VALID, carrying the problems found so far, before the
// records of the piece it lies in (a problem after the last record, after
// them all); a valid document gives the records it gives unchecked.
class RecordReader {
public:
  // The document's next bytes, valid until the next call; empty at its end.
  using Source = std::function<std::string_view()>;
  using TypedRecordHandler = std::function<void(const std::function<void(TypedDataHandler&)>& writeTo)>;
  static constexpr std::size_t kPieceSize = 256 * 1024;

  // record as for Session::toJsonRecords; pieceSize as for RecordCutter.
  RecordReader(std::string_view record, Source source, const ParseOptions& options = {},
               std::size_t pieceSize = kPieceSize);
  RecordReader(RecordReader&&) noexcept;
  RecordReader& operator=(RecordReader&&) noexcept;
  ~RecordReader();

  // Reads until the next piece is complete and converts it with session,
  // each of its records to onRecord as Session::toJsonRecords and
  // toTypedDataRecords do. Returns false, converting nothing, once every
  // piece has been converted. Errors as those calls, and what source throws;
  // after an error the reader has ended. The checks of a validating reader
  // use the first call's session's message set, which then stays loaded.
  bool nextJson(Session& session, const std::function<void(std::string_view json)>& onRecord);
  bool nextTypedData(Session& session, const TypedRecordHandler& onRecord);

private:
  std::unique_ptr<detail::RecordReading> reading_;
};

// A loaded dictionary: the message set's messages, elements and types.
class MessageSet {
public:
  // A dictionary file (wfhost compile makes them). Throws CP_IO_ERROR
  // (inserts: path, reason) and CP_DICTIONARY_FORMAT_ERROR.
  static MessageSet load(const std::string& dictionaryPath);
  // The same from a dictionary's bytes (dictionaryBytes(), or a file read by
  // the caller). Throws CP_DICTIONARY_FORMAT_ERROR.
  static MessageSet fromDictionaryBytes(std::vector<std::uint8_t> bytes);
  // Compiled in process from XML Schema files (.xsd; imports and includes are
  // followed) or one message-set source (.json). Nothing is fetched from the
  // network: catalogs are XML catalog files that map schema locations by
  // http URL to local files (asked before those the environment variable
  // XML_CATALOG_FILES names). Throws CP_DICTIONARY_SOURCE_ERROR (inserts:
  // file, place, what is wrong; an unmapped http location is named there).
  static MessageSet compile(const std::vector<std::string>& sourcePaths,
                            const std::vector<std::string>& catalogs = {});
  // No dictionary: every element is self-defining, every value a string.
  static MessageSet none();

  // The compiled dictionary as a file's bytes (what load reads).
  std::vector<std::uint8_t> dictionaryBytes() const;
  std::vector<std::string> messageNames() const;  // the messages' element names
  // What compiling XML Schema files warned of, one line per kind, each naming
  // the schema file and component: constructs the dictionary's parse treats
  // otherwise than validation does (substitution groups matched by their
  // members' names, facets and identity constraints not checked by the parse),
  // Xerces-C's own warnings, values read otherwise than written. Empty for a
  // loaded dictionary, a message-set source and none().
  const std::vector<std::string>& compileWarnings() const;

  // Checks a document against the XML Schema documents the set was compiled
  // from (kept in its dictionary, so a loaded set needs no .xsd files), with
  // Xerces-C's validator: full schema checking, identity constraints
  // included; nothing is fetched (schemaLocation hints and external DTDs are
  // ignored, external entities refused). Returns every problem in document
  // order, well-formedness errors included (the check stops at the first of
  // those), up to 10,000 and then one more, "more than 10000 problems", where
  // the check stops; empty when the document is valid. The grammar is built once, on
  // the first call, and shared by all threads. Throws Error CP_NO_SCHEMA for
  // a set without schema documents (a message-set source, none(), or a
  // dictionary from before they were kept), CP_DICTIONARY_SOURCE_ERROR when
  // the kept schemas cannot be read, CP_UNKNOWN_ENCODING.
  std::vector<ValidationError> validate(const void* bytes, std::size_t size, const ParseOptions& options = {}) const;

  // Thread-safe conveniences: each call takes a Session from the set's pool.
  Message parse(const void* bytes, std::size_t size, const ParseOptions& options = {}) const;
  // The document in a file; CP_IO_ERROR (inserts: path, reason) when it cannot be read.
  Message parseFile(const std::string& path, const ParseOptions& options = {}) const;
  std::vector<std::uint8_t> write(const Message& message, const WriteOptions& options = {}) const;
  std::string toJson(const Message& message) const;
  std::string toJson(const void* xmlBytes, std::size_t size, const ParseOptions& options = {}) const;
  // options.check covers both the typed data and the message written.
  std::vector<std::uint8_t> fromJson(std::string_view json, const WriteOptions& options = {}) const;

  const std::shared_ptr<const detail::MessageSetState>& state() const { return state_; }
  explicit MessageSet(std::shared_ptr<const detail::MessageSetState> state);

private:
  std::shared_ptr<const detail::MessageSetState> state_;
};

// The library's version, "MAJOR.MINOR.PATCH".
const char* version();

}  // namespace wfxml

#endif
