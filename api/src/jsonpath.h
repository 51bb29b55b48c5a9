#ifndef WFXML_SRC_JSONPATH_H
#define WFXML_SRC_JSONPATH_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wfxml::detail {

// Where the value at hand stands in JSON ("$.doc.$[4].a"), followed event by
// event: objects and arrays as they open and close, keys, values.
class JsonPath {
public:
  void open(bool isArray) { levels_.push_back({isArray, {}, 0}); }
  void key(std::string_view name) { levels_.back().key = name; }
  void close() {
    levels_.pop_back();
    valueDone();
  }
  void valueDone() {
    if (!levels_.empty() && levels_.back().isArray) ++levels_.back().index;
  }

  std::string text() const {
    std::string text = "$";
    for (const Level& level : levels_) {
      if (level.isArray) {
        text += "[" + std::to_string(level.index) + "]";
      } else if (!level.key.empty()) {
        text += "." + level.key;
      }
    }
    return text;
  }

private:
  struct Level {
    bool isArray;
    std::string key;    // of an object's value at hand
    std::size_t index;  // of an array's next value
  };
  std::vector<Level> levels_;
};

}  // namespace wfxml::detail

#endif
