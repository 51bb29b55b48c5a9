#include "schemavalidator.h"

#include "crowdedtags.h"
#include "ebcdiclineends.h"
#include "encoding.h"
#include "error.h"
#include "entitylimits.h"
#include "externalsubset.h"
#include "indexedschemagrammar.h"
#include "largestack.h"
#include "laxcontent.h"
#include "rememberinguri.h"
#include "schemareferencechains.h"
#include "utf8.h"
#include "valuepattern.h"
#include "widenedutf8.h"
#include "xmlmemorymanager.h"
#include "xmllibrary.h"
#include "zelexception.h"
#include "zelwstring.h"

#include <unicode/ustring.h>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLDocumentHandler.hpp>
#include <xercesc/framework/XMLErrorCodes.hpp>
#include <xercesc/framework/XMLErrorReporter.hpp>
#include <xercesc/framework/XMLGrammarPoolImpl.hpp>
#include <xercesc/framework/XMLPScanToken.hpp>
#include <xercesc/framework/XMLSchemaDescription.hpp>
#include <xercesc/framework/XMLValidityCodes.hpp>
#include <xercesc/framework/psvi/XSComplexTypeDefinition.hpp>
#include <xercesc/framework/psvi/XSElementDeclaration.hpp>
#include <xercesc/framework/psvi/XSModel.hpp>
#include <xercesc/framework/psvi/XSModelGroup.hpp>
#include <xercesc/framework/psvi/XSNamedMap.hpp>
#include <xercesc/framework/psvi/XSParticle.hpp>
#include <xercesc/framework/psvi/XSWildcard.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/internal/SGXMLScanner.hpp>
#include <xercesc/internal/XMLScannerResolver.hpp>
#include <xercesc/parsers/SAX2XMLReaderImpl.hpp>
#include <xercesc/sax/InputSource.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/util/BinInputStream.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLExceptMsgs.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>
#include <xercesc/validators/common/GrammarResolver.hpp>
#include <xercesc/validators/schema/ComplexTypeInfo.hpp>
#include <xercesc/validators/datatype/DatatypeValidatorFactory.hpp>
#include <xercesc/validators/datatype/ListDatatypeValidator.hpp>
#include <xercesc/validators/datatype/UnionDatatypeValidator.hpp>
#include <xercesc/validators/schema/SchemaAttDef.hpp>
#include <xercesc/validators/schema/SchemaGrammar.hpp>
#include <xercesc/validators/schema/SchemaElementDecl.hpp>
#include <xercesc/validators/schema/SchemaSymbols.hpp>
#include <xercesc/validators/schema/SchemaValidator.hpp>

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

using namespace xercesc;

namespace wfxml::detail {
namespace {

constexpr char kFunction[] = "MessageSet::validate";

std::string utf8(const XMLCh* text) { return ZelWstring(text).toUtf8(); }

// text without the XML blanks around it.
std::u16string_view trimmed(std::u16string_view text) {
  const std::size_t first = text.find_first_not_of(u" \t\r\n");
  return first == std::u16string_view::npos ? std::u16string_view()
                                            : text.substr(first, text.find_last_not_of(u" \t\r\n") + 1 - first);
}

// Kept documents with portable (relative) locations are loaded from under
// this folder, which is never read: their references to each other resolve
// as paths, as when they were compiled.
constexpr std::string_view kKeptFolder = "/kept-schemas/";

std::string loadedLocation(const std::string& location) {
  const bool relative = !isNetworkLocation(location) && location.compare(0, 1, "/") != 0;
  return relative ? std::string(kKeptFolder) + location : location;
}

// A location as the dictionary keeps it, for messages.
std::string keptLocation(std::string location) {
  if (location.compare(0, kKeptFolder.size(), kKeptFolder) == 0) location.erase(0, kKeptFolder.size());
  return location;
}

// Serves the kept schema documents by their resolved location and nothing
// else: the network and the file system are never asked. External DTDs of
// schema documents read as empty.
class KeptDocumentResolver : public XMLEntityResolver {
public:
  explicit KeptDocumentResolver(const SchemaDocuments& documents) : documents_(documents) {
    for (const SchemaDocument& document : documents) locations_.push_back(loadedLocation(document.location));
  }

  InputSource* resolveEntity(XMLResourceIdentifier* resource) override {
    if (resource->getResourceIdentifierType() == XMLResourceIdentifier::ExternalEntity) {
      return new MemBufInputSource(nullptr, 0, resource->getSystemId() ? resource->getSystemId() : u"", false);
    }
    std::string named = utf8(resource->getSystemId());
    if (named.empty() && resource->getResourceIdentifierType() == XMLResourceIdentifier::SchemaImport &&
        XMLString::equals(resource->getNameSpace(), XMLUni::fgXMLURIName))
      named = kXmlNamespaceSchemaLocation;  // as compiled: the namespace's own document
    const std::string location = resolveSchemaLocation(utf8(resource->getBaseURI()), named);
    for (std::size_t i = 0; i < documents_.size(); ++i) {
      if (locations_[i] == location) return sourceOf(i);
    }
    return nullptr;  // unresolved: default resolution is off, so Xerces-C reports it
  }

  InputSource* sourceOf(std::size_t index) const {
    const SchemaDocument& document = documents_[index];
    auto* source = new MemBufInputSource(reinterpret_cast<const XMLByte*>(document.bytes.data()), document.bytes.size(),
                                         ZelWstring::fromUtf8(locations_[index]).c_str(), false);
    source->setCopyBufToStream(false);  // the documents outlive the load
    return source;
  }

private:
  const SchemaDocuments& documents_;
  std::vector<std::string> locations_;  // where each is loaded from
};

// The first error of a schema load.
class LoadErrors : public DefaultHandler {
public:
  void error(const SAXParseException& e) override { record(e); }
  void fatalError(const SAXParseException& e) override { record(e); }

  bool failed = false;
  std::string document, place, what;

private:
  void record(const SAXParseException& e) {
    if (failed) return;
    failed = true;
    document = keptLocation(utf8(e.getSystemId()));
    place = "line " + std::to_string(e.getLineNumber()) + ", column " + std::to_string(e.getColumnNumber());
    what = utf8(e.getMessage());
  }
};

// How schemas are read and documents checked, as a SAX2 reader's feature and
// as the scanner's own setting: the checks that drive a scanner directly and
// those that go through a SAX2 reader take the same list, so that they find
// the same problems.
struct ScannerSetting {
  const XMLCh* feature;
  void (XMLScanner::*set)(bool);
  bool value;
};
using ScannerSettings = std::initializer_list<ScannerSetting>;

// Reading schemas, for their load and for the documents checked against them.
const ScannerSettings kSchemaSettings = {
    {XMLUni::fgSAX2CoreNameSpaces, &XMLScanner::setDoNamespaces, true},
    {XMLUni::fgXercesSchema, &XMLScanner::setDoSchema, true},
    {XMLUni::fgXercesSchemaFullChecking, &XMLScanner::setValidationSchemaFullChecking, true},
    {XMLUni::fgXercesHandleMultipleImports, &XMLScanner::setHandleMultipleImports, true},
    {XMLUni::fgXercesDisableDefaultEntityResolution, &XMLScanner::setDisableDefaultEntityResolution, true},
};

// Checking documents against the loaded grammar, always validating (the
// SAX2 reader's fgSAX2CoreValidation without fgXercesDynamic).
const ScannerSettings kCheckSettings = {
    {XMLUni::fgXercesIdentityConstraintChecking, &XMLScanner::setIdentityConstraintChecking, true},
    {XMLUni::fgXercesUseCachedGrammarInParse, &XMLScanner::useCachedGrammarInParse, true},
    {XMLUni::fgXercesCacheGrammarFromParse, &XMLScanner::cacheGrammarFromParse, false},
    {XMLUni::fgXercesLoadSchema, &XMLScanner::setLoadSchema, false},  // xsi:schemaLocation is a hint, not an order
    {XMLUni::fgXercesLoadExternalDTD, &XMLScanner::setLoadExternalDTD, false},
    {XMLUni::fgXercesSkipDTDValidation, &XMLScanner::setSkipDTDValidation, true},
};

void setUp(SAX2XMLReader& reader, ScannerSettings settings) {
  for (const ScannerSetting& setting : settings) reader.setFeature(setting.feature, setting.value);
}

void setUp(XMLScanner& scanner, ScannerSettings settings) {
  for (const ScannerSetting& setting : settings) (scanner.*setting.set)(setting.value);
}

// Xerces-C unrolls occurrence counts into its content models: a count in the
// millions would take all memory at the first element of that type. A group
// of several particles is copied as often as it occurs, and the grammar's
// time grows with the cube of such copies' positions (a sequence of two
// elements occurring 1,000 times took 0.17 s, 5,000 times 8 s, 10,000 times
// 54 s); an element or wildcard unrolled costs far less (5,000 times 1.2 s),
// so it counts as one position here. A content model whose repeated model
// groups each hold one element or wildcard occurring once (or nothing) is
// not unrolled at all: Xerces-C counts occurrences there, whatever the counts.
constexpr XMLSize_t kMaxOccurrenceCount = 10000;
constexpr XMLSize_t kMaxContentPositions = 2000;

// Finds an occurrence count beyond kMaxOccurrenceCount, or a content model
// unrolled to more than kMaxContentPositions, in the types of a model,
// anonymous ones included: "maxOccurs 99999 in complexType 'T'...".
class OccurrenceCheck {
public:
  std::string inModel(XSModel& model) {
    for (const XSConstants::COMPONENT_TYPE kind : {XSConstants::TYPE_DEFINITION, XSConstants::ELEMENT_DECLARATION}) {
      XSNamedMap<XSObject>* components = model.getComponents(kind);
      for (XMLSize_t i = 0; components && i < components->getLength() && found_.empty(); ++i) {
        XSObject* component = components->item(i);
        if (auto* element = dynamic_cast<XSElementDeclaration*>(component)) {
          inType(element->getTypeDefinition());
        } else {
          inType(dynamic_cast<XSTypeDefinition*>(component));
        }
      }
    }
    return found_;
  }

private:
  void inType(XSTypeDefinition* type) {
    auto* complex = dynamic_cast<XSComplexTypeDefinition*>(type);
    if (complex == nullptr || !seen_.insert(complex).second) return;
    const XMLCh* name = complex->getAnonymous() ? nullptr : complex->getName();  // Xerces-C names those "__AnonC0"
    const std::string where = name ? " in complexType '" + utf8(name) + "'" : " in an anonymous complexType";
    const XMLSize_t positions = inParticle(complex->getParticle(), where, 1, keepsCounts(complex->getParticle()));
    if (found_.empty() && positions > kMaxContentPositions)
      found_ = "the content model" + where + " unrolls to more than " + std::to_string(kMaxContentPositions) +
               " positions (each element and wildcard once for each time its model groups occur)";
  }
  // Whether Xerces-C keeps the content model's counts as counters instead of
  // unrolling them: where each model group (or wildcard of several
  // namespaces) that occurs other than once holds a single element or
  // wildcard occurring once, or nothing (xs:all groups hold no groups and are
  // not unrolled).
  static bool keepsCounts(XSParticle* particle) {
    if (particle == nullptr) return true;
    if (particle->getTermType() != XSParticle::TERM_MODELGROUP) return !isChoiceOfSeveral(*particle) || occursOnce(*particle);
    const XSModelGroup& group = *particle->getModelGroupTerm();
    if (group.getCompositor() == XSModelGroup::COMPOSITOR_ALL) return true;
    XSParticleList* particles = group.getParticles();
    const XMLSize_t count = particles ? particles->size() : 0;
    if (!occursOnce(*particle)) {
      if (count != 1) return count == 0;
      XSParticle& only = *particles->elementAt(0);
      return only.getTermType() != XSParticle::TERM_MODELGROUP && !isChoiceOfSeveral(only) && occursOnce(only);
    }
    for (XMLSize_t i = 0; i < count; ++i)
      if (!keepsCounts(particles->elementAt(i))) return false;
    return true;
  }
  // A wildcard of a list of namespaces is a choice of one wildcard for each
  // in Xerces-C's content models.
  static bool isChoiceOfSeveral(XSParticle& particle) {
    if (particle.getTermType() != XSParticle::TERM_WILDCARD) return false;
    XSWildcard& wildcard = *particle.getWildcardTerm();
    return wildcard.getConstraintType() == XSWildcard::NSCONSTRAINT_DERIVATION_LIST &&
           wildcard.getNsConstraintList() != nullptr && wildcard.getNsConstraintList()->size() > 1;
  }
  static bool occursOnce(XSParticle& particle) {
    return particle.getMinOccurs() == 1 && !particle.getMaxOccursUnbounded() && particle.getMaxOccurs() == 1;
  }

  // The particle's positions once unrolled, copied times over by the groups
  // around it (saturating past the bound); checks the types it holds too.
  // countsKept: the content model's counts are not unrolled, so none is
  // too large.
  XMLSize_t inParticle(XSParticle* particle, const std::string& where, XMLSize_t times, bool countsKept) {
    if (particle == nullptr || !found_.empty()) return 0;
    if (!countsKept && particle->getMinOccurs() > kMaxOccurrenceCount) {
      found_ = "minOccurs " + std::to_string(particle->getMinOccurs()) + where + countBound();
    } else if (!countsKept && !particle->getMaxOccursUnbounded() && particle->getMaxOccurs() > kMaxOccurrenceCount) {
      found_ = "maxOccurs " + std::to_string(particle->getMaxOccurs()) + where + countBound();
    } else if (particle->getTermType() == XSParticle::TERM_ELEMENT) {
      inType(particle->getElementTerm()->getTypeDefinition());
      return 1;
    } else if (particle->getTermType() == XSParticle::TERM_WILDCARD) {
      return 1;
    } else if (particle->getTermType() == XSParticle::TERM_MODELGROUP) {
      XSParticleList* particles = particle->getModelGroupTerm()->getParticles();
      const XMLSize_t count = particles ? particles->size() : 0;
      const XMLSize_t copies = std::min(times * (particle->getMaxOccursUnbounded() ? particle->getMinOccurs() + 1
                                                                                 : particle->getMaxOccurs()),
                                        kMaxContentPositions + 1);
      if (count == 1) return inParticle(particles->elementAt(0), where, copies, countsKept);
      XMLSize_t positions = 0;
      for (XMLSize_t i = 0; i < count; ++i) positions += inParticle(particles->elementAt(i), where, 1, countsKept);
      return std::min(positions * copies, kMaxContentPositions + 1);
    }
    return 0;
  }

