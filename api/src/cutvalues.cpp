#include "cutvalues.h"

#include "asciilayout.h"
#include "entitylimits.h"
#include "error.h"
#include "zelwstring.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <algorithm>
#include <cstring>
#include <memory>
#include <tuple>
#include <string_view>

XERCES_CPP_NAMESPACE_USE

namespace wfxml::detail {
namespace {

// Ends a second reading that meets more text than the parse allows.
struct TextBeyondBounds {};

// Reads a document's elements as written (no dictionary, no namespaces) for
// the elements without child elements whose text goes on, with more than
// blanks, after a comment or processing instruction that follows text.
class CutValueFinder : public DefaultHandler {
public:
  // Ends the reading (throws) past textLimit units of character data.
  explicit CutValueFinder(std::size_t textLimit) : textLeft_(textLimit) {}

  std::vector<CutValue>& found() { return found_; }

  void setDocumentLocator(const Locator* locator) override { locator_ = locator; }

  void startElement(const XMLCh*, const XMLCh*, const XMLCh* qname, const Attributes&) override {
    if (!open_.empty()) open_.back().hasChild = true;
    std::u16string_view localName(qname);
    if (const std::size_t colon = localName.find(u':'); colon != std::u16string_view::npos)
      localName.remove_prefix(colon + 1);
    std::string name = ZelWstring(localName).toUtf8();
    const std::size_t occurrence = started_[name]++;
    open_.push_back({path_.size(), std::move(name), occurrence});
    path_ += u'/';
    path_ += qname;
  }

  void endElement(const XMLCh*, const XMLCh*, const XMLCh*) override {
    Open& element = open_.back();
    if (element.cut && !element.hasChild)
      found_.push_back({element.line, element.column, ZelWstring(path_).toUtf8(), std::move(element.name), element.occurrence});
    path_.resize(element.pathEnd);
    open_.pop_back();
  }

  void characters(const XMLCh* chars, const XMLSize_t length) override {
    if (length > textLeft_) throw TextBeyondBounds();
    textLeft_ -= length;
    if (open_.empty() || length == 0) return;
    Open& element = open_.back();
    element.hasText = true;
    if (!element.markupAfterText || element.cut) return;
    for (XMLSize_t i = 0; i < length && !element.cut; ++i)
      element.cut = chars[i] != u' ' && chars[i] != u'\t' && chars[i] != u'\n' && chars[i] != u'\r';
  }

  void comment(const XMLCh*, const XMLSize_t) override { markup(); }
  void processingInstruction(const XMLCh*, const XMLCh*) override { markup(); }

private:
  struct Open {
    std::size_t pathEnd = 0;
    std::string name;
    std::size_t occurrence = 0;
    bool hasChild = false;
    bool hasText = false;
    bool markupAfterText = false;  // where the parser ends the value
    bool cut = false;
    long line = 0;  // where the text after that markup starts
    long column = 0;
  };

  void markup() {
    if (open_.empty() || !open_.back().hasText || open_.back().markupAfterText) return;
    Open& element = open_.back();
    element.markupAfterText = true;
    element.line = static_cast<long>(locator_->getLineNumber());
    element.column = static_cast<long>(locator_->getColumnNumber());
  }

