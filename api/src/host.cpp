#include "wfxml/host.h"

#include "encoding.h"
#include "error.h"
#include "state.h"
#include "widenedutf8.h"

namespace wfxml::host {

MessageSet load(const std::string& dictionaryPath, const LibraryOptions& library) {
  return detail::translatedLoad(dictionaryPath, [&] {
    return MessageSet(
        std::make_shared<const detail::MessageSetState>(library, detail::readDictionaryFile(dictionaryPath)));
  });
}

MessageSet loadBytes(std::vector<std::uint8_t> dictionary, const LibraryOptions& library) {
  return detail::translated([&] {
    return MessageSet(std::make_shared<const detail::MessageSetState>(library, std::move(dictionary)));
  });
}

MessageSet none(const LibraryOptions& library) {
  return detail::translated([&] {
    return MessageSet(std::make_shared<const detail::MessageSetState>(library, std::nullopt));
  });
}

const StdDictionaryInfo* dictionary(const MessageSet& set) { return set.state()->dictionary; }

std::vector<std::string> qualifiedMessageNames(const MessageSet& set) {
  return set.state()->definitions.qualifiedMessageNames();
}

void setEncoding(const std::string& name, MessageInfo& properties) {
  detail::setCodePage(detail::codePageOf(name), properties);
}

MessageTree& tree(Message& message) {
  message.state().changed();  // the host may change it
  return message.state().tree;
}

const MessageTree& tree(const Message& message) { return message.state().tree; }

Message emptyMessage(const MessageSet& set) { return Message(std::make_unique<detail::MessageState>(set)); }

BitstreamWorker& worker(Session& session) {
  detail::SessionState& state = session.state();
  return detail::translated([&]() -> BitstreamWorker& {
    if (!state.worker) state.worker = state.set.state()->takeWorker();
    return state.worker->get();
  });
}

namespace {
// Properties that set no code page are judged as a document is without one
// (byte-order mark, declaration), though a worker keeps a code page it was
// given before: only a document in another code page whose last five bytes
// hold one of 0xC0 or above, short of the bytes a UTF-8 sequence of it
// needs, could be misjudged.
// parse gets the properties to read the bytes with (detail::propertiesToRead).
void parseRefusingBadUtf8(const void* bytes, std::size_t size, const MessageInfo& properties,
                          detail::FunctionRef<void(const MessageInfo&)> parse) {
  const std::optional<MessageInfo> marked = detail::propertiesToRead(properties, bytes, size);
  const MessageInfo& toRead = marked ? *marked : properties;
  detail::parseRefusingBadUtf8(bytes, size, detail::scannerEncodingOf(detail::codePageOf(toRead), bytes, size),
                               "host::parse", [&] { parse(toRead); });
}
}  // namespace

void parse(Session& session, const void* bytes, std::size_t size, const MessageInfo& properties, FIHandler& handler,
           const std::vector<long>* path) {
  detail::translated([&] {
    parseRefusingBadUtf8(bytes, size, properties,
                         [&](const MessageInfo& toRead) { session.state().parse(bytes, size, toRead, handler, path); });
  });
}

void parse(Session& session, const void* bytes, std::size_t size, const MessageInfo& properties, Message& message,
           const std::vector<long>* path) {
  detail::translated([&] {
    try {
      parseRefusingBadUtf8(bytes, size, properties, [&](const MessageInfo& toRead) {
        session.state().parse(bytes, size, toRead, message.state(), path);
      });
    } catch (...) {
      message.state().tree.clear();
      throw;
    }
  });
}

void write(Session& session, const Message& message, const MessageInfo& properties, std::vector<std::uint8_t>& out) {
  detail::translated([&] { session.state().write(message.state(), properties, out); });
}

void write(Session& session, const Message& message, const MessageInfo& properties, WritableBitstreamBuffer& out) {
  detail::translated([&] { session.state().write(message.state(), properties, out); });
}

}  // namespace wfxml::host