  static std::string countBound() {
    return ": the validator unrolls occurrence counts and takes at most " + std::to_string(kMaxOccurrenceCount);
  }
  std::set<const XSComplexTypeDefinition*> seen_;
  std::string found_;
};

// Reaches a type's pattern, which the validator keeps for its subclasses.
class PatternOf : public DatatypeValidator {
public:
  static const RegularExpression* of(const DatatypeValidator& type) { return (type.*(&PatternOf::getRegex))(); }
};

// The lookup tables of a simple type's patterns (detail::buildLookupTables),
// also those of its bases, union members and list items.
void buildLookupTables(const DatatypeValidator* type, std::set<const DatatypeValidator*>& seen) {
  for (; type && seen.insert(type).second; type = type->getBaseValidator()) {
    if (const RegularExpression* pattern = PatternOf::of(*type)) detail::buildLookupTables(*pattern);
    if (type->getType() == DatatypeValidator::Union) {
      if (const RefVectorOf<DatatypeValidator>* members =
              static_cast<const UnionDatatypeValidator*>(type)->getMemberTypeValidators())
        for (XMLSize_t i = 0; i < members->size(); ++i) buildLookupTables(members->elementAt(i), seen);
    } else if (type->getType() == DatatypeValidator::List) {
      buildLookupTables(static_cast<const ListDatatypeValidator*>(type)->getItemTypeDTV(), seen);
    }
  }
}

// A complex type's content model, its attribute list and its attributes'
// pattern tables.
void buildOnFirstUseParts(ComplexTypeInfo& type, std::set<const DatatypeValidator*>& seen) {
  type.getContentModel();
  type.getFormattedContentModel();  // the text of a content error: formatted by two threads at once, one copy leaked
  XMLAttDefList& attributes = type.getAttDefList();
  for (XMLSize_t i = 0; i < attributes.getAttDefCount(); ++i)
    buildLookupTables(static_cast<SchemaAttDef&>(attributes.getAttDef(i)).getDatatypeValidator(), seen);
}

// Xerces-C builds a type's content model, its text and its attribute list
// when a document first needs them, and a pattern's lookup tables when it is
// first matched, writing into the grammar. Built before the grammar is shared, they are only
// read while threads validate (and the first documents are not slower than
// the others).
void buildOnFirstUseParts(const XMLGrammarPool& pool) {
  std::set<const DatatypeValidator*> seen;
  RefHashTableOfEnumerator<xercesc::Grammar> grammars = pool.getGrammarEnumerator();
  while (grammars.hasMoreElements()) {
    xercesc::Grammar& grammar = grammars.nextElement();
    if (grammar.getGrammarType() != xercesc::Grammar::SchemaGrammarType) continue;
    auto& schema = static_cast<SchemaGrammar&>(grammar);
    if (DatatypeValidatorFactory* registry = schema.getDatatypeRegistry()) {
      for (const DVHashTable* table :
           {registry->getUserDefinedRegistry(), DatatypeValidatorFactory::getBuiltInRegistry()}) {
        if (!table) continue;
        for (RefHashTableOfEnumerator<DatatypeValidator> each(const_cast<DVHashTable*>(table), false);
             each.hasMoreElements();)
          buildLookupTables(&each.nextElement(), seen);
      }
    }
    if (RefHashTableOf<ComplexTypeInfo>* types = schema.getComplexTypeRegistry()) {
      RefHashTableOfEnumerator<ComplexTypeInfo> each(types, false);
      while (each.hasMoreElements()) buildOnFirstUseParts(each.nextElement(), seen);
    }
    // Elements of anonymous types, and the simple types of elements.
    RefHash3KeysIdPoolEnumerator<SchemaElementDecl> elements = schema.getElemEnumerator();
    while (elements.hasMoreElements()) {
      SchemaElementDecl& element = elements.nextElement();
      buildLookupTables(element.getDatatypeValidator(), seen);
      if (ComplexTypeInfo* type = element.getComplexTypeInfo()) buildOnFirstUseParts(*type, seen);
    }
    RefHashTableOfEnumerator<XMLAttDef> attributes(schema.getAttributeDeclRegistry(), false);
    while (attributes.hasMoreElements())
      buildLookupTables(static_cast<SchemaAttDef&>(attributes.nextElement()).getDatatypeValidator(), seen);
  }
}

// Ends a check that went past a limit.
struct LimitReached {
  std::string what;
  XMLFileLoc line = 0, column = 0;
};

// The declarations the scanner made for elements the grammar does not
// declare, one a name, in a document; at most kMaxUndeclaredNames.
class UndeclaredNames {
public:
  void clear() {
    if (!made_.empty()) made_ = {};
  }
  // False when declaration is one too many.
  bool allow(const XMLElementDecl& declaration) {
    if (declaration.isDeclared()) return true;
    made_.insert(&declaration);
    return made_.size() <= SchemaValidator::kMaxUndeclaredNames;
  }
  static std::string limit() {
    return "elements of more than " + std::to_string(SchemaValidator::kMaxUndeclaredNames) +
           " names the schemas do not declare";
  }

private:
  std::unordered_set<const XMLElementDecl*> made_;
};

// Ends the check of a document whose root no schema declares (a document of
// another schema), once the root's problems are reported: every element and
// attribute within would be one more.
struct UndeclaredRoot {};

}  // namespace

class SchemaValidator::Grammar {
public:
  explicit Grammar(const SchemaDocuments& documents) : documents_(documents) {
    for (const SchemaDocument& document : documents) {
      if (const std::optional<SchemaDocumentFault> fault = findSchemaDocumentFault(document)) {
        throwError(__FILE__, __LINE__, kFunction, ZelMessages::CP_DICTIONARY_SOURCE_ERROR,
                   {document.location, fault->place, fault->what});
      }
    }
    if (const std::optional<ReferenceChainFault> chain = findOverlongReferenceChain(documents)) {
      throwError(__FILE__, __LINE__, kFunction, ZelMessages::CP_DICTIONARY_SOURCE_ERROR,
                 {chain->location, chain->place, chain->what});
    }
    pool_ = std::make_unique<XMLGrammarPoolImpl>();
    if (const std::optional<LoadFailure> failure = load(*pool_)) {
      throwError(__FILE__, __LINE__, kFunction, ZelMessages::CP_DICTIONARY_SOURCE_ERROR,
                 {failure->document, failure->place, failure->what});
    }
    bool changed = false;
    XSModel* model = pool_->getXSModel(changed);
    if (const std::string tooLarge = model ? OccurrenceCheck().inModel(*model) : ""; !tooLarge.empty()) {
      throwError(__FILE__, __LINE__, kFunction, ZelMessages::CP_DICTIONARY_SOURCE_ERROR,
                 {documents.front().location, "", tooLarge});
    }
    if (std::unique_ptr<XMLGrammarPool> indexed = loadIndexed(*pool_)) pool_ = std::move(indexed);
    try {
      buildOnFirstUseParts(*pool_);
    } catch (const XMLException& e) {
      throwError(__FILE__, __LINE__, kFunction, ZelMessages::CP_DICTIONARY_SOURCE_ERROR,
                 {documents.front().location, "", utf8(e.getMessage())});
    } catch (const OutOfMemoryException&) {
      throwError(__FILE__, __LINE__, kFunction, ZelMessages::CP_DICTIONARY_SOURCE_ERROR,
                 {documents.front().location, "", "out of memory"});
    }
    RefHashTableOfEnumerator<xercesc::Grammar> grammars = pool_->getGrammarEnumerator();
    while (grammars.hasMoreElements()) {
      xercesc::Grammar& grammar = grammars.nextElement();
      if (grammar.getGrammarType() == xercesc::Grammar::SchemaGrammarType) {
        uris_.takeOverAttributes(static_cast<SchemaGrammar&>(grammar));
      }
    }
    for (RefHashTableOfEnumerator<xercesc::Grammar> each = pool_->getGrammarEnumerator(); each.hasMoreElements();) {
      if (auto* indexedGrammar = dynamic_cast<IndexedSchemaGrammar*>(&each.nextElement())) {
        indexedGrammar->index([this, indexedGrammar](unsigned int uriId) { return otherGrammar(*indexedGrammar, uriId); });
        indexedGrammar->keyByPooledNamespace(*pool_->getURIStringPool());
      }
    }
    pool_->lockPool();  // read-only from here on, so that threads may share it
  }

  XMLGrammarPool* pool() const { return pool_.get(); }

private:
  // The first problem of a load: the schema document, "line L, column C" and
  // what Xerces-C says.
  struct LoadFailure {
    std::string document, place, what;
  };

  std::optional<LoadFailure> load(XMLGrammarPool& pool) const {
    auto reader = std::make_unique<SAX2XMLReaderImpl>(XMLPlatformUtils::fgMemoryManager, &pool);
    setUp(*reader, kSchemaSettings);
    reader->setFeature(XMLUni::fgXercesCacheGrammarFromParse, true);
    KeptDocumentResolver resolver(documents_);
    LoadErrors errors;
    reader->setXMLEntityResolver(&resolver);
    reader->setErrorHandler(&errors);
    for (std::size_t i = 0; i < documents_.size(); ++i) {
      const SchemaDocument& document = documents_[i];
      if (!document.isRoot) continue;
      std::unique_ptr<InputSource> source(resolver.sourceOf(i));
      const xercesc::Grammar* grammar = nullptr;
      std::string failure;
      try {
        grammar = reader->loadGrammar(*source, xercesc::Grammar::SchemaGrammarType, true);
      } catch (const XMLException& e) {
        failure = utf8(e.getMessage());
      } catch (const SAXException& e) {
        failure = utf8(e.getMessage());
      } catch (const OutOfMemoryException&) {
        failure = "out of memory";
      }
      if (errors.failed) {
        return LoadFailure{errors.document.empty() ? document.location : errors.document, errors.place, errors.what};
      }
      if (grammar == nullptr) return LoadFailure{document.location, "", failure.empty() ? "not a schema document" : failure};
    }
    return std::nullopt;
  }

  // The grammars of loaded, again, as IndexedSchemaGrammar instances, where
  // an index pays: where a namespace has more than kIndexedDeclarations
  // element declarations, or where there are several namespaces (whose
  // elements the indexes answer for each other). Null where none pays, or
  // when the second load does not come out as the first (loaded is used as
  // it is then).
  std::unique_ptr<XMLGrammarPool> loadIndexed(XMLGrammarPool& loaded) const {
    std::map<std::u16string, XMLSize_t> declarationCounts;  // per namespace
    RefHashTableOfEnumerator<xercesc::Grammar> grammars = loaded.getGrammarEnumerator();
    bool worthIt = false;
    while (grammars.hasMoreElements()) {
      xercesc::Grammar& grammar = grammars.nextElement();
      if (grammar.getGrammarType() != xercesc::Grammar::SchemaGrammarType) return nullptr;
      const XMLSize_t count = static_cast<SchemaGrammar&>(grammar).getElemEnumerator().size();
      declarationCounts[namespaceOf(grammar)] = count;
      worthIt = worthIt || count > kIndexedDeclarations;
    }
    if (!worthIt && declarationCounts.size() < 2) return nullptr;
    auto pool = std::make_unique<XMLGrammarPoolImpl>();
    std::vector<IndexedSchemaGrammar*> indexed;
    for (const auto& [targetNamespace, count] : declarationCounts) {
      indexed.push_back(new (pool->getMemoryManager())
                            IndexedSchemaGrammar(targetNamespace.c_str(), pool->getMemoryManager()));
      pool->cacheGrammar(indexed.back());  // adopted
    }
    if (load(*pool)) return nullptr;
    // The same grammars, each filled (not merely looked up) and as large.
    XMLSize_t grammarCount = 0;
    for (RefHashTableOfEnumerator<xercesc::Grammar> again = pool->getGrammarEnumerator(); again.hasMoreElements();
         ++grammarCount) {
      xercesc::Grammar& grammar = again.nextElement();
      if (grammar.getGrammarType() != xercesc::Grammar::SchemaGrammarType) return nullptr;
      const auto first = declarationCounts.find(namespaceOf(grammar));
      const XMLSize_t count = static_cast<SchemaGrammar&>(grammar).getElemEnumerator().size();
      if (first == declarationCounts.end() || first->second != count) return nullptr;
    }
    for (const IndexedSchemaGrammar* grammar : indexed) {
      auto* description = static_cast<XMLSchemaDescription*>(grammar->getGrammarDescription());
      if (description->getContextType() == XMLSchemaDescription::CONTEXT_UNKNOWN) return nullptr;
    }
    return grammarCount == declarationCounts.size() ? std::move(pool) : nullptr;
  }

