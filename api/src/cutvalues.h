#ifndef WFXML_SRC_CUTVALUES_H
#define WFXML_SRC_CUTVALUES_H

// The parser reads a simple element's value up to the first comment or
// processing instruction inside it and drops the text after that:
// <Amount>1<!--x-->2</Amount> would read as 1. A document with such a value
// is refused instead, at the text that would be lost.

#include "definitions.h"
#include "entitylimits.h"
#include "fihandler.h"

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace wfxml::detail {

// Where a value goes on after a comment or processing instruction inside an
// element without child elements: the line and column where the text after
// the markup starts, the element's path as written ("/o:order/o:id"), and
// which element it is: its local name and how many elements of that name
// start before it.
struct CutValue {
  long line = 0;
  long column = 0;
  std::string path;
  std::string localName;
  std::size_t occurrence = 0;
};

// Whether a value of the document may go on after a comment or processing
// instruction: true where its markup is not ASCII (asciiLayoutOf), or where
// after its prolog a comment or instruction is followed by text. A cheap
// test, so that nearly every document goes without the watch below. True
// for a document whose type declares entities: their text may hold any
// markup.
bool mayCutValues(const void* bytes, std::size_t size);

// Every such place in the document, in order; none where the document does
// not read within the parse's bounds on entities (its parse reports why).
// Elements of self-defining content whose text the parse keeps whole are
// among them.
std::vector<CutValue> cutValues(const void* bytes, std::size_t size, const ReadingOfParse& reading);

// Passes the parser's events on to another handler, watching for an element
// whose one value (or list) is followed by a comment or processing
// instruction kept for its end tag: the events of a cut value, and of one
// that merely ends in a comment. Then the document is read for its cut
// values (once), and where this element is one of them, the watch throws
// ZelParserException CP_XML_XERCES_PARSER_EXCEPTION at it, before the
// element's end is passed on.
class CutValueWatch final : public FIHandler {
public:
  // All borrowed for the watch's life.
  CutValueWatch(FIHandler& handler, const Definitions& definitions, const void* bytes, std::size_t size,
                const ReadingOfParse& reading)
      : handler_(handler), definitions_(definitions), bytes_(bytes), size_(size), reading_(reading) {}

  void startMessage(const WorkerInfoPtr& startInfo) override;
  void endMessage(const WorkerInfoPtr& endInfo) override;
  void startEmbeddedMessage() override;
  void endEmbeddedMessage(bool keep, bool abandoned) override;
  bool startMessageContent(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                           const WorkerInfoPtr& startInfo, long xsiTypeIndex) override;
  bool startMessageContent(long& tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo, long memberId,
                           long xsiTypeIndex, long tagIndex, long memberIndex) override;
  void endMessageContent(long tagId, const WorkerInfoPtr& endInfo) override;
  void endMessageContent(const char16_t* name, const ZelWstring& namespaceURI, const WorkerInfoPtr& endInfo) override;
  void startElement(long tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo, long memberId,
                    long occurrence, long xsiTypeIndex, long tagIndex, long memberIndex) override;
  void startElement(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                    const WorkerInfoPtr& startInfo, long memberId, long xsiTypeIndex) override;
  void endElement(long tagId, const WorkerInfoPtr& endInfo) override;
  void endElement(const char16_t* name, const ZelWstring& namespaceURI, const WorkerInfoPtr& endInfo) override;
  void data(const PWFData& value, const WorkerInfoPtr& info, long itemTypeIndex, long listTypeIndex) override;

  // After the parse failed: where it failed inside a cut value, the cut is
  // the cause (the parser read only the text before the markup, and
  // <i> <!--c-->12</i> fails as "' ' is not a valid Integer"), and the watch
  // throws its refusal instead. Returns otherwise.
  void explainFailure();

private:
  // Elements started so far by local name: the key's storage stays put.
  using Started = std::pair<const std::string, std::size_t>;
  struct Open {
    unsigned char values = 0;           // none, one (or a list), or text runs (0, 1, 2)
    const std::string* name = nullptr;  // an element's local name; null for an attribute or a nameless value
    std::size_t occurrence = 0;         // elements of that name that started before it
  };
  void opened(Started* started);
  void openedDefined(long tagId, unsigned short kind, long memberId, long tagIndex, long memberIndex);
  void openedSelfDefining(const char16_t* name, const ZelWstring& namespaceURI);
  // Refuses the document where the closing element's value is cut.
  void closing(const WorkerInfoPtr& endInfo);
  // Throws the refusal where the element is among the places the second
  // reading finds (read once, at the first call).
  void refuseIfCut(const Open& element);

  FIHandler& handler_;
  const Definitions& definitions_;
  const void* bytes_;
  std::size_t size_;
  const ReadingOfParse& reading_;
  std::vector<Open> open_;
  std::unordered_map<std::string, std::size_t> started_;
  std::unordered_map<const Definition*, Started*> startedByDefinition_;
  std::optional<std::vector<CutValue>> cuts_;  // read when first needed, by local name and occurrence
  bool refused_ = false;
};

}  // namespace wfxml::detail

#endif
