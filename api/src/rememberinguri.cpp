#include "rememberinguri.h"

#include "anyurivalidator.h"

#include <xercesc/validators/schema/ComplexTypeInfo.hpp>
#include <xercesc/validators/schema/SchemaAttDef.hpp>

#include <mutex>

using namespace xercesc;

namespace wfxml::detail {

// A restriction of an xs:anyURI type without facets of its own.
class RememberedUris::Validator : public AuthorityCheckingUriValidator {
public:
  Validator(DatatypeValidator* restricted, RememberedUris& uris)
      : AuthorityCheckingUriValidator(restricted, nullptr, nullptr, 0, XMLPlatformUtils::fgMemoryManager),
        uris_(uris) {}

protected:
  void checkValueSpace(const XMLCh* content, MemoryManager* manager) override {
    if (uris_.known(content)) return;
    AuthorityCheckingUriValidator::checkValueSpace(content, manager);  // throws for a value that is no URI
    uris_.add(content);
  }

private:
  RememberedUris& uris_;
};

RememberedUris::RememberedUris() = default;
RememberedUris::~RememberedUris() = default;

bool RememberedUris::known(std::u16string_view value) const {
  std::shared_lock<std::shared_mutex> reading(lock_);
  return known_.count(value) != 0;
}

void RememberedUris::add(std::u16string_view value) {
  std::unique_lock<std::shared_mutex> writing(lock_);
  if (known_.size() < kMaxRemembered && known_.count(value) == 0) known_.insert(values_.emplace_back(value));
}

void RememberedUris::takeOver(XMLAttDef& attribute) {
  auto& schemaAttribute = static_cast<SchemaAttDef&>(attribute);
  DatatypeValidator* type = schemaAttribute.getDatatypeValidator();
  if (type == nullptr || type->getType() != DatatypeValidator::AnyURI ||
      dynamic_cast<AnyURIDatatypeValidator*>(type) == nullptr || dynamic_cast<Validator*>(type) != nullptr) {
    return;
  }
  std::unique_ptr<Validator>& restriction = validators_[type];
  if (!restriction) restriction = std::make_unique<Validator>(type, *this);
  schemaAttribute.setDatatypeValidator(restriction.get());
}

void RememberedUris::takeOverAttributes(SchemaGrammar& grammar) {
  if (RefHashTableOf<XMLAttDef>* globals = grammar.getAttributeDeclRegistry()) {
    RefHashTableOfEnumerator<XMLAttDef> each(globals, false);
    while (each.hasMoreElements()) takeOver(each.nextElement());
  }
  const auto takeOverType = [this](ComplexTypeInfo* type) {
    if (type == nullptr || !type->hasAttDefs()) return;
    XMLAttDefList& attributes = type->getAttDefList();
    for (XMLSize_t i = 0; i < attributes.getAttDefCount(); ++i) takeOver(attributes.getAttDef(i));
  };
  if (RefHashTableOf<ComplexTypeInfo>* types = grammar.getComplexTypeRegistry()) {
    RefHashTableOfEnumerator<ComplexTypeInfo> each(types, false);
    while (each.hasMoreElements()) takeOverType(&each.nextElement());
  }
  RefHash3KeysIdPoolEnumerator<SchemaElementDecl> elements = grammar.getElemEnumerator();
  while (elements.hasMoreElements()) takeOverType(elements.nextElement().getComplexTypeInfo());
}

}  // namespace wfxml::detail