  // The schema grammar of the namespace uriId names, where it is not
  // grammar's own or the empty one.
  SchemaGrammar* otherGrammar(const SchemaGrammar& grammar, unsigned int uriId) const {
    const XMLCh* uri = pool_->getURIStringPool()->getValueForId(uriId);
    if (uri == nullptr || *uri == 0 || XMLString::equals(uri, grammar.getTargetNamespace())) return nullptr;
    for (RefHashTableOfEnumerator<xercesc::Grammar> each = pool_->getGrammarEnumerator(); each.hasMoreElements();) {
      xercesc::Grammar& other = each.nextElement();
      if (other.getGrammarType() == xercesc::Grammar::SchemaGrammarType && XMLString::equals(uri, other.getTargetNamespace())) {
        return &static_cast<SchemaGrammar&>(other);
      }
    }
    return nullptr;
  }

  static std::u16string namespaceOf(const xercesc::Grammar& grammar) {
    const XMLCh* name = grammar.getTargetNamespace();
    return name ? name : u"";
  }

  // Below this, the grammar's own tables are about as fast as an index
  // (UBL's largest grammar, 873, gains nothing; FpML's, 4,000, 40 %).
  static constexpr XMLSize_t kIndexedDeclarations = 1000;

  const SchemaDocuments& documents_;
  RememberedUris uris_;  // outlives the grammars that use it
  std::unique_ptr<XMLGrammarPool> pool_;
};

// Collects a document's problems, each with the path of its element.
class ProblemCollector : public DefaultHandler {
public:
  void start(std::size_t documentSize, std::vector<ProblemPlace>* places) {
    places_ = places;
    if (places_) places_->clear();
    openPositions_.clear();
    problems.clear();
    path_.clear();
    pathEnds_.clear();
    named_ = 0;
    text_ = 0;
    textLimit_ = documentSize + kEntityTextAllowance;
    references_.clear();
  }
  // Runs a scan; a fault that ends it early becomes the last problem.
  template <class Scan>
  void scan(Scan&& scanning) {
    try {
      scanning();
    } catch (const LimitReached& limit) {
      stop(limit.what, limit.line, limit.column);
    } catch (const UndeclaredRoot&) {
      // Its problems are reported already.
    } catch (const XMLException& e) {
      stop(utf8(e.getMessage()));
    } catch (const SAXException& e) {
      stop(utf8(e.getMessage()));
    } catch (const OutOfMemoryException&) {
      stop("out of memory");
    }
  }
  // More of the document has been read: so much more text may come.
  void allowMoreText(std::size_t documentBytes) { textLimit_ += documentBytes; }
  // The document's external id went blank (blankExternalSubsetId): its blanks
  // count so many more columns than its characters on its last line.
  void blankedId(const std::optional<BlankedId>& blanked) {
    idColumnsAdded_ = blanked ? blanked->columnsAdded : 0;
    idLine_ = 0;
  }
  // The scanner has passed the external id's place: what it reports later on
  // that line stands the id's added columns too far right.
  void passedId() { idLine_ = idColumnsAdded_ != 0 && locator_ ? locator_->getLineNumber() : 0; }
  // The problem that ended a check early (the locator is no longer valid then).
  void stop(const std::string& what, XMLFileLoc line = 0, XMLFileLoc column = 0) {
    problems.push_back({line, column, utf8Path(), what});
    notePlace();
  }

  void setDocumentLocator(const Locator* locator) override { locator_ = locator; }
  void startElement(const XMLCh*, const XMLCh*, const XMLCh* qname, const Attributes& attributes) override {
    if (pathEnds_.size() >= SchemaValidator::kMaxElementDepth) {
      limitReached("elements nested deeper than " + std::to_string(SchemaValidator::kMaxElementDepth));
    }
    if (places_) openPositions_.push_back(positionAmongSiblings(qname));
    pathEnds_.push_back(path_.size());
    path_ += u'/';
    path_ += qname;
    nameStartTagProblems(attributes);
    noteReferences(attributes);
  }
  void endElement(const XMLCh*, const XMLCh*, const XMLCh*) override {
    named_ = problems.size();
    path_.resize(pathEnds_.back());
    pathEnds_.pop_back();
    if (places_) openPositions_.pop_back();
  }
  void characters(const XMLCh* const, const XMLSize_t length) override {
    text_ += length;
    if (text_ > textLimit_) limitReached("more character data than entity references may add");
  }
  void error(const SAXParseException& e) override { add(e); }
  void fatalError(const SAXParseException& e) override { add(e); }

  // A problem where the scanner stands, before the element whose start tag
  // it is about is reported (which names it then).
  void addHere(const std::u16string& message) {
    makeRoom();
    const auto [line, column] = here();
    problems.push_back({line, column, utf8Path(), toUtf8(message)});
    notePlace();
  }
  // Says a problem found before in other words.
  void reword(std::size_t index, std::string message) {
    if (index < problems.size()) problems[index].message = std::move(message);
  }
  // Whether problems are to be placed (ProblemPlace) too.
  bool placesProblems() const { return places_ != nullptr; }
  // The place the scanner stands at.
  DetachedElement::Place here() const {
    if (!locator_) return {0, 0};
    return {locator_->getLineNumber(), columnOf(locator_->getLineNumber(), locator_->getColumnNumber())};
  }
  // The problems of an element checked apart (found in its own document,
  // with places when asked), put where they stand in this one. The element
  // is the innermost open one, or, if empty, the last one closed.
  void addDetached(const std::vector<ValidationError>& found, const std::vector<ProblemPlace>& foundPlaces,
                   const DetachedElement& element, std::u16string_view qname, bool empty) {
    const std::string parentPath = ZelWstring(empty ? path_ : path_.substr(0, pathEnds_.back())).toUtf8();
    std::vector<std::size_t> positions = openPositions_;
    if (places_ && empty) positions.push_back(childNames_[openPositions_.size()].count(qname));
    for (std::size_t i = 0; i < found.size(); ++i) {
      const ValidationError& problem = found[i];
      const ZelWstring message = ZelWstring::fromUtf8(problem.message);
      if (!unknownId(message.c_str()).empty()) continue;  // references are to the whole document's IDs
      makeRoom();
      const auto [line, column] = element.placeOf(problem.line);
      problems.push_back({line, column, parentPath + (problem.path.empty() ? "/" + toUtf8(qname) : problem.path),
                          problem.message});
      if (!places_) continue;
      ProblemPlace place{positions, i < foundPlaces.size() ? foundPlaces[i].attribute : std::string()};
      if (i < foundPlaces.size() && !foundPlaces[i].positions.empty())
        place.positions.insert(place.positions.end(), foundPlaces[i].positions.begin() + 1, foundPlaces[i].positions.end());
      places_->push_back(std::move(place));
    }
    named_ = problems.size();
  }

  std::vector<ValidationError> problems;

  // Ends the check where the problems have reached their bound.
  void makeRoom() const {
    if (problems.size() == SchemaValidator::kMaxProblems) {
      limitReached("more than " + std::to_string(SchemaValidator::kMaxProblems) + " problems");
    }
  }
  // Ends the check where the scanner is, with what as its last problem.
  [[noreturn]] void limitReached(std::string what) const {
    throw LimitReached{std::move(what), locator_ ? locator_->getLineNumber() : 0,
                       locator_ ? columnOf(locator_->getLineNumber(), locator_->getColumnNumber()) : 0};
  }

private:
  void add(const SAXParseException& e) {
    makeRoom();
    const auto reference = references_.find(std::u16string(unknownId(e.getMessage())));
    if (reference != references_.end()) {
      // In document order: Xerces-C goes through its table of IDs.
      const Reference& at = reference->second;
      const auto before = std::upper_bound(problems.begin(), problems.end(), std::make_pair(at.line, at.column),
                                           [](const auto& place, const ValidationError& problem) {
                                             return place < std::make_pair(problem.line, problem.column);
                                           });
      const std::size_t index = static_cast<std::size_t>(before - problems.begin());
      problems.insert(before, {at.line, at.column, ZelWstring(at.path).toUtf8(), utf8(e.getMessage())});
      if (places_) places_->insert(places_->begin() + static_cast<std::ptrdiff_t>(index), at.place);
      if (index < named_) ++named_;
      return;
    }
    problems.push_back({e.getLineNumber(), columnOf(e.getLineNumber(), e.getColumnNumber()), utf8Path(), utf8(e.getMessage())});
    notePlace();
  }
  // Xerces-C finds a reference to an ID no element declares at the document's
  // end; its problem stands where the reference was first made, as other
  // problems of a start tag do. Only the first use of each ID is kept, and
  // of as many IDs as problems are listed: each keeps its element's path,
  // which a hostile document could make long for each of millions of IDs
  // (the others stand at the end, as Xerces-C finds them).
  struct Reference {
    XMLFileLoc line;
    XMLFileLoc column;
    std::u16string path;
    ProblemPlace place;
  };
  void noteReferences(const Attributes& attributes) {
    for (XMLSize_t i = 0; i < attributes.getLength(); ++i) {
      const std::u16string_view type(attributes.getType(i));
      if (type != u"IDREF" && type != u"IDREFS") continue;
      const std::u16string_view ids(attributes.getValue(i));
      for (std::size_t start = 0; start < ids.size();) {
        const std::size_t end = std::min(ids.find_first_of(u" \t\r\n", start), ids.size());
        if (end > start && references_.size() < SchemaValidator::kMaxProblems) {
          const auto [at, added] = references_.try_emplace(std::u16string(ids.substr(start, end - start)));
          if (added) {
            const XMLFileLoc line = locator_ ? locator_->getLineNumber() : 0;
            at->second = {line, locator_ ? columnOf(line, locator_->getColumnNumber()) : 0, path_,
                          places_ ? ProblemPlace{openPositions_, utf8(attributes.getQName(i))} : ProblemPlace{}};
          }
        }
        start = end + 1;
      }
    }
  }
  // The ID a "referenced but was never declared" problem names; empty for other problems.
  static std::u16string_view unknownId(std::u16string_view message) {
    constexpr std::u16string_view kBefore = u"ID attribute '", kAfter = u"' is referenced but was never declared";
    if (message.size() <= kBefore.size() + kAfter.size() || message.rfind(kBefore, 0) != 0 ||
        message.substr(message.size() - kAfter.size()) != kAfter)
      return {};
    return message.substr(kBefore.size(), message.size() - kBefore.size() - kAfter.size());
  }
  void notePlace() {
    if (places_) places_->push_back({openPositions_, {}});
  }
  // The new element's position among its parent's children of its name;
  // the names the parent's children had so far are kept per depth.
  std::size_t positionAmongSiblings(const XMLCh* qname) {
    const std::size_t depth = openPositions_.size();
    if (childNames_.size() < depth + 2) childNames_.resize(depth + 2);
    childNames_[depth + 1].clear();  // the new element's children
    SiblingNames& siblings = childNames_[depth];
    if (depth == 0) siblings.clear();
    return siblings.countOne(qname);
  }
  // How often each name came so far: a scan of the few names most elements'
  // children have, an index once they are many.
  class SiblingNames {
  public:
    void clear() {
      few_.clear();
      if (!many_.empty()) many_ = {};
    }
    // How often the name came so far.
    std::size_t count(std::u16string_view name) const {
      if (!many_.empty()) {
        const auto at = many_.find(std::u16string(name));
        return at == many_.end() ? 0 : at->second;
      }
      for (const auto& [seen, count] : few_)
        if (seen == name) return count;
      return 0;
    }
    std::size_t countOne(std::u16string_view name) {
      if (many_.empty()) {
        for (auto& [seen, count] : few_)
          if (seen == name) return ++count;
        if (few_.size() < kScanned) {
          few_.emplace_back(name, 1);
          return 1;
        }
        for (auto& [seen, count] : few_) many_.emplace(std::move(seen), count);
        few_.clear();
      }
      return ++many_[std::u16string(name)];
    }

  private:
    static constexpr std::size_t kScanned = 16;
    std::vector<std::pair<std::u16string, std::size_t>> few_;
    std::unordered_map<std::u16string, std::size_t> many_;
  };
  // A start tag is checked before its element is reported: problems found
  // where the element now starts are the element's own, or its attributes'.
  void nameStartTagProblems(const Attributes& attributes) {
    for (std::size_t i = named_; i < problems.size(); ++i) {
      ValidationError& problem = problems[i];
      if (locator_ && problem.line == locator_->getLineNumber() &&
          problem.column == columnOf(locator_->getLineNumber(), locator_->getColumnNumber())) {
        problem.path = utf8Path();
        if (places_) (*places_)[i] = {openPositions_, attributeOf(problem.message, attributes)};
      }
    }
    named_ = problems.size();
  }
  // The attribute a start tag's problem is about: the one the message names
  // ("attribute 'ccy' ..."), else the one whose value it quotes first
  // ("value 'EURO' ..."; Xerces-C's messages about a value name no
  // attribute), where one alone has that value; empty otherwise.
  static std::string attributeOf(const std::string& message, const Attributes& attributes) {
    for (XMLSize_t i = 0; i < attributes.getLength(); ++i) {
      const std::string name = utf8(attributes.getQName(i));
      if (message.find("attribute '" + name + "'") != std::string::npos) return name;
    }
    const std::size_t open = message.find('\'');
    const std::size_t close = open == std::string::npos ? open : message.find('\'', open + 1);
    if (close == std::string::npos) return {};
    const std::string_view quoted = std::string_view(message).substr(open + 1, close - open - 1);
    std::string found;
    for (XMLSize_t i = 0; i < attributes.getLength(); ++i) {
      if (utf8(attributes.getValue(i)) != quoted) continue;
      if (!found.empty()) return {};
      found = utf8(attributes.getQName(i));
    }
    return found;
  }
  std::string utf8Path() const { return ZelWstring(path_).toUtf8(); }
  // The column of a place the scanner gives, in the document as it came.
  XMLFileLoc columnOf(XMLFileLoc line, XMLFileLoc column) const {
    return line == idLine_ && idLine_ != 0 ? static_cast<XMLFileLoc>(static_cast<long>(column) - idColumnsAdded_) : column;
  }

