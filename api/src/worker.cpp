#include "worker.h"

#include "bitstreambuffer.h"
#include "dictionaryinfo.h"
#include "fihandler.h"
#include "fimessagetree.h"
#include "zellog.h"

#include <utility>

namespace wfxml::detail {

Worker::Worker(BitstreamWorkerFactory& factory, const DictionaryInfo* descriptor, const ZelNamedLogSource& owner)
    : worker_(factory.createBitstreamWorker(&owner)) {
  if (descriptor) worker_->setWireFormatDescriptor(descriptor);
}

Worker::~Worker() = default;

namespace {
// The properties a worker reads at every call; it reads the others once.
bool isCodePage(const ZelWstring& name) {
  return name.view() == std::u16string_view(MI_CCSID_STR) || name.view() == std::u16string_view(MI_ENCODING_STR);
}
}  // namespace

Worker::SetUp Worker::setUpOf(const MessageInfo& properties) {
  SetUp setUp;
  for (const auto& [name, value] : properties.properties())
    if (!isCodePage(name)) setUp.emplace(name, value);
  return setUp;
}

// Asked before every call: compares in place rather than building the
// properties' set-up.
bool Worker::isSetUpFor(const SetUp& setUp, const MessageInfo& properties) {
  auto expected = setUp.begin();
  for (const auto& [name, value] : properties.properties()) {
    if (isCodePage(name)) continue;
    if (expected == setUp.end() || expected->first != name || expected->second != value) return false;
    ++expected;
  }
  return expected == setUp.end();
}

bool Worker::canParseWith(const MessageInfo& properties) const {
  return !broken_ && (!parseSetUp_ || isSetUpFor(*parseSetUp_, properties));
}

bool Worker::canWriteWith(const MessageInfo& properties) const {
  return !writeSetUp_ || isSetUpFor(*writeSetUp_, properties);
}

// Copies only properties that changed: a host passes the same ones message
// after message, and a copy costs allocations.
void Worker::keep(MessageInfo& kept, const MessageInfo& properties) {
  if (kept.properties() != properties.properties()) kept = properties;
}

bool Worker::isPlain() const {
  return (!parseSetUp_ || parseSetUp_->empty()) && (!writeSetUp_ || writeSetUp_->empty());
}

void Worker::parse(const void* bytes, std::size_t size, const MessageInfo& properties, FIHandler& handler,
                   const std::vector<long>* path) {
  const BitstreamBuffer buffer(static_cast<const std::uint8_t*>(bytes), size);
  keep(parseProperties_, properties);
  if (!parseSetUp_) parseSetUp_ = setUpOf(properties);
  // Whatever fails from here on leaves the scanner unable to go on.
  broken_ = true;
  worker_->initializeParse(-1, &parseProperties_, 0);
  worker_->setFIHandler(&handler);
  // The worker's own loop over the steps, not one call into it per token.
  worker_->parse(&buffer, path, 0, 0);
  worker_->setFIHandler(nullptr);
  broken_ = false;
}

void Worker::write(const FIMessageTree& tree, const MessageInfo& properties, WritableBitstreamBuffer& out) {
  keep(writeProperties_, properties);
  if (!writeSetUp_) {
    worker_->initializeWrite(&writeProperties_, nullptr, nullptr, nullptr);
    writeSetUp_ = setUpOf(properties);
  }
  worker_->setFIMessageTree(&tree);
  try {
    worker_->write(&out, nullptr, 0);
  } catch (...) {
    worker_->setFIMessageTree(nullptr);
    throw;
  }
  worker_->setFIMessageTree(nullptr);
}

}  // namespace wfxml::detail
