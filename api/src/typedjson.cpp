// The typed JSON entry points of Session and MessageSet.

#include "state.h"

#include "error.h"
#include "jsontext.h"
#include "typedbuilder.h"
#include "typeddatawriter.h"

namespace wfxml {
namespace detail {
namespace {

const SchemaView* schemaOf(const MessageSet& set) { return set.state()->schema.get(set.state()->dictionary); }

// Builds a message of the session's set from the typed data it is given.
class MessageBuilder final : public Session::Builder {
public:
  MessageBuilder(MessageSet set, const BuildOptions& options) : set_(std::move(set)), options_(options) {}

  void startObject() override { collector_.startObject(); }
  void key(std::string_view name) override { collector_.key(name); }
  void endObject() override { collector_.endObject(); }
  void startArray() override { collector_.startArray(); }
  void endArray() override { collector_.endArray(); }
  void null() override { collector_.null(); }
  void boolean(bool value) override { collector_.boolean(value); }
  void integer(std::int64_t value) override { collector_.integer(value); }
  void bigInteger(std::string_view digits) override { collector_.bigInteger(digits); }
  void decimal(std::string_view digits) override { collector_.decimal(digits); }
  void number(double value) override { collector_.number(value); }
  void string(std::string_view text) override { collector_.string(text); }
  void binary(const std::uint8_t* bytes, std::size_t size) override { collector_.binary(bytes, size); }

  Message finish() override {
    const TypedNode data = collector_.take();
    auto message = std::make_unique<MessageState>(set_);
    translated([&] { buildMessageTree(schemaOf(set_), data, message->tree, options_.check); });
    message->fromTypedData = true;
    message->contentChecked = options_.check;
    return Message(std::move(message));
  }

private:
  MessageSet set_;
  BuildOptions options_;
  TypedNodeCollector collector_;
};

}  // namespace
}  // namespace detail

TypedDataHandler::~TypedDataHandler() = default;

void Session::toTypedData(const Message& message, TypedDataHandler& out) {
  detail::translated([&] { detail::writeTypedData(detail::schemaOf(message.messageSet()), message.state().tree, out); });
}

std::string Session::toJson(const Message& message) {
  std::string json;
  detail::JsonTextWriter writer(json);
  toTypedData(message, writer);
  return json;
}

std::unique_ptr<Session::Builder> Session::typedDataBuilder(const BuildOptions& options) {
  return std::make_unique<detail::MessageBuilder>(messageSet(), options);
}

Message Session::fromJson(std::string_view json, const BuildOptions& options) {
  const std::unique_ptr<Builder> builder = typedDataBuilder(options);
  detail::readJsonText(json, *builder);
  return builder->finish();
}

std::string MessageSet::toJson(const void* xmlBytes, std::size_t size, const ParseOptions& options) const {
  return Session(*this).toJson(xmlBytes, size, options);
}

std::string MessageSet::toJson(const Message& message) const { return Session(*this).toJson(message); }

std::vector<std::uint8_t> MessageSet::fromJson(std::string_view json, const WriteOptions& options) const {
  Session session(*this);
  return session.write(session.fromJson(json, {options.check}), options);
}

}  // namespace wfxml