  const Locator* locator_ = nullptr;
  long idColumnsAdded_ = 0;
  XMLFileLoc idLine_ = 0;  // the id's last line, once the scanner is past it; 0 before
  std::u16string path_;                // "/a/b/c"
  std::vector<std::size_t> pathEnds_;  // where each open element's part of path_ starts
  std::size_t named_ = 0;              // problems before this one have their element
  std::size_t text_ = 0;
  std::size_t textLimit_ = 0;
  std::vector<ProblemPlace>* places_ = nullptr;  // null: not asked for
  std::vector<std::size_t> openPositions_;
  std::vector<SiblingNames> childNames_;  // per depth
  std::unordered_map<std::u16string, Reference> references_;  // by ID
};

// Xerces-C refuses an xsi:schemaLocation whose URIs do not pair up. The hint
// is not followed, and its type is a list of URIs of any count: no problem.
bool isUnpairedLocationHint(unsigned int code, const XMLCh* domain) {
  return code == XMLErrs::BadSchemaLocation && XMLString::equals(domain, XMLUni::fgXMLErrDomain);
}

// Xerces-C compares the root element with the document type's name even
// where it checks no DTD: naming another root ("<!DOCTYPE record>" before
// <marc:record>) breaks a rule of DTD validity alone.
bool isDocumentTypeOfAnotherRoot(unsigned int code, const XMLCh* domain) {
  return code == XMLValid::RootElemNotLikeDocType && XMLString::equals(domain, XMLUni::fgValidityDomain);
}

// Whether a problem is a string's length, which Xerces-C counts in UTF-16
// units where XML Schema counts characters, and which holds in characters:
// a character beyond U+FFFF counts twice ("value 'a𝄞' has length '3' which
// exceeds maxLength facet value '2'"). Lengths of other kinds (octets of
// binary, items of a list) are never the value's units, nor are lengths of
// values without such characters. (The other way, a value short in
// characters but not in units passes minLength and length unnoticed.)
bool lengthHoldsInCharacters(unsigned int code, const XMLCh* domain, const XMLCh* text) {
  if ((code != XMLExcepts::VALUE_GT_maxLen && code != XMLExcepts::VALUE_NE_Len) ||
      !XMLString::equals(domain, XMLUni::fgExceptDomain))
    return false;
  const std::u16string_view message(text);
  constexpr std::u16string_view kValue = u"value '", kLength = u"' has length '";
  constexpr std::u16string_view kMaxLength = u"' which exceeds maxLength facet value '";
  constexpr std::u16string_view kExact = u"' which is not equal to length facet value '";
  const std::size_t lengthAt = message.rfind(kLength);
  if (message.rfind(kValue, 0) != 0 || lengthAt == std::u16string_view::npos) return false;
  const std::u16string_view value = message.substr(kValue.size(), lengthAt - kValue.size());
  const std::u16string_view rest = message.substr(lengthAt + kLength.size());
  const auto number = [](std::u16string_view digits) {
    std::size_t n = 0;
    for (const char16_t digit : digits) {
      if (digit < u'0' || digit > u'9') return std::optional<std::size_t>();
      n = n * 10 + static_cast<std::size_t>(digit - u'0');
    }
    return digits.empty() ? std::optional<std::size_t>() : std::optional<std::size_t>(n);
  };
  const std::size_t unitsEnd = rest.find(u'\'');
  if (unitsEnd == std::u16string_view::npos || number(rest.substr(0, unitsEnd)) != value.size()) return false;
  const std::u16string_view facet = rest.substr(unitsEnd);
  const bool isMaximum = facet.rfind(kMaxLength, 0) == 0;
  if (!isMaximum && facet.rfind(kExact, 0) != 0) return false;
  const std::u16string_view limitText = facet.substr(isMaximum ? kMaxLength.size() : kExact.size());
  if (limitText.empty() || limitText.back() != u'\'') return false;
  const std::optional<std::size_t> limit = number(limitText.substr(0, limitText.size() - 1));
  const auto characters = static_cast<std::size_t>(u_countChar32(value.data(), static_cast<int32_t>(value.size())));
  if (!limit || characters == value.size()) return false;
  return isMaximum ? characters <= *limit : characters == *limit;
}

// A start tag's attribute of the XML Schema instance namespace of that
// local name (xsi:type, xsi:nil), or null. Scan: the scanner or the reader
// that runs it.
template <class Scan>
const XMLAttr* xsiAttribute(const Scan& scan, const RefVectorOf<XMLAttr>& attributes, XMLSize_t count,
                            const XMLCh* localName) {
  for (XMLSize_t i = 0; i < count; ++i) {
    const XMLAttr* attribute = attributes.elementAt(i);
    const XMLCh* name = attribute->getName();
    if (name[0] == localName[0] && XMLString::equals(name, localName) &&
        XMLString::equals(scan.getURIText(attribute->getURIId()), SchemaSymbols::fgURI_XSI))
      return attribute;
  }
  return nullptr;
}

// Whether a start tag's attributes have xsi:nil true (or 1).
template <class Scan>
bool nilIsTrue(const Scan& scan, const RefVectorOf<XMLAttr>& attributes, XMLSize_t count) {
  const XMLAttr* nil = xsiAttribute(scan, attributes, count, SchemaSymbols::fgATT_NILL);
  const std::u16string_view value = nil ? trimmed(nil->getValue()) : std::u16string_view();
  return value == SchemaSymbols::fgATTVAL_TRUE || value == u"1";
}

// The validator's xsi:type, which Xerces-C drops only when it validates an
// element. Its scanners take an element for one with an xsi:type while any
// is held, even one of no name: lax content's next undeclared element was
// then validated and its attributes refused. Reached through the explicit
// instantiation below, which may name a private member.
template <QName* xercesc::SchemaValidator::*held>
struct HeldXsiType {
  friend QName*& heldXsiTypeOf(xercesc::SchemaValidator& validator) { return validator.*held; }
};
template struct HeldXsiType<&xercesc::SchemaValidator::fXsiType>;
QName*& heldXsiTypeOf(xercesc::SchemaValidator& validator);

// Xerces-C's scanners leave the schema validator's xsi:nil and xsi:type
// where nothing takes them: an element a skip wildcard admits is not
// validated, so its xsi:nil or xsi:type goes to the next element that is
// ("'xsi:nil' specified for non-nillable element", a type it does not derive
// from), and xsi:nil="false" on an element of element content goes to its
// first child. A valid document fails either way. The document handlers
// clear them after each tag, once the element's own validation has used them.
// They also give the validator an xsi:nil of "1" or "0", a boolean's other
// spellings, which Xerces-C refuses ("value '1' invalid for attribute '1'")
// and does not take.
class LeftoverXsiState {
public:
  // An error the scanner reports while it reads a start tag's attributes:
  // whether it was the refusal of xsi:nil="1" or "0", whose value the
  // validator is given instead.
  template <class Scan>
  bool tookNilAsNumber(Scan& scan, unsigned int code, const XMLCh* domain, const XMLCh* text) {
    if (code != XMLErrs::InvalidAttValue || !XMLString::equals(domain, XMLUni::fgXMLErrDomain)) return false;
    // The message quotes the value the whitespace rule left first.
    const std::u16string_view message(text);
    const bool nil = message.rfind(u"value '1' ", 0) == 0;
    if (!nil && message.rfind(u"value '0' ", 0) != 0) return false;
    xercesc::SchemaValidator* schema = schemaValidator(scan);
    if (!schema) return false;
    schema->setNillable(nil);
    return true;
  }

  // After a start tag; an element that is not empty keeps an xsi:nil="true"
  // for its end tag, where its content is checked. Scan: the scanner or the
  // reader that runs it.
  template <class Scan>
  void afterStart(Scan& scan, const RefVectorOf<XMLAttr>& attributes, XMLSize_t count, bool isEmpty) {
    xercesc::SchemaValidator* schema = schemaValidator(scan);
    if (!schema) return;
    if (QName*& type = heldXsiTypeOf(*schema)) {
      delete type;  // made by the validator with its memory manager, which the delete finds
      type = nullptr;
    }
    if (isEmpty || count == 0 || !nilIsTrue(scan, attributes, count)) schema->resetNillable();
  }
  template <class Scan>
  void afterEnd(Scan& scan) {
    if (xercesc::SchemaValidator* schema = schemaValidator(scan)) schema->resetNillable();
  }

private:
  // The scanner's one schema validator, kept once met (its current
  // validator may be the DTD's).
  template <class Scan>
  xercesc::SchemaValidator* schemaValidator(Scan& scan) {
    if (!schema_) {
      XMLValidator* validator = scan.getValidator();
      if (validator && validator->handlesSchema()) schema_ = static_cast<xercesc::SchemaValidator*>(validator);
    }
    return schema_;
  }
  xercesc::SchemaValidator* schema_ = nullptr;
};

// Xerces-C takes an xsi:type naming a simple type on an element declared of
// a complex type without attributes (refused where the type has some): the
// element's text is then checked by the simple type, its children by the
// complex type. No simple type derives from a complex type but xs:anyType,
// so that is refused as Xerces-C refuses it with attributes. Called after
// the start tag (Scan: the scanner or the reader that runs it): the xsi:type
// to refuse, or null.
template <class Scan>
const XMLAttr* simpleXsiTypeOnComplexType(const Scan& scan, const XMLElementDecl& declaration,
                                          const RefVectorOf<XMLAttr>& attributes, XMLSize_t count) {
  if (count == 0 || !declaration.isDeclared()) return nullptr;
  const ComplexTypeInfo* declared = static_cast<const SchemaElementDecl&>(declaration).getComplexTypeInfo();
  const XMLValidator* validator = scan.getValidator();
  if (!declared || !validator || !validator->handlesSchema()) return nullptr;
  const auto& schema = static_cast<const xercesc::SchemaValidator&>(*validator);
  const DatatypeValidator* taken = schema.getCurrentDatatypeValidator();
  if (schema.getCurrentTypeInfo() != declared || !taken || taken == declared->getDatatypeValidator() ||
      schema.getErrorOccurred() ||
      (XMLString::equals(declared->getTypeLocalName(), SchemaSymbols::fgATTVAL_ANYTYPE) &&
       XMLString::equals(declared->getTypeUri(), SchemaSymbols::fgURI_SCHEMAFORSCHEMA)))
    return nullptr;
  return xsiAttribute(scan, attributes, count, SchemaSymbols::fgXSI_TYPE);
}

// The scanner a validator works for, which the reader does not hand out.
class ValidatorsScanner : private XMLValidator {
public:
  static XMLScanner& of(XMLValidator& validator) {
    return *(validator.*static_cast<XMLScanner* (XMLValidator::*)()>(&ValidatorsScanner::getScanner))();
  }
};

// The text between the first two quotes of a message ("type 'xs:anyType'
// specified ..."): what it names. Empty where there is none.
std::u16string_view quotedIn(const XMLCh* text) {
  const std::u16string_view message(text);
  const std::size_t start = message.find(u'\'') + 1, end = message.find(u'\'', start);
  return start == 0 || end == std::u16string_view::npos ? std::u16string_view() : message.substr(start, end - start);
}

// Xerces-C looks for an xsi:type of XML Schema's namespace among its simple
// types alone, so it finds no xs:anyType ("type 'xs:anyType' specified in
// 'xsi:type' cannot be resolved"). On an element declared of xs:anyType
// that names the declared type, which the validator applies all the same;
// elsewhere the refusal stands, as no other type derives xs:anyType.
bool xsiTypeNamesDeclaredAnyType(XMLValidator* validator, unsigned int code, const XMLCh* domain, const XMLCh* text) {
  if (code != XMLValid::BadXsiType || !validator || !validator->handlesSchema() ||
      !XMLString::equals(domain, XMLUni::fgValidityDomain))
    return false;
  // Xerces-C gives an element of xs:anyType neither a complex nor a simple type.
  const auto& schema = *static_cast<xercesc::SchemaValidator*>(validator);
  if (schema.getCurrentTypeInfo() || schema.getCurrentDatatypeValidator()) return false;
  const std::u16string_view name = quotedIn(text);  // the attribute's value
  const std::size_t colon = name.find(u':');
  if (name.substr(colon == std::u16string_view::npos ? 0 : colon + 1) != SchemaSymbols::fgATTVAL_ANYTYPE) return false;
  std::u16string prefix(colon == std::u16string_view::npos ? u"" : name.substr(0, colon));
  const XMLCh* uri = ValidatorsScanner::of(*validator).getValidationContext()->getURIForPrefix(prefix.data());
  return XMLString::equals(uri, SchemaSymbols::fgURI_SCHEMAFORSCHEMA);
}

// The global declaration of an attribute, where a grammar of the pool has one.
const SchemaAttDef* globalAttribute(XMLGrammarPool& pool, const XMLCh* uri, const XMLCh* local) {
  const std::unique_ptr<XMLSchemaDescription> description(pool.createSchemaDescription(uri));
  const xercesc::Grammar* grammar = pool.retrieveGrammar(description.get());
  if (!grammar || grammar->getGrammarType() != xercesc::Grammar::SchemaGrammarType) return nullptr;
  return static_cast<const SchemaAttDef*>(static_cast<const SchemaGrammar*>(grammar)->getAttributeDeclRegistry()->get(local));
}

// Whether an attribute wildcard admits an attribute of the namespace without
// checking its value: skip, or lax where no global declaration has the name.
bool admitsUnchecked(const SchemaAttDef& wildcard, const XMLScanner& scanner, XMLGrammarPool& pool,
                     unsigned int uriId, std::u16string_view local) {
  switch (wildcard.getType()) {
    case XMLAttDef::Any_Any:
      break;
    case XMLAttDef::Any_Other:
      if (uriId == wildcard.getAttName()->getURI() || uriId == scanner.getEmptyNamespaceId()) return false;
      break;
    case XMLAttDef::Any_List:
      if (!wildcard.getNamespaceList() || !wildcard.getNamespaceList()->containsElement(uriId)) return false;
      break;
    default:
      return false;
  }
  if (wildcard.getDefaultType() != XMLAttDef::ProcessContents_Lax)
    return wildcard.getDefaultType() == XMLAttDef::ProcessContents_Skip;
  return !globalAttribute(pool, scanner.getURIText(uriId), std::u16string(local).c_str());
}

// Whether a refusal is one of Xerces-C's checks of decimal, double and float,
// which name no value.
bool namesNoValue(const XMLCh* message) {
  const std::u16string_view text(message);
  return text == u"invalid character encountered" || text == u"empty string encountered" ||
         text == u"more than one decimal point encountered";
}

// Such a refusal with the value and the built-in type it is of ("value
// '1,50' is invalid decimal: invalid character encountered").
std::u16string withValue(std::u16string_view value, const DatatypeValidator& type, const std::u16string& message) {
  const DatatypeValidator* builtIn = &type;
  while (builtIn && !XMLString::equals(builtIn->getTypeUri(), SchemaSymbols::fgURI_SCHEMAFORSCHEMA))
    builtIn = builtIn->getBaseValidator();
  std::u16string text = u"value '" + std::u16string(trimmed(value)) + u"' is invalid";
  if (builtIn && builtIn->getTypeLocalName()) text += u" " + std::u16string(builtIn->getTypeLocalName());
  return text + u": " + message;
}

// An attribute of an element checked as xs:anyType, whose attribute wildcard
// is lax: what is wrong with its value, where a global declaration has its
// name; empty if nothing.
std::u16string laxAttributeProblem(const XMLAttr& attribute, XMLScanner& scanner, XMLGrammarPool& pool) {
  const XMLCh* uri = scanner.getURIText(attribute.getURIId());
  if (XMLString::equals(uri, SchemaSymbols::fgURI_XSI) || XMLString::equals(uri, XMLUni::fgXMLNSURIName)) return {};
  const SchemaAttDef* declaration = globalAttribute(pool, uri, attribute.getName());
  DatatypeValidator* type = declaration ? declaration->getDatatypeValidator() : nullptr;
  if (!type) return {};
  std::u16string value(attribute.getValue());  // its line ends and tabs already spaces
  if (type->getWSFacet() == DatatypeValidator::COLLAPSE) {
    XMLString::collapseWS(value.data());
    value.resize(XMLString::stringLen(value.c_str()));
  }
  try {
    type->validate(value.c_str(), scanner.getValidationContext(), scanner.getMemoryManager());
  } catch (const XMLException& e) {
    return namesNoValue(e.getMessage()) ? withValue(value, *type, e.getMessage()) : std::u16string(e.getMessage());
  }
  if (declaration->getDefaultType() == XMLAttDef::Fixed && type->compare(value.c_str(), declaration->getValue()) != 0)
    return u"value '" + value + u"' of attribute '" + attribute.getQName() + u"' is not its fixed value '" +
           declaration->getValue() + u"'";
  return {};
}

// XML Schema leaves a prohibited attribute out of its type's attributes, so
// the type's attribute wildcard may admit one of that name, which Xerces-C
// refuses as prohibited all the same ("prohibited attribute 'a' is present").
// The refusal is dropped where the wildcard admits it unchecked; where the
// value would be checked against a global declaration, it stands.
bool wildcardAdmitsProhibited(XMLValidator* validator, XMLGrammarPool& pool, unsigned int code, const XMLCh* domain,
                              const XMLCh* text) {
  if (code != XMLValid::ProhibitedAttributePresent || !validator || !validator->handlesSchema() ||
      !XMLString::equals(domain, XMLUni::fgValidityDomain))
    return false;
  const ComplexTypeInfo* type = static_cast<xercesc::SchemaValidator*>(validator)->getCurrentTypeInfo();
  const SchemaAttDef* wildcard = type ? type->getAttWildCard() : nullptr;
  if (!wildcard) return false;
  const std::u16string_view name = quotedIn(text);  // the declaration's name
  const std::u16string_view local = name.substr(name.find(u':') + 1);  // all of it without a prefix
  const XMLScanner& scanner = ValidatorsScanner::of(*validator);
  const XMLAttDefList& attributes = type->getAttDefList();
  bool admitted = false;
  for (XMLSize_t i = 0; i < attributes.getAttDefCount(); ++i) {
    const auto& attribute = static_cast<const SchemaAttDef&>(attributes.getAttDef(i));
    if (attribute.getDefaultType() != XMLAttDef::Prohibited || local != attribute.getAttName()->getLocalPart()) continue;
    if (!admitsUnchecked(*wildcard, scanner, pool, attribute.getAttName()->getURI(), local)) return false;
    admitted = true;
  }
  return admitted;
}

// Xerces-C puts an element's default value in as its content before it
// checks xsi:nil, so an empty element with xsi:nil="true" whose declaration
// has a default is refused ("element 'd' is nil and must be empty"), where
// a nilled element takes no default. The refusal is dropped where nothing
// came between the element's start tag and the refusal (no text, no child);
// a fixed value stays refused, as it must with xsi:nil.
class NilledDefault {
public:
  void started(const XMLElementDecl& declaration) { lastStarted_ = &declaration; }
  void content() { lastStarted_ = nullptr; }

