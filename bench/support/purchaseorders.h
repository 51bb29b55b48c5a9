// Generated purchase-order data for the benchmarks, with the message sets
// that describe it. Everything is built in memory; nothing is read from
// disk.
//
// Two shapes:
// - the line batch (parse benchmark): one `batch` message of lines, each an
//   element with an attribute and seven typed children (string, integer,
//   decimal, double, boolean, date), ~130 bytes, nesting depth 3, about 60 %
//   markup;
// - the order list (write benchmark): an `orders` message tree of orders of
//   9 fields and 3 lines each (depth 4; two attributes per order and one per
//   line; strings with a Latin-1 accent and "&" and "<" to escape).
#ifndef BENCH_SUPPORT_PURCHASEORDERS_H
#define BENCH_SUPPORT_PURCHASEORDERS_H

#include "wfxml/wfxml.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The line batch: lines are added while the text is shorter than
// targetBytes, so it ends a line past it.
std::string generateLineBatch(std::size_t targetBytes);
// The line batch's message set, compiled on first use.
const wfxml::MessageSet& lineBatchSet();

// The order list's message set, compiled on first use.
const wfxml::MessageSet& orderListSet();
// An order list of whole orders, the first to reach targetBytes as the
// writer writes it in UTF-8 (an order is about 460 bytes).
std::string generateOrderMessage(std::size_t targetBytes);

// The order list: its message set, a message of 45,000 orders (about 20 MB
// of UTF-8), a message of one order, and the large message's document as the
// writer writes it in UTF-8. Built on first use, kept for the program's life.
class OrderList {
public:
  static constexpr long ORDERS = 45000;
  static constexpr long LINES_PER_ORDER = 3;

  static const OrderList& instance();

  const wfxml::MessageSet& messageSet() const { return orderListSet(); }
  const wfxml::Message& message() const { return message_; }
  const wfxml::Message& smallMessage() const { return smallMessage_; }
  const std::vector<std::uint8_t>& document() const { return document_; }

private:
  OrderList();

  wfxml::Message message_;
  wfxml::Message smallMessage_;
  std::vector<std::uint8_t> document_;
};

#endif