  const Locator* locator_ = nullptr;
  std::vector<Open> open_;
  std::unordered_map<std::string, std::size_t> started_;
  std::u16string path_;
  std::vector<CutValue> found_;
  std::size_t textLeft_;
};

bool endsWithMarkup(const WorkerInfoPtr& endInfo) {
  if (!endInfo || endInfo->getDataPropertyCount() == 0) return false;
  const PWFData& markup = endInfo->getDataProperty(0);
  return markup.getDataLogicalType() == eLogicalString && !markup.isNull() && markup.getStringLength() > 0;
}

}  // namespace

bool mayCutValues(const void* bytes, std::size_t size) {
  const std::string_view document(static_cast<const char*>(bytes), size);
  const std::optional<AsciiLayout> layout = asciiLayoutOf(document);
  if (!layout) return true;
  const std::size_t width = layout->width, low = layout->low;
  // The ASCII character n characters after the one whose low byte is at; 0 for none.
  const auto character = [&](std::size_t at, long n) -> char {
    const long first = static_cast<long>(at - low) + n * static_cast<long>(width);
    return first < 0 ? 0 : layout->characterAt(document, static_cast<std::size_t>(first));
  };
  // The prolog (declaration, comments, instructions, the document type) is
  // no value's. A document type that declares entities is watched: their
  // text may hold any markup, and a reference to it may stand in any value.
  std::size_t root = 0;
  for (;; ++root) {
    const void* open = std::memchr(document.data() + root, '<', size - root);
    if (!open) return false;
    root = static_cast<std::size_t>(static_cast<const char*>(open) - document.data());
    if (root % width != low || character(root, 0) != '<') continue;
    const char next = character(root, 1);
    if (next == '!') {
      bool entity = true;
      for (long i = 0; i < 6 && entity; ++i) entity = character(root, 2 + i) == "ENTITY"[i];
      if (entity) return true;
    } else if (next != '?') {
      break;
    }
  }
  // Whether text other than blanks follows the markup that ends with the
  // character at byte end: a cut if the markup is inside a value.
  const auto textAfter = [&](std::size_t end) {
    long n = 1;
    for (char c = character(end, n); c == ' ' || c == '\t' || c == '\n' || c == '\r'; c = character(end, ++n)) {
    }
    return character(end, n) != '<' || (character(end, n + 1) == '!' && character(end, n + 2) == '[');  // CDATA
  };
  // The end of the markup whose first character after '<' is at byte at:
  // the byte of its last character ('>'); nullopt where it does not end.
  const auto endOf = [&](std::size_t at, std::string_view last) -> std::optional<std::size_t> {
    for (std::size_t from = at;; ++from) {
      const void* found = std::memchr(document.data() + from, '>', size - from);
      if (!found) return std::nullopt;
      from = static_cast<std::size_t>(static_cast<const char*>(found) - document.data());
      if (from % width != low || character(from, 0) != '>') continue;
      bool ends = true;
      for (std::size_t i = 0; i < last.size() && ends; ++i)
        ends = character(from, -static_cast<long>(last.size() - i)) == last[i];
      if (ends) return from;
    }
  };
  // '!' and '?' are rare in content: each one found is checked for the
  // '<' before it, and then for text after its markup.
  for (const char mark : {'!', '?'}) {
    for (std::size_t at = root; const void* found = std::memchr(document.data() + at, mark, size - at); at += 1) {
      at = static_cast<std::size_t>(static_cast<const char*>(found) - document.data());
      if (at % width != low || character(at, -1) != '<' || character(at, 0) != mark) continue;
      if (mark == '!' && (character(at, 1) != '-' || character(at, 2) != '-')) continue;
      const std::optional<std::size_t> end = endOf(at, mark == '!' ? "--" : "?");
      if (!end || textAfter(*end)) return true;
      at = *end;
    }
  }
  return false;
}

std::vector<CutValue> cutValues(const void* bytes, std::size_t size, const ReadingOfParse& reading) {
  // Within the parse's bounds, which it has kept up to the element watched:
  // beyond them the parse ends the document with its own error. None is
  // fetched.
  SecurityManager limits;
  limits.setEntityExpansionLimit(reading.entityExpansionLimit);
  const std::unique_ptr<SAX2XMLReader> reader(XMLReaderFactory::createXMLReader());
  reader->setFeature(XMLUni::fgSAX2CoreNameSpaces, false);
  reader->setFeature(XMLUni::fgSAX2CoreValidation, false);
  reader->setFeature(XMLUni::fgXercesLoadExternalDTD, false);
  reader->setFeature(XMLUni::fgXercesDisableDefaultEntityResolution, true);
  reader->setProperty(XMLUni::fgXercesSecurityManager, &limits);
  CutValueFinder finder(size + kEntityTextAllowance);
  reader->setContentHandler(&finder);
  reader->setLexicalHandler(&finder);
  reader->setErrorHandler(&finder);
  MemBufInputSource source(static_cast<const XMLByte*>(bytes), size, u"document", false);
  if (!reading.scannerEncoding.empty()) source.setEncoding(reading.scannerEncoding.c_str());
  try {
    reader->parse(source);
  } catch (...) {
    return {};  // the parse reports what is wrong
  }
  return std::move(finder.found());
}

void CutValueWatch::opened(Started* started) {
  open_.push_back(started ? Open{0, &started->first, started->second++} : Open{});
}

void CutValueWatch::openedDefined(long tagId, unsigned short kind, long memberId, long tagIndex, long memberIndex) {
  const Definition* definition = definitions_.find(tagId, memberId, kind, tagIndex, memberIndex);
  if (!definition || definition->isAttribute || definition->name.empty()) return opened(nullptr);
  Started*& started = startedByDefinition_[definition];
  if (!started) {
    const std::size_t colon = definition->name.find(':');
    started = &*started_.try_emplace(colon == std::string::npos ? definition->name : definition->name.substr(colon + 1), 0).first;
  }
  opened(started);
}

void CutValueWatch::openedSelfDefining(const char16_t* name, const ZelWstring& namespaceURI) {
  std::u16string_view text(name ? name : u"");
  if (text.empty() || isSelfDefiningAttribute(text, namespaceURI.view())) return opened(nullptr);
  if (const std::size_t colon = text.find(u':'); colon != std::u16string_view::npos) text.remove_prefix(colon + 1);
  opened(&*started_.try_emplace(ZelWstring(text).toUtf8(), 0).first);
}

void CutValueWatch::closing(const WorkerInfoPtr& endInfo) {
  const Open element = open_.back();
  open_.pop_back();
  if (element.values == 1 && endsWithMarkup(endInfo)) refuseIfCut(element);
}

void CutValueWatch::explainFailure() {
  if (!refused_ && !open_.empty()) refuseIfCut(open_.back());
}

void CutValueWatch::refuseIfCut(const Open& element) {
  if (!element.name) return;
  const auto key = [](const CutValue& cut) { return std::tie(cut.localName, cut.occurrence); };
  if (!cuts_) {
    cuts_ = cutValues(bytes_, size_, reading_);
    std::sort(cuts_->begin(), cuts_->end(), [&](const CutValue& a, const CutValue& b) { return key(a) < key(b); });
  }
  const auto cut = std::lower_bound(cuts_->begin(), cuts_->end(), std::tie(*element.name, element.occurrence),
                                    [&](const CutValue& each, const auto& wanted) { return key(each) < wanted; });
  if (cut == cuts_->end() || key(*cut) != std::tie(*element.name, element.occurrence)) return;
  const std::string reason =
      "a comment or processing instruction inside a value ends the value for the parser, and the text after it "
      "would be lost: take the comment or instruction out of the value";
  refused_ = true;
  throwDocumentRefusal(cut->line, cut->column, reason, 0, "CutValueWatch::refuseIfCut", cut->path);
}

void CutValueWatch::startMessage(const WorkerInfoPtr& startInfo) { handler_.startMessage(startInfo); }
void CutValueWatch::endMessage(const WorkerInfoPtr& endInfo) { handler_.endMessage(endInfo); }
void CutValueWatch::startEmbeddedMessage() { handler_.startEmbeddedMessage(); }
void CutValueWatch::endEmbeddedMessage(bool keep, bool abandoned) { handler_.endEmbeddedMessage(keep, abandoned); }

bool CutValueWatch::startMessageContent(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                                        const WorkerInfoPtr& startInfo, long xsiTypeIndex) {
  openedSelfDefining(name, namespaceURI);
  return handler_.startMessageContent(name, namespaceURI, elementKind, startInfo, xsiTypeIndex);
}

bool CutValueWatch::startMessageContent(long& tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo,
                                        long memberId, long xsiTypeIndex, long tagIndex, long memberIndex) {
  openedDefined(tagId, elementKind, memberId, tagIndex, memberIndex);
  return handler_.startMessageContent(tagId, elementKind, startInfo, memberId, xsiTypeIndex, tagIndex, memberIndex);
}

void CutValueWatch::endMessageContent(long tagId, const WorkerInfoPtr& endInfo) {
  closing(endInfo);
  handler_.endMessageContent(tagId, endInfo);
}

void CutValueWatch::endMessageContent(const char16_t* name, const ZelWstring& namespaceURI,
                                      const WorkerInfoPtr& endInfo) {
  closing(endInfo);
  handler_.endMessageContent(name, namespaceURI, endInfo);
}

void CutValueWatch::startElement(long tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo, long memberId,
                                 long occurrence, long xsiTypeIndex, long tagIndex, long memberIndex) {
  openedDefined(tagId, elementKind, memberId, tagIndex, memberIndex);
  handler_.startElement(tagId, elementKind, startInfo, memberId, occurrence, xsiTypeIndex, tagIndex, memberIndex);
}

void CutValueWatch::startElement(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                                 const WorkerInfoPtr& startInfo, long memberId, long xsiTypeIndex) {
  openedSelfDefining(name, namespaceURI);
  handler_.startElement(name, namespaceURI, elementKind, startInfo, memberId, xsiTypeIndex);
}

void CutValueWatch::endElement(long tagId, const WorkerInfoPtr& endInfo) {
  closing(endInfo);
  handler_.endElement(tagId, endInfo);
}

void CutValueWatch::endElement(const char16_t* name, const ZelWstring& namespaceURI, const WorkerInfoPtr& endInfo) {
  closing(endInfo);
  handler_.endElement(name, namespaceURI, endInfo);
}

void CutValueWatch::data(const PWFData& value, const WorkerInfoPtr& info, long itemTypeIndex, long listTypeIndex) {
  // The items of a list (and a union's value) come one event each; text
  // runs (of mixed content) apart, which no cut can hide.
  if (!open_.empty() && open_.back().values < 2 && (itemTypeIndex < 0 || open_.back().values == 0)) ++open_.back().values;
  handler_.data(value, info, itemTypeIndex, listTypeIndex);
}

}  // namespace wfxml::detail