  bool excuses(unsigned int code, const XMLCh* domain) const {
    if (code != XMLValid::NilAttrNotEmpty || !lastStarted_ || !lastStarted_->isDeclared() ||
        !XMLString::equals(domain, XMLUni::fgValidityDomain))
      return false;
    const auto& declaration = static_cast<const SchemaElementDecl&>(*lastStarted_);
    return declaration.getDefaultValue() && !(declaration.getMiscFlags() & SchemaSymbols::XSD_FIXED);
  }

private:
  const XMLElementDecl* lastStarted_ = nullptr;  // null once anything followed its start tag
};

// Xerces-C takes an element whose content is white space alone (`<b> </b>`)
// for an empty one, and checks its declaration's default or fixed value in
// its place (handing it on as the element's text at the end tag). XML
// Schema takes the text, normalised by the type's whitespace rule ("" for an
// xs:boolean, " " for an xs:string): a default does not make `<b> </b>` of
// an xs:boolean valid (libxml2 refuses it, and the parse cannot read it),
// nor does `<f> </f>` match a fixed 7. Watches each element such a value
// constraint applies to, from its start tag to its end tag.
class BlankConstrainedContent {
public:
  template <class Scan>
  void started(const Scan& scan, const XMLElementDecl& declaration, const RefVectorOf<XMLAttr>& attributes,
               XMLSize_t count, bool isEmpty) {
    watched_ = nullptr;  // a child: its parent's content is not blank
    if (isEmpty || !declaration.isDeclared() || declaration.getObjectType() != XMLElementDecl::Schema) return;
    const auto& element = static_cast<const SchemaElementDecl&>(declaration);
    const XMLValidator* validator = scan.getValidator();
    if (!element.getDefaultValue() || !validator || !validator->handlesSchema()) return;
    type_ = static_cast<const xercesc::SchemaValidator*>(validator)->getCurrentDatatypeValidator();
    if (!type_ || nilIsTrue(scan, attributes, count)) return;
    watched_ = &element;
    blanks_.reset();
    valueAt_.reset();
  }
  // Text as the validator hands it on (normalised), the locator where it
  // stands.
  void text(const XMLCh* characters, XMLSize_t length, const Locator& at) {
    if (!watched_) return;
    const std::u16string_view text(characters, length);
    if (text.find_first_not_of(u" \t\r\n") == std::u16string_view::npos && !valueAt_) {
      blanks_ = blanks_.value_or(std::u16string()) + std::u16string(text);
    } else if (!valueAt_) {
      valueAt_ = placeOf(at);
    } else {
      watched_ = nullptr;
    }
  }
  // At an end tag: whether it is a watched element's (any child would have
  // ended the watch; an empty element has no end tag). Then problemAtEnd.
  bool endsWatched() const { return watched_ != nullptr; }
  // What is wrong with the ending element's blanks, where the declaration's
  // value was handed on in their place; empty if nothing.
  std::u16string problemAtEnd(const Locator& at, xercesc::ValidationContext* context, MemoryManager* manager) {
    const SchemaElementDecl& element = *watched_;
    watched_ = nullptr;
    if (!blanks_ || valueAt_ != placeOf(at)) return {};
    std::u16string value = *blanks_;
    if (type_->getWSFacet() == DatatypeValidator::COLLAPSE) value.clear();
    else if (type_->getWSFacet() == DatatypeValidator::REPLACE) value.assign(value.size(), u' ');
    try {
      type_->validate(value.c_str(), context, manager);
    } catch (const XMLException& e) {
      return namesNoValue(e.getMessage()) ? withValue(value, *type_, e.getMessage()) : std::u16string(e.getMessage());
    }
    if ((element.getMiscFlags() & SchemaSymbols::XSD_FIXED) && type_->compare(value.c_str(), element.getDefaultValue(), manager) != 0)
      return u"content of element '" + std::u16string(element.getFullName()) + u"' differs from its declared fixed value";
    return {};
  }

private:
  using Place = std::pair<XMLFileLoc, XMLFileLoc>;
  static Place placeOf(const Locator& at) { return {at.getLineNumber(), at.getColumnNumber()}; }

  const SchemaElementDecl* watched_ = nullptr;  // null once it has a child or text of its own
  DatatypeValidator* type_ = nullptr;
  std::optional<std::u16string> blanks_;  // the blank text it has, once it has any
  std::optional<Place> valueAt_;          // where a text that is not blank came
};

// Whether a problem is one of Xerces-C's refusals of a valid document above.
bool isRefusalOfValidDocument(XMLValidator* validator, XMLGrammarPool& pool, const NilledDefault& nilled,
                              unsigned int code, const XMLCh* domain, const XMLCh* text) {
  return lengthHoldsInCharacters(code, domain, text) || nilled.excuses(code, domain) ||
         isUnpairedLocationHint(code, domain) || isDocumentTypeOfAnotherRoot(code, domain) ||
         xsiTypeNamesDeclaredAnyType(validator, code, domain, text) ||
         wildcardAdmitsProhibited(validator, pool, code, domain, text);
}

// Watches a check that names no element, which costs the valid document
// (the common case) the least: it keeps the depth and text limits and notes
// whether anything was reported. Problems and limits are then worked out by
// a second check with the ProblemCollector, which names their elements; with
// the same scanner settings and the same counts, it finds what this one
// found.
class QuickWatch : public XMLDocumentHandler, public XMLErrorReporter {
public:
  // lendGrammars: called when the scanner has set up the document.
  QuickWatch(XMLGrammarPool& pool, bool elementValues, std::function<void()> lendGrammars)
      : pool_(pool), watchesBlanks_(elementValues), lendGrammars_(std::move(lendGrammars)) {}

  // xsiSeen: whether the scanner has met the XML Schema instance namespace
  // in the document; until it has, no xsi:type or xsi:nil is left to clear.
  void watch(XMLScanner& scanner, const bool& xsiSeen) {
    scanner_ = &scanner;
    xsiSeen_ = &xsiSeen;
  }

  void start(std::size_t documentSize) {
    reported = false;
    depth_ = 0;
    undeclaredDepth_ = 0;
    text_ = 0;
    textLimit_ = documentSize + kEntityTextAllowance;
    undeclared_.clear();
    blank_ = {};
  }

  // Whether anything was reported, or an element a declaration names stands
  // in an undeclared one, or an undeclared element has an attribute a global
  // declaration names: the second check looks at those (LaxContent).
  bool reported = false;
  bool metUndeclared = false;  // an element the grammar does not declare, since the scanner was made

  void startDocument() override { lendGrammars_(); }
  void startElement(const XMLElementDecl& declaration, unsigned int, const XMLCh*,
                    const RefVectorOf<XMLAttr>& attributes, XMLSize_t count, bool isEmpty, bool) override {
    if (depth_ >= SchemaValidator::kMaxElementDepth || !undeclared_.allow(declaration)) throw LimitReached{};
    const bool declared = declaration.isDeclared();
    if ((undeclaredDepth_ != 0 && declared) || (!declared && namesDeclaredAttribute(attributes, count))) reported = true;
    if (!isEmpty) ++depth_;
    if (undeclaredDepth_ == 0 && !declared && !isEmpty) undeclaredDepth_ = depth_;
    metUndeclared = metUndeclared || !declared;
    nilled_.started(declaration);
    if (watchesBlanks_) blank_.started(*scanner_, declaration, attributes, count, isEmpty);
    if (*xsiSeen_) {
      reported = reported || simpleXsiTypeOnComplexType(*scanner_, declaration, attributes, count);
      leftover_.afterStart(*scanner_, attributes, count, isEmpty);
    }
  }
  void endElement(const XMLElementDecl&, unsigned int, bool, const XMLCh*) override {
    if (depth_ == undeclaredDepth_) undeclaredDepth_ = 0;
    --depth_;
    if (blank_.endsWatched() &&
        !blank_.problemAtEnd(*scanner_->getLocator(), scanner_->getValidationContext(), scanner_->getMemoryManager()).empty())
      reported = true;
    nilled_.content();
    if (*xsiSeen_) leftover_.afterEnd(*scanner_);
  }
  // Counts text before the root as well: more than the collector counts,
  // never less.
  void docCharacters(const XMLCh* text, XMLSize_t length, bool) override {
    text_ += length;
    if (text_ > textLimit_) throw LimitReached{};
    nilled_.content();
    if (watchesBlanks_) blank_.text(text, length, *scanner_->getLocator());
  }
  void ignorableWhitespace(const XMLCh* text, XMLSize_t length, bool) override {
    nilled_.content();
    if (watchesBlanks_) blank_.text(text, length, *scanner_->getLocator());
  }
  void docComment(const XMLCh*) override {}
  void docPI(const XMLCh*, const XMLCh*) override {}
  void endDocument() override {}
  void resetDocument() override {}
  void startEntityReference(const XMLEntityDecl&) override {}
  void endEntityReference(const XMLEntityDecl&) override {}
  void XMLDecl(const XMLCh*, const XMLCh*, const XMLCh*, const XMLCh*) override {}

  void error(unsigned int code, const XMLCh* domain, ErrTypes type, const XMLCh* text, const XMLCh*, const XMLCh*,
             XMLFileLoc, XMLFileLoc) override {
    if (scanner_ && leftover_.tookNilAsNumber(*scanner_, code, domain, text)) return;
    if (isRefusalOfValidDocument(scanner_ ? scanner_->getValidator() : nullptr, pool_, nilled_, code, domain, text))
      return;
    reported = reported || type != ErrType_Warning;
  }
  void resetErrors() override {}

private:
  bool namesDeclaredAttribute(const RefVectorOf<XMLAttr>& attributes, XMLSize_t count) const {
    for (XMLSize_t i = 0; i < count; ++i) {
      const XMLAttr& attribute = *attributes.elementAt(i);
      if (globalAttribute(pool_, scanner_->getURIText(attribute.getURIId()), attribute.getName())) return true;
    }
    return false;
  }

  XMLGrammarPool& pool_;
  const bool watchesBlanks_;
  std::function<void()> lendGrammars_;
  XMLScanner* scanner_ = nullptr;
  LeftoverXsiState leftover_;
  NilledDefault nilled_;
  BlankConstrainedContent blank_;
  const bool* xsiSeen_ = nullptr;
  std::size_t depth_ = 0;
  std::size_t undeclaredDepth_ = 0;  // of the outermost open undeclared element; 0 for none
  std::size_t text_ = 0;
  std::size_t textLimit_ = 0;
  UndeclaredNames undeclared_;
};

// Xerces-C's scanners keep a declaration they make for an element the grammar
// does not declare (one a lax wildcard admits) from document to document, and
// find it again in a later document rather than treat the element as new:
// there an xsi:type on an element of that name is no longer checked
// ("<u xsi:type='Len0'>x</u>" is refused the first time and passes after any
// <u> under the wildcard). The scanner for XML Schema alone lets a subclass
// reach its table of them, which is emptied here when a document starts, as
// Xerces-C does for a DTD's; the general scanner's is its own, so a general
// scanner (or reader) that has met such an element checks no other document.
class SchemaOnlyScanner : public SGXMLScanner {
public:
  SchemaOnlyScanner(GrammarResolver* resolver, MemoryManager* memory) : SGXMLScanner(nullptr, resolver, memory) {}

  // True once the document has declared the XML Schema instance namespace:
  // the scanner reads xsi:type and xsi:nil only then.
  const bool& seesXsi() const { return fSeeXsi; }

protected:
  void scanReset(const InputSource& source) override {
    fElemNonDeclPool->removeAll();
    SGXMLScanner::scanReset(source);
  }
};

// The scanner of the check that names no element, driven without the SAX2
// layer and with a grammar resolver of its own. The scanner switches grammars
// by the namespace's text at nearly every start tag, and the resolver looks
// for it in its own table before the table of grammars taken from the pool,
// hashing the text for each: with the pool's grammars lent to its own table
// for the document, the text is hashed once. The resolver empties that table,
// deleting what it holds, when a document starts, so they are lent after that
// and taken back before the next. Lending one and taking it back costs what
// two or three of its lookups save, so only the grammars that documents have
// looked up are lent: those the resolver has taken from the pool (a set's
// documents use some of its grammars; UBL's invoices 8 of 13). Scanner and
// resolver allocate from a pool of their own, which recycles the small blocks
// they free at nearly every element (one thread at a time, unlocked) and takes
// back what Xerces-C loses.
class QuickScanner {
public:
  // schemaOnly: Xerces-C's scanner for XML Schema alone, else its general one;
  // elementValues: whether the grammars declare an element's default or fixed value.
  QuickScanner(XMLGrammarPool& pool, bool schemaOnly, bool elementValues)
      : watch_(pool, elementValues, [this] { lend(); }),
        resolver_(new (&memory_) GrammarResolver(&pool, &memory_)),
        scanner_(schemaOnly ? new (&memory_) SchemaOnlyScanner(resolver_.get(), &memory_)
                            : XMLScannerResolver::resolveScanner(XMLUni::fgIGXMLScanner, nullptr, resolver_.get(), &memory_)),
        forgetsUndeclared_(schemaOnly) {
    for (RefHashTableOfEnumerator<xercesc::Grammar> each = pool.getGrammarEnumerator(); each.hasMoreElements();) {
      each.nextElement();
      ++poolGrammars_;
    }
    grammars_.reserve(poolGrammars_);  // lending never allocates after a scan
    // As the SAX2 reader sets them for the collector's reader.
    scanner_->setURIStringPool(resolver_->getStringPool());
    scanner_->setDocHandler(&watch_);
    static constexpr bool kNotKnown = true;
    watch_.watch(*scanner_, schemaOnly ? static_cast<const SchemaOnlyScanner&>(*scanner_).seesXsi() : kNotKnown);
    scanner_->setErrorReporter(&watch_);
    setUp(*scanner_, kSchemaSettings);
    setUp(*scanner_, kCheckSettings);
    scanner_->setValidationScheme(XMLScanner::Val_Always);
  }

  // Whether the scanner may check another document: the general scanner
  // keeps the declarations of undeclared elements (SchemaOnlyScanner).
  bool reusable() const { return forgetsUndeclared_ || !watch_.metUndeclared; }

  // True when the document passes, nothing reported and no limit reached
  // (security's among them, which the scanner takes in at each document).
  bool passes(const InputSource& source, std::size_t size, SecurityManager& security) {
    watch_.start(size);
    scanner_->setSecurityManager(&security);
    const TakeBack takeBack{*this};
    try {
      scanner_->scanDocument(source);
      return !watch_.reported;
    } catch (const LimitReached&) {
    } catch (const XMLException&) {
    } catch (const OutOfMemoryException&) {
    }
    return false;
  }

private:
  struct TakeBack {
    QuickScanner& scanner;
    ~TakeBack() { scanner.takeBack(); }
  };
  void lend() {
    for (xercesc::Grammar* grammar : grammars_) resolver_->putGrammar(grammar);
    lent_ = true;
  }
  void takeBack() noexcept {
    if (!lent_) return;
    for (xercesc::Grammar* grammar : grammars_) resolver_->orphanGrammar(grammar->getGrammarDescription()->getGrammarKey());
    lent_ = false;
    lendWhatWasTaken();
  }
  // Grammars the document looked up without their being lent are lent from
  // the next document on.
  void lendWhatWasTaken() {
    if (grammars_.size() == poolGrammars_) return;
    RefHashTableOfEnumerator<xercesc::Grammar> taken = resolver_->getReferencedGrammarEnumerator();
    while (taken.hasMoreElements()) {
      xercesc::Grammar& grammar = taken.nextElement();
      if (std::find(grammars_.begin(), grammars_.end(), &grammar) == grammars_.end()) grammars_.push_back(&grammar);
    }
  }

  static constexpr long kMemoryPoolSize = 64 * 1024;  // bytes a block of small allocations
  ZelXmlMemoryManager memory_{kMemoryPoolSize};        // goes after everything the scanner and resolver made
  std::size_t poolGrammars_ = 0;
  std::vector<xercesc::Grammar*> grammars_;  // lent for each document
  bool lent_ = false;
  QuickWatch watch_;
  std::unique_ptr<GrammarResolver> resolver_;
  std::unique_ptr<XMLScanner> scanner_;  // goes before the resolver it uses
  const bool forgetsUndeclared_;
};

namespace {
// Whether the pool holds a grammar of no namespace.
bool hasGrammarOfNoNamespace(XMLGrammarPool& pool) {
  for (RefHashTableOfEnumerator<xercesc::Grammar> each = pool.getGrammarEnumerator(); each.hasMoreElements();)
    if (*each.nextElement().getGrammarDescription()->getGrammarKey() == 0) return true;
  return false;
}
// Whether an element declaration of the pool's grammars has a default or
// fixed value (BlankConstrainedContent has nothing to watch without one).
bool declaresElementValues(XMLGrammarPool& pool) {
  for (RefHashTableOfEnumerator<xercesc::Grammar> each = pool.getGrammarEnumerator(); each.hasMoreElements();) {
    const xercesc::Grammar& grammar = each.nextElement();
    if (grammar.getGrammarType() != xercesc::Grammar::SchemaGrammarType) continue;
    RefHash3KeysIdPoolEnumerator<SchemaElementDecl> elements = static_cast<const SchemaGrammar&>(grammar).getElemEnumerator();
    while (elements.hasMoreElements())
      if (elements.nextElement().getDefaultValue()) return true;
  }
  return false;
}
}  // namespace

// Xerces-C's checks of decimal, double and float (and the types derived from
// them) name no value ("invalid character encountered"), and at a start tag
// not the attribute either. The reader notes such problems and at the next
// tag gives them the value and the built-in type: the element's text at its
// end tag, else the value of the start tag's attribute that its type refuses
// with the same words ("value '1,50' is invalid decimal: invalid character
// encountered"), which also tells the attribute (ProblemCollector).
class ValuelessNumberProblems {
public:
  void clear() {
    pending_.clear();
    text_.clear();
  }
  // contentType: the validator's type of the content it checks (an
  // xsi:type's too), if any.
  void noted(std::size_t index, const XMLCh* message, const DatatypeValidator* contentType) {
    pending_.push_back({index, message, contentType});
  }
  void text(const XMLCh* characters, XMLSize_t length) {
    if (text_.size() < kShown) text_.append(characters, std::min<XMLSize_t>(length, kShown));
  }

  // At a start tag, before its problems are named; an empty element's
  // content was checked with it.
  void atStart(const XMLElementDecl& element, const ComplexTypeInfo* type, const RefVectorOf<XMLAttr>& attributes,
               XMLSize_t count, bool isEmpty, ProblemCollector& collector) {
    std::vector<Pending> content;
    for (const Pending& problem : pending_) {
      bool named = false;
      for (XMLSize_t i = 0; type && i < count && !named; ++i) {
        const XMLAttr& attribute = *attributes.elementAt(i);
        const SchemaAttDef* declaration = type->getAttDef(attribute.getName(), static_cast<int>(attribute.getURIId()));
        DatatypeValidator* valueType = declaration ? declaration->getDatatypeValidator() : nullptr;
        if (!valueType || refusal(*valueType, attribute.getValue()) != problem.message) continue;
        collector.reword(problem.index, toUtf8(withValue(attribute.getValue(), *valueType, problem.message)));
        named = true;
      }
      if (!named && isEmpty) content.push_back(problem);
    }
    pending_ = std::move(content);
    text_.clear();
    if (isEmpty) atEnd(element, collector);
  }
  // At an end tag, for its element's text.
  void atEnd(const XMLElementDecl& element, ProblemCollector& collector) {
    const DatatypeValidator* declared = nullptr;
    if (element.getObjectType() == XMLElementDecl::Schema) {
      const auto& declaration = static_cast<const SchemaElementDecl&>(element);
      const ComplexTypeInfo* complex = declaration.getComplexTypeInfo();
      declared = complex ? complex->getDatatypeValidator() : declaration.getDatatypeValidator();
    }
    for (const Pending& problem : pending_) {
      const DatatypeValidator* type = problem.contentType ? problem.contentType : declared;
      if (type) collector.reword(problem.index, toUtf8(withValue(text_, *type, problem.message)));
    }
    pending_.clear();
  }

private:
  static constexpr std::size_t kShown = 200;  // characters of a value told

  static std::u16string refusal(DatatypeValidator& type, const XMLCh* value) {
    try {
      type.validate(value);
    } catch (const XMLException& e) {
      return e.getMessage();
    }
    return {};
  }

  struct Pending {
    std::size_t index;
    std::u16string message;
    const DatatypeValidator* contentType;
  };
  std::vector<Pending> pending_;
  std::u16string text_;  // of the element open last, as far as it goes
};

// The reader of the check that names problems, noting undeclared elements
// as the QuickWatch does (see SchemaOnlyScanner). Xerces-C loads a
// document's external DTD subset whenever it validates, whatever
// fgXercesLoadExternalDTD says, and finds a document whose subset it cannot
// open invalid: the subset reads as empty here, as for the parse, while an
// external entity is still refused. (Most documents come with the subset's
// id blanked out instead: blankExternalSubsetId.)
class CheckingReader : public SAX2XMLReaderImpl {
public:
  CheckingReader(MemoryManager* memory, XMLGrammarPool* pool) : SAX2XMLReaderImpl(memory, pool), pool_(pool) {
    setLexicalHandler(&noLexicalEvents_);  // without a lexical handler the reader hears of no document type
    setXMLEntityResolver(&refusesEntities_);  // without a resolver it is asked for no entity
  }

  void doctypeDecl(const DTDElementDecl& root, const XMLCh* const publicId, const XMLCh* const systemId,
                   const bool hasInternalSubset, const bool hasExternalSubset) override {
    externalSubset_ = hasExternalSubset && systemId ? systemId : u"";
    if (collector_) collector_->passedId();
    SAX2XMLReaderImpl::doctypeDecl(root, publicId, systemId, hasInternalSubset, hasExternalSubset);
  }

  // Xerces-C asks for the subset once, or twice after an internal subset;
  // an entity of its system id in the content is refused as any other.
  InputSource* resolveEntity(XMLResourceIdentifier* resource) override {
    if (rootStarted_ || externalSubset_.empty() || externalSubset_ != resource->getSystemId())
      return SAX2XMLReaderImpl::resolveEntity(resource);
    return new MemBufInputSource(nullptr, 0, resource->getSystemId(), false);
  }

  bool reusable() const { return !metUndeclared_; }
  // Checks an element written out as a document of its own (UTF-8), with
  // places when asked.
  using ApartCheck = std::function<std::vector<ValidationError>(const std::string& document, std::vector<ProblemPlace>* places)>;
  void checkApartWith(ApartCheck check) { checkApart_ = std::move(check); }
  // The collector is told what the reader reads, its problems and limits.
  void collectInto(ProblemCollector& collector) {
    collector_ = &collector;
    setContentHandler(&collector);
    setErrorHandler(&collector);
  }
  // Whether the last problem of the document read last is a byte the decoder
  // could not read, which Xerces-C places at the start of the block it read.
  bool endedUndecodable() const { return undecodable_; }
  void parseDocument(const InputSource& source) {
    undecodable_ = false;
    parse(source);
  }

  void startDocument() override {
    rootStarted_ = false;
    externalSubset_.clear();
    rootUndeclared_ = false;
    heldAtRoot_.reset();
    undeclared_.clear();
    laxContent_.clear();
    scope_.clear();
    detaching_ = false;
    numbers_.clear();
    blank_ = {};
    SAX2XMLReaderImpl::startDocument();
  }

  void error(unsigned int code, const XMLCh* domain, XMLErrorReporter::ErrTypes type, const XMLCh* text,
             const XMLCh* systemId, const XMLCh* publicId, XMLFileLoc line, XMLFileLoc column) override {
    if (leftover_.tookNilAsNumber(*this, code, domain, text) ||
        isRefusalOfValidDocument(getValidator(), *pool_, nilled_, code, domain, text))
      return;
    undecodable_ = XMLString::equals(domain, XMLUni::fgExceptDomain) && isUndecodableCode(code);
    if (collector_ && namesNoValue(text)) {
      const std::size_t index = collector_->problems.size();
      SAX2XMLReaderImpl::error(code, domain, type, text, systemId, publicId, line, column);
      const xercesc::SchemaValidator* schema = schemaValidator();
      if (collector_->problems.size() > index)
        numbers_.noted(index, text, schema ? schema->getCurrentDatatypeValidator() : nullptr);
      return;
    }
    if (!rootStarted_ && XMLString::equals(domain, XMLUni::fgValidityDomain)) {
      // An undeclared root is said once, with what the schemas declare, at
      // its start tag (Xerces-C: "grammar not found for namespace 'urn:v1'",
      // then "no declaration found for element 'Document'").
      if (code == XMLValid::GrammarNotFound || code == XMLValid::ElementNotDefined) {
        rootUndeclared_ = rootUndeclared_ || code == XMLValid::ElementNotDefined;
        if (!heldAtRoot_)
          heldAtRoot_ = HeldProblem{code, type, text, systemId ? systemId : u"", publicId ? publicId : u"", line, column};
        return;
      }
      // An undeclared root's attributes are undeclared with it, its namespace
      // declarations too, which Xerces-C then names as attributes
      // ('{http://www.w3.org/2000/xmlns/}cac').
      if (rootUndeclared_ && code == XMLValid::AttNotDefinedForElement) return;
    }
    SAX2XMLReaderImpl::error(code, domain, type, text, systemId, publicId, line, column);
  }

  void startElement(const XMLElementDecl& declaration, unsigned int uriId, const XMLCh* prefix,
                    const RefVectorOf<XMLAttr>& attributes, XMLSize_t count, bool isEmpty, bool isRoot) override {
    metUndeclared_ = metUndeclared_ || !declaration.isDeclared();
    if (!undeclared_.allow(declaration)) collector_->limitReached(UndeclaredNames::limit());
    if (isRoot && heldAtRoot_) reportHeldAtRoot(declaration, getURIText(uriId));
    rootStarted_ = true;
    const xercesc::SchemaValidator* schema = schemaValidator();
    numbers_.atStart(declaration, schema ? schema->getCurrentTypeInfo() : nullptr, attributes, count, isEmpty, *collector_);
    const bool startsApart = followLaxContent(declaration, uriId, prefix, attributes, count, isEmpty);
    if (const XMLAttr* xsiType = simpleXsiTypeOnComplexType(*this, declaration, attributes, count))
      collector_->addHere(u"type '" + std::u16string(trimmed(xsiType->getValue())) +
                          u"' specified in 'xsi:type' does not derive from type of element '" + declaration.getFullName() + u"'");
    SAX2XMLReaderImpl::startElement(declaration, uriId, prefix, attributes, count, isEmpty, isRoot);
    if (isRoot && rootUndeclared_) throw UndeclaredRoot{};
    nilled_.started(declaration);
    blank_.started(*this, declaration, attributes, count, isEmpty);
    leftover_.afterStart(*this, attributes, count, isEmpty);
    if (isEmpty && checkApart_) {
      if (startsApart) checkDetached(qualified(prefix, declaration.getBaseName()), true);
      scope_.ended();
    }
  }
  void endElement(const XMLElementDecl& declaration, unsigned int uriId, bool isRoot, const XMLCh* prefix) override {
    numbers_.atEnd(declaration, *collector_);
    if (blank_.endsWatched()) {
      XMLScanner& scanner = ValidatorsScanner::of(*getValidator());
      if (const std::u16string problem =
              blank_.problemAtEnd(*scanner.getLocator(), scanner.getValidationContext(), scanner.getMemoryManager());
          !problem.empty())
        collector_->addHere(problem);
    }
    if (detaching_) {
      const std::u16string qname = qualified(prefix, declaration.getBaseName());
      detached_.end(qname, collector_->here());
      if (detached_.complete()) checkDetached(qname, false);  // the collector has the element open still
    }
    SAX2XMLReaderImpl::endElement(declaration, uriId, isRoot, prefix);
    if (checkApart_) {
      laxContent_.ended();
      scope_.ended();
    }
    nilled_.content();
    leftover_.afterEnd(*this);
  }
  void docCharacters(const XMLCh* text, XMLSize_t length, bool cdata) override {
    nilled_.content();
    blank_.text(text, length, *ValidatorsScanner::of(*getValidator()).getLocator());
    numbers_.text(text, length);
    if (detaching_) detached_.text(text, length);
    SAX2XMLReaderImpl::docCharacters(text, length, cdata);
  }
  void ignorableWhitespace(const XMLCh* text, XMLSize_t length, bool cdata) override {
    nilled_.content();
    blank_.text(text, length, *ValidatorsScanner::of(*getValidator()).getLocator());
    if (detaching_) detached_.text(text, length);
    SAX2XMLReaderImpl::ignorableWhitespace(text, length, cdata);
  }

private:
  // Notes what the scanner made of the element (the validator's state is
  // the element's now) and writes it down where it is to be checked apart;
  // true where such an element starts.
  bool followLaxContent(const XMLElementDecl& declaration, unsigned int uriId, const XMLCh* prefix,
                        const RefVectorOf<XMLAttr>& attributes, XMLSize_t count, bool isEmpty) {
    if (!checkApart_) return false;
    scope_.started(attributes, count);
    XMLValidator& validator = *getValidator();  // the scanner's, which it always has
    const bool xsiTyped = xsiAttribute(*this, attributes, count, SchemaSymbols::fgXSI_TYPE) != nullptr;
    const LaxContent::Kind kind = laxContent_.started(declaration, uriId, xsiTyped, isEmpty,
                                                      schemaValidator(), ValidatorsScanner::of(validator));
    if (detaching_) {
      detached_.startChild(qualified(prefix, declaration.getBaseName()), attributes, count, isEmpty, collector_->here());
      return false;
    }
    if (kind == LaxContent::Kind::Undeclared) {
      for (XMLSize_t i = 0; i < count; ++i) {
        const std::u16string problem = laxAttributeProblem(*attributes.elementAt(i), ValidatorsScanner::of(validator), *pool_);
        if (!problem.empty()) collector_->addHere(problem);
      }
    }
    if (kind != LaxContent::Kind::Apart) return false;
    detached_.start(qualified(prefix, declaration.getBaseName()), attributes, count, isEmpty, scope_, collector_->here());
    detaching_ = true;
    return true;
  }
  void checkDetached(std::u16string_view qname, bool empty) {
    detaching_ = false;
    if (!detached_.whole()) return;
    std::vector<ProblemPlace> places;
    const std::vector<ValidationError> found = checkApart_(detached_.utf8(), collector_->placesProblems() ? &places : nullptr);
    collector_->addDetached(found, places, detached_, qname, empty);
  }
  xercesc::SchemaValidator* schemaValidator() const {
    XMLValidator* validator = getValidator();
    return validator && validator->handlesSchema() ? static_cast<xercesc::SchemaValidator*>(validator) : nullptr;
  }
  static std::u16string qualified(const XMLCh* prefix, const XMLCh* local) {
    return prefix && *prefix ? std::u16string(prefix) + u':' + local : std::u16string(local);
  }

  struct HeldProblem {
    unsigned int code;
    XMLErrorReporter::ErrTypes type;
    std::u16string text, systemId, publicId;
    XMLFileLoc line, column;
  };

  // The held problem at the root's start tag: as Xerces-C said it, or, for a
  // root no schema declares, as one problem naming the root and what the
  // schemas declare of its name (else their namespaces), which tells a
  // document of another schema or version.
  void reportHeldAtRoot(const XMLElementDecl& root, const XMLCh* uri) {
    HeldProblem held = std::move(*heldAtRoot_);
    heldAtRoot_.reset();
    if (rootUndeclared_) {
      const std::u16string_view local = root.getBaseName();
      const std::u16string name = namespacedName(uri, local);
      held.code = XMLValid::ElementNotDefined;
      const std::u16string namesake = globalNamed(*pool_, local);
      held.text = u"the root '" + name + u"' is declared by none of the schemas (" +
                  (namesake.empty() ? u"their namespaces: " + namespacesOf(*pool_) : u"they declare '" + namesake + u"'") +
                  u")";
    }
    SAX2XMLReaderImpl::error(held.code, XMLUni::fgValidityDomain, held.type, held.text.c_str(), held.systemId.c_str(),
                             held.publicId.c_str(), held.line, held.column);
  }

  // "{namespace}local", or the local name alone without a namespace.
  static std::u16string namespacedName(const XMLCh* uri, std::u16string_view local) {
    return uri && *uri ? u"{" + std::u16string(uri) + u"}" + std::u16string(local) : std::u16string(local);
  }

  // A global element of the local name, "{namespace}name", in a grammar of
  // the pool: the schemas' version of a root of another; empty if none.
  static std::u16string globalNamed(XMLGrammarPool& pool, std::u16string_view local) {
    for (RefHashTableOfEnumerator<xercesc::Grammar> each = pool.getGrammarEnumerator(); each.hasMoreElements();) {
      const xercesc::Grammar& grammar = each.nextElement();
      if (grammar.getGrammarType() != xercesc::Grammar::SchemaGrammarType) continue;
      RefHash3KeysIdPoolEnumerator<SchemaElementDecl> elements =
          static_cast<const SchemaGrammar&>(grammar).getElemEnumerator();
      while (elements.hasMoreElements()) {
        const SchemaElementDecl& element = elements.nextElement();
        if (element.getEnclosingScope() != xercesc::Grammar::TOP_LEVEL_SCOPE || local != element.getBaseName()) continue;
        return namespacedName(grammar.getTargetNamespace(), local);
      }
    }
    return {};
  }

  // The target namespaces of the pool's grammars, the first five in order.
  static std::u16string namespacesOf(XMLGrammarPool& pool) {
    std::set<std::u16string> namespaces;
    bool noNamespace = false;
    for (RefHashTableOfEnumerator<xercesc::Grammar> each = pool.getGrammarEnumerator(); each.hasMoreElements();) {
      const XMLCh* target = each.nextElement().getTargetNamespace();
      if (!target || !*target) noNamespace = true;
      else if (!XMLString::equals(target, XMLUni::fgXMLURIName)) namespaces.insert(target);
    }
    std::u16string list = noNamespace ? u"none" : u"";
    std::size_t listed = 0;
    for (const std::u16string& name : namespaces) {
      if (++listed > 5) return list + u", ...";
      list += (list.empty() ? u"" : u", ") + name;
    }
    return list;
  }

  // Refuses every entity: default resolution is off, so Xerces-C reports it.
  class RefusingResolver : public XMLEntityResolver {
  public:
    InputSource* resolveEntity(XMLResourceIdentifier*) override { return nullptr; }
  };

  DefaultHandler noLexicalEvents_;
  RefusingResolver refusesEntities_;
  std::u16string externalSubset_;  // the system id of the document type's external subset
  bool metUndeclared_ = false;
  bool undecodable_ = false;
  bool rootStarted_ = false;
  bool rootUndeclared_ = false;  // no schema declares the root: its check ends after its start tag
  std::optional<HeldProblem> heldAtRoot_;  // what Xerces-C said of the root's name, until its start tag
  LeftoverXsiState leftover_;
  NilledDefault nilled_;
  BlankConstrainedContent blank_;
  UndeclaredNames undeclared_;
  ProblemCollector* collector_ = nullptr;
  XMLGrammarPool* const pool_;
  ApartCheck checkApart_;
  LaxContent laxContent_;
  NamespaceScope scope_;
  DetachedElement detached_;
  bool detaching_ = false;  // writing down an element to be checked apart
  ValuelessNumberProblems numbers_;
};

// One reader validating against the shared grammar, for one thread at a time.
// Xerces-C's scanner for XML Schema alone leaves out what its general one does
// for a DTD at each tag (2 % of a valid document's check), but it skips a
// document type declaration unread (its entities, its default attributes) and
// finds no declaration for a root element of no namespace. The first check
// takes it for a UTF-8 document whose prolog goes on to a start tag, where the
// set has no grammar of no namespace; anything else goes to the general one.
class SchemaValidator::Checker {
public:
  explicit Checker(const SchemaValidator& validator)
      : validator_(validator),
        grammar_(*validator.grammar_),
        hasSchemaOnly_(!hasGrammarOfNoNamespace(*grammar_.pool())),
        declaresElementValues_(declaresElementValues(*grammar_.pool())) {}

  // A reader that checks documents against the grammar within security's
  // limits (read again by setting the property again). It has the validator
  // check apart what lax content holds and the scanner leaves unchecked.
  static std::unique_ptr<CheckingReader> checkingReader(const SchemaValidator& validator, SecurityManager& security) {
    auto reader = std::make_unique<CheckingReader>(XMLPlatformUtils::fgMemoryManager, validator.grammar_->pool());
    setUp(*reader, kSchemaSettings);
    setUp(*reader, kCheckSettings);
    reader->setFeature(XMLUni::fgSAX2CoreValidation, true);
    reader->setFeature(XMLUni::fgXercesDynamic, false);
    reader->setProperty(XMLUni::fgXercesSecurityManager, &security);
    reader->checkApartWith([&validator](const std::string& document, std::vector<ProblemPlace>* places) {
      // Each element so checked is written out again with the one it holds.
      static thread_local std::size_t nesting = 0;
      if (nesting == kMaxApartNesting) {
        if (places) places->assign(1, {});
        return std::vector<ValidationError>{
            {1, 1, "", "elements to be checked apart nested more than " + std::to_string(kMaxApartNesting) + " deep"}};
      }
      ++nesting;
      const struct Unnest {
        ~Unnest() { --nesting; }
      } unnest;
      return validator.validate(document.data(), document.size(), ReadingOfParse{}, places);
    });
    return reader;
  }

  std::vector<ValidationError> check(const void* bytes, std::size_t size, const ReadingOfParse& reading,
                                     std::vector<ProblemPlace>* places) {
    const std::u16string& encoding = reading.scannerEncoding;
    security_.setEntityExpansionLimit(reading.entityExpansionLimit);
    const void* const given = bytes;  // places are counted in it, not in the copy with the id blanked
    if (const std::optional<CrowdedTag> crowded = firstCrowdedTag(bytes, size, encoding)) {
      if (places) places->assign(1, {});
      return {{static_cast<std::uint64_t>(crowded->line), static_cast<std::uint64_t>(crowded->column), "", crowdedTagReason()}};
    }
    std::vector<std::uint8_t> lines;
    const auto copy = [&] {
      if (lines.empty()) lines.assign(static_cast<const std::uint8_t*>(bytes), static_cast<const std::uint8_t*>(bytes) + size);
      bytes = lines.data();
    };
    if (scansNlAsLf(encoding, bytes, size)) {
      copy();
      ::nlToLf(lines.data(), size);
    }
    const std::optional<BlankedId> blanked = blankExternalSubsetId(std::string_view(static_cast<const char*>(bytes), size), encoding, lines);
    if (blanked) bytes = lines.data();
    MemBufInputSource source(static_cast<const XMLByte*>(bytes), size, u"document", false);
    source.setCopyBufToStream(false);
    if (!encoding.empty()) source.setEncoding(encoding.c_str());
    const bool widened = readsAsUtf8(bytes, size, encoding);
    std::unique_ptr<QuickScanner>& first = widened ? firstScanner(bytes, size) : general();
    bool passes = false;
    if (widened) {
      const WidenedUtf8Source wide(bytes, size);
      passes = first->passes(wide, size, security_) && wide.wasUtf8();  // bytes not UTF-8: the second check reads them
    } else {
      passes = first->passes(source, size, security_);
    }
    if (!first->reusable()) first.reset();
    if (passes) {
      if (places) places->clear();
      return {};
    }
    CheckingReader& reader = problemReader();
    reader.setProperty(XMLUni::fgXercesSecurityManager, &security_);
    collector_.start(size, places);
    collector_.blankedId(blanked);
    collector_.scan([&] { reader.parseDocument(source); });
    std::vector<ValidationError> problems = std::move(collector_.problems);
    if (reader.endedUndecodable() && !problems.empty())
      if (const std::optional<Utf8Fault> bad = firstNonUtf8Byte(given, size, encoding))
        problems.back() = {bad->line, bad->column, "", nonUtf8Reason(*bad)};
    // Read in the wrong encoding, or empty, the document has no other problem to tell.
    if (!problems.empty() && encoding.empty()) {
      if (const std::optional<std::string> reason = unreadableDocumentReason(bytes, size)) {
        problems.assign(1, {1, 1, "", *reason});
        if (places) places->assign(1, {});
      }
    }
    if (!reader.reusable()) reader_.reset();
    return problems;
  }

private:
  // For a document readsAsUtf8 accepts.
  std::unique_ptr<QuickScanner>& firstScanner(const void* bytes, std::size_t size) {
    const std::string_view rest = afterProlog(std::string_view(static_cast<const char*>(bytes), size));
    if (!hasSchemaOnly_ || rest.size() < 2 || rest[0] != '<' || rest[1] == '!' || rest[1] == '?') return general();
    if (!schemaOnly_)
      schemaOnly_ = std::make_unique<QuickScanner>(*grammar_.pool(), true, declaresElementValues_);
    return schemaOnly_;
  }
  std::unique_ptr<QuickScanner>& general() {
    if (!general_) general_ = std::make_unique<QuickScanner>(*grammar_.pool(), false, declaresElementValues_);
    return general_;
  }
  CheckingReader& problemReader() {
    if (!reader_) {
      reader_ = checkingReader(validator_, security_);
      reader_->collectInto(collector_);
    }
    return *reader_;
  }

  const SchemaValidator& validator_;
  const Grammar& grammar_;
  SecurityManager security_;  // the limits of the document checked
  const bool hasSchemaOnly_;                  // false where the set has a grammar of no namespace
  const bool declaresElementValues_;
  std::unique_ptr<QuickScanner> schemaOnly_;  // each made when first needed; the general one again after an undeclared element
  std::unique_ptr<QuickScanner> general_;
  std::unique_ptr<CheckingReader> reader_;
  ProblemCollector collector_;
};

SchemaValidator::SchemaValidator(const SchemaDocuments& documents) {
  bool hasRoot = false;
  for (const SchemaDocument& document : documents) hasRoot = hasRoot || document.isRoot;
  if (!hasRoot) throwError(__FILE__, __LINE__, kFunction, ZelMessages::CP_NO_SCHEMA, {"no schema documents kept"});
  startXmlLibraryForProcess();
  runWithLargeStack([&] { grammar_ = std::make_unique<Grammar>(documents); });
}

// The idle readers go before the grammar they use. Xerces-C frees the
// grammar's model groups within each other, as deep as they nest: on the
// stack that built them, whatever thread lets the set go.
SchemaValidator::~SchemaValidator() {
  idle_.clear();
  runWithLargeStack([this] { grammar_.reset(); });
}

std::vector<ValidationError> SchemaValidator::validate(const void* bytes, std::size_t size,
                                                       const ReadingOfParse& reading,
                                                       std::vector<ProblemPlace>* places) const {
  std::unique_ptr<Checker> checker = takeChecker();
  std::vector<ValidationError> problems = checker->check(bytes, size, reading, places);
  giveBack(std::move(checker));
  return problems;
}

std::unique_ptr<SchemaValidator::Checker> SchemaValidator::takeChecker() const {
  {
    std::lock_guard<std::mutex> lock(idleLock_);
    if (!idle_.empty()) {
      std::unique_ptr<Checker> checker = std::move(idle_.back());
      idle_.pop_back();
      return checker;
    }
  }
  return std::make_unique<Checker>(*this);
}

void SchemaValidator::giveBack(std::unique_ptr<Checker> checker) const {
  std::lock_guard<std::mutex> lock(idleLock_);
  idle_.push_back(std::move(checker));
}

namespace {

// The bytes of a document checked in steps, as its source hands them out.
// What the source throws is kept, and the document ends there for the
// scanner, so that the exception need not pass through Xerces-C.
class SteppedInput {
public:
  SteppedInput(std::string_view firstBytes, std::function<std::string_view()> rest, const std::u16string& encoding,
               ProblemCollector& collector)
      : pending_(firstBytes),
        rest_(std::move(rest)),
        collector_(collector),
        nlAsLf_(scansNlAsLf(encoding, firstBytes.data(), firstBytes.size())),
        crowdedTags_(firstBytes, encoding) {
    const std::optional<BlankedId> blanked = blankExternalSubsetId(firstBytes, encoding, blanked_);
    if (blanked) pending_ = std::string_view(reinterpret_cast<const char*>(blanked_.data()), blanked_.size());
    collector_.blankedId(blanked);
    watchCrowdedTags(firstBytes);
  }

  XMLSize_t read(XMLByte* toFill, XMLSize_t maxToRead) {
    while (pending_.empty() && !ended_) {
      try {
        pending_ = rest_();
      } catch (...) {
        failure = std::current_exception();
      }
      ended_ = pending_.empty();
      collector_.allowMoreText(pending_.size());
      watchCrowdedTags(pending_);
    }
    const std::size_t size = std::min<std::size_t>(maxToRead, pending_.size());
    if (size == 0) return 0;  // ended: pending_ may be a view of nothing
    std::memcpy(toFill, pending_.data(), size);
    if (nlAsLf_) ::nlToLf(toFill, size);
    pending_.remove_prefix(size);
    position_ += size;
    return size;
  }
  XMLFilePos position() const { return position_; }

  std::exception_ptr failure;

private:
  // The document ends before the scanner reads an element of too many attributes.
  void watchCrowdedTags(std::string_view part) {
    if (const std::optional<CrowdedTag> tag = crowdedTags_.feed(part)) {
      try {
        translated([&] { throwDocumentRefusal(tag->line, tag->column, crowdedTagReason(), 0, "SteppedInput::read"); });
      } catch (...) {
        failure = std::current_exception();
      }
      pending_ = {};
      ended_ = true;
    }
  }

  std::vector<std::uint8_t> blanked_;  // the first bytes, the external subset's id blanked out
  std::string_view pending_;
  std::function<std::string_view()> rest_;
  ProblemCollector& collector_;
  const bool nlAsLf_;  // EBCDIC line ends
  CrowdedTagWatch crowdedTags_;
  bool ended_ = false;
  XMLFilePos position_ = 0;
};

class SteppedStream : public BinInputStream {
public:
  explicit SteppedStream(SteppedInput& input) : input_(input) {}
  XMLFilePos curPos() const override { return input_.position(); }
  XMLSize_t readBytes(XMLByte* toFill, XMLSize_t maxToRead) override { return input_.read(toFill, maxToRead); }
  const XMLCh* getContentType() const override { return nullptr; }

private:
  SteppedInput& input_;
};

class SteppedSource : public InputSource {
public:
  explicit SteppedSource(SteppedInput& input) : InputSource(u"document"), input_(input) {}
  BinInputStream* makeStream() const override { return new SteppedStream(input_); }  // the scanner adopts it

private:
  SteppedInput& input_;
};

// The collector, knowing when the scanner reads an entity's expansion
// (where its offsets are not the document's).
class SteppedCollector : public ProblemCollector {
public:
  void startEntity(const XMLCh*) override { ++entityDepth; }
  void endEntity(const XMLCh*) override { --entityDepth; }
  int entityDepth = 0;
};

}  // namespace

class SchemaValidator::Stepped final : public SteppedCheck {
public:
  Stepped(const SchemaValidator& validator, std::string_view firstBytes, std::function<std::string_view()> rest,
          const ReadingOfParse& reading)
      : security_(reading.entityExpansionLimit),
        reader_(Checker::checkingReader(validator, security_)),
        input_(firstBytes, std::move(rest), reading.scannerEncoding, collector_),
        source_(input_) {
    reader_->setFeature(XMLUni::fgXercesCalculateSrcOfs, true);
    reader_->collectInto(collector_);
    reader_->setLexicalHandler(&collector_);
    collector_.start(firstBytes.size(), nullptr);  // each later piece allows more text as it comes
    if (!reading.scannerEncoding.empty()) source_.setEncoding(reading.scannerEncoding.c_str());
  }

  bool next() override {
    if (ended_) return false;
    bool more = false;
    collector_.scan([&] {
      more = started_ ? reader_->parseNext(token_) : reader_->parseFirst(source_, token_);
      started_ = true;
      if (more && collector_.entityDepth == 0) checked_ = reader_->getSrcOffset();
    });
    ended_ = !more;
    if (input_.failure) {
      ended_ = true;
      std::rethrow_exception(input_.failure);
    }
    return !ended_;
  }
  std::uint64_t checked() const override { return checked_; }
  const std::vector<ValidationError>& problems() const override { return collector_.problems; }

private:
  // A document's limits from the start.
  struct ExpansionLimit : SecurityManager {
    explicit ExpansionLimit(std::size_t limit) { setEntityExpansionLimit(limit); }
  };

  SteppedCollector collector_;
  ExpansionLimit security_;  // before the reader that uses it
  std::unique_ptr<CheckingReader> reader_;
  SteppedInput input_;
  SteppedSource source_;
  XMLPScanToken token_;
  bool started_ = false;
  bool ended_ = false;
  std::uint64_t checked_ = 0;
};

std::unique_ptr<SteppedCheck> SchemaValidator::checkInSteps(std::string_view firstBytes,
                                                            std::function<std::string_view()> rest,
                                                            const ReadingOfParse& reading) const {
  return std::make_unique<Stepped>(*this, firstBytes, std::move(rest), reading);
}

}  // namespace wfxml::detail
