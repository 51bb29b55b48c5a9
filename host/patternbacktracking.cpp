#include "patternbacktracking.h"

#include "xmllibrary.h"

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/regx/RangeToken.hpp>
#include <xercesc/util/regx/RegularExpression.hpp>
#include <xercesc/util/regx/Token.hpp>

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

using xercesc::Token;

namespace {

class TokenTree : public xercesc::RegularExpression {
public:
  static const Token* of(const xercesc::RegularExpression& expression) {
    return expression.*(&TokenTree::fTokenTree);
  }
};

// What one step of a match reads: one character, or one of a class (DOT,
// RANGE or NRANGE token).
struct CharClass {
  const Token* token = nullptr;
  XMLInt32 ch = 0;
};

bool takes(const Token& token, XMLInt32 ch) {
  if (token.getTokenType() == Token::T_DOT) return ch != 0xA && ch != 0xD;
  return const_cast<xercesc::RangeToken&>(static_cast<const xercesc::RangeToken&>(token)).match(ch);
}

// Whether two classes share a character: exactly in the Basic Multilingual
// Plane, and by every 256th code point above it, where classes are blocks.
class ClassOverlap {
public:
  bool operator()(const CharClass& a, const CharClass& b) {
    if (!a.token) return b.token ? takes(*b.token, a.ch) : a.ch == b.ch;
    if (!b.token) return takes(*a.token, b.ch);
    const std::vector<std::uint64_t>& left = bitsOf(*a.token);
    const std::vector<std::uint64_t>& right = bitsOf(*b.token);
    for (std::size_t i = 0; i < left.size(); ++i)
      if (left[i] & right[i]) return true;
    return false;
  }

private:
  static constexpr XMLInt32 kPlaneEnd = 0x10000;
  static constexpr XMLInt32 kAboveStride = 0x100;
  static constexpr std::size_t kProbes = kPlaneEnd + (0x110000 - kPlaneEnd) / kAboveStride;

  const std::vector<std::uint64_t>& bitsOf(const Token& token) {
    std::vector<std::uint64_t>& bits = bits_[&token];
    if (!bits.empty()) return bits;
    bits.assign((kProbes + 63) / 64, 0);
    for (std::size_t i = 0; i < kProbes; ++i) {
      const auto ch = static_cast<XMLInt32>(i < kPlaneEnd ? i : kPlaneEnd + (i - kPlaneEnd) * kAboveStride);
      if (takes(token, ch)) bits[i / 64] |= std::uint64_t{1} << (i % 64);
    }
    return bits;
  }

  std::map<const Token*, std::vector<std::uint64_t>> bits_;
};

// The pattern as Xerces-C's matcher walks it: states joined by empty moves (a
// choice's branches, a repetition's loop and exit) and by steps that read a
// character. Counted repetitions are unrolled to at most a few required and
// a few optional copies, which keeps whether a loop's text splits in more
// than one way. A repetition that nothing follows (the pattern's last part,
// or the last of such a repetition's own part) Xerces-C compiles as one that
// never backtracks: it matches its part again and again, each time alone,
// until the part matches nothing more or nothing longer, so neither an empty
// part nor a text read in two ways costs it more than a pass. Its part is
// walked once, for the repetitions within it.
class MatchGraph {
public:
  explicit MatchGraph(const Token& root) { add(root, newState(), false, true); }

  std::string verdict() {
    if (emptyLoop_)
      return "a part it repeats without bound can match the empty text, on which Xerces-C's matcher recurses "
             "until the stack overflows";
    if (tooLarge_) return {};
    if (loopsReadAmbiguously())
      return "a part it repeats can match the same text in more than one way, for which Xerces-C's matcher takes "
             "a time exponential in the length of a value that does not match";
    return {};
  }

private:
  static constexpr int kCopiesKept = 3;
  static constexpr std::size_t kMaxStates = 4096;

  struct Step {
    int from;
    int to;
    CharClass reads;
    bool repeated;  // inside a part repeated without bound
  };
  using Reach = std::vector<std::pair<int, int>>;  // steps and the empty paths to them (1, or 2 for more)

  int newState() {
    if (empties_.size() >= kMaxStates) tooLarge_ = true;
    empties_.emplace_back();
    stepsFrom_.emplace_back();
    return static_cast<int>(empties_.size()) - 1;
  }
  void empty(int from, int to) { empties_[from].push_back(to); }
  int step(int from, CharClass reads, bool repeated) {
    const int to = newState();
    stepsFrom_[from].push_back(static_cast<int>(steps_.size()));
    steps_.push_back({from, to, reads, repeated});
    return to;
  }

  // The state after token, walked from state from; last: nothing follows it.
  int add(const Token& token, int from, bool repeated, bool last) {
    if (tooLarge_) return from;
    switch (token.getTokenType()) {
      case Token::T_CHAR:
        return step(from, {nullptr, token.getChar()}, repeated);
      case Token::T_DOT:
      case Token::T_RANGE:
      case Token::T_NRANGE:
        return step(from, {&token, 0}, repeated);
      case Token::T_STRING:
        for (const XMLCh* c = token.getString(); c && *c; ++c) from = step(from, {nullptr, *c}, repeated);
        return from;
      case Token::T_CONCAT:
        for (XMLSize_t i = 0; i < token.size(); ++i)
          from = add(*token.getChild(i), from, repeated, last && i + 1 == token.size());
        return from;
      case Token::T_UNION: {
        const int end = newState();
        for (XMLSize_t i = 0; i < token.size(); ++i) {
          const int branch = newState();
          empty(from, branch);
          empty(add(*token.getChild(i), branch, repeated, last), end);
        }
        return end;
      }
      case Token::T_CLOSURE:
      case Token::T_NONGREEDYCLOSURE:
        return addRepetition(token, from, repeated, last);
      case Token::T_PAREN:
        return add(*token.getChild(0), from, repeated, last);
      default:  // empty, anchors: read nothing
        return from;
    }
  }

  int addRepetition(const Token& token, int from, bool repeated, bool last) {
    const Token& body = *token.getChild(0);
    const int least = std::max(0, token.getMin());
    const int copies = std::min(least, kCopiesKept);
    const bool counted = token.getMax() == least;  // then the last copy is the repetition's end
    for (int i = 0; i < copies; ++i) from = add(body, from, repeated, last && counted && i + 1 == copies);
    const int exit = newState();
    if (token.getMax() < 0) {
      if (last) {  // never backtracks
        const int once = newState();
        empty(from, once);
        empty(from, exit);
        empty(add(body, once, repeated, true), exit);
        return exit;
      }
      if (body.getMinLength() == 0) emptyLoop_ = true;
      const int loop = newState();
      const int bodyStart = newState();
      empty(from, loop);
      empty(loop, bodyStart);
      empty(add(body, bodyStart, true, false), loop);
      empty(loop, exit);
      return exit;
    }
    // Optional copies nest, as Xerces-C compiles them: X{0,2} is (X(X)?)?;
    // the innermost is the repetition's end.
    const int optionals = std::min(token.getMax() - least, kCopiesKept);
    for (int i = 0; i < optionals; ++i) {
      empty(from, exit);
      const int optional = newState();
      empty(from, optional);
      from = add(body, optional, repeated, last && i + 1 == optionals && token.getMax() - least <= kCopiesKept);
    }
    empty(from, exit);
    return exit;
  }

  // The steps that state leads to by empty moves alone (which, with no loop
  // that reads nothing, form no cycle), with how many paths reach each.
  const Reach& reach(int state) {
    if (computed_.empty()) {
      computed_.assign(empties_.size(), false);
      reach_.resize(empties_.size());
    }
    if (computed_[state]) return reach_[state];
    std::map<int, int> counts;
    for (const int s : stepsFrom_[state]) counts[s] = 1;
    for (const int next : empties_[state])
      for (const auto& [s, n] : reach(next)) counts[s] = std::min(2, counts[s] + n);
    computed_[state] = true;
    return reach_[state] = Reach(counts.begin(), counts.end());
  }

  // Whether some step inside a loop leads back to itself along two different
  // paths that read the same text: the search through pairs of steps read
  // together (and whether their paths parted) finds a cycle from a step's pair
  // with itself to the same pair, parted. Only steps inside loops lie on such
  // cycles.
  bool loopsReadAmbiguously() {
    std::vector<int> loopStep(steps_.size(), -1);
    std::vector<int> loopSteps;
    for (std::size_t s = 0; s < steps_.size(); ++s)
      if (steps_[s].repeated) {
        loopStep[s] = static_cast<int>(loopSteps.size());
        loopSteps.push_back(static_cast<int>(s));
      }
    const auto count = static_cast<int>(loopSteps.size());
    std::vector<Reach> next(loopSteps.size());
    for (int i = 0; i < count; ++i)
      for (const auto& [s, n] : reach(steps_[loopSteps[i]].to))
        if (loopStep[s] >= 0) next[i].emplace_back(loopStep[s], n);
    ClassOverlap overlap;
    const auto node = [count](int p, int q, bool parted) { return (p * count + q) * 2 + (parted ? 1 : 0); };
    const auto successors = [&](int n) {
      std::vector<int> out;
      const bool parted = n % 2;
      const int p = n / 2 / count;
      const int q = n / 2 % count;
      for (const auto& [p1, n1] : next[p])
        for (const auto& [q1, n2] : next[q]) {
          if (!overlap(steps_[loopSteps[p1]].reads, steps_[loopSteps[q1]].reads)) continue;
          if (parted || p1 != q1) {
            out.push_back(node(p1, q1, true));
          } else {
            out.push_back(node(p1, p1, false));
            if (n1 > 1) out.push_back(node(p1, p1, true));
          }
        }
      if (parted && p == q) out.push_back(node(p, p, false));  // closes a cycle from the pair's start
      return out;
    };
    const std::vector<int> component = StronglyConnected(2 * count * count, successors, [&](auto visit) {
      for (int r = 0; r < count; ++r) visit(node(r, r, false));
    }).components;
    for (int r = 0; r < count; ++r) {
      const int start = component[node(r, r, false)];
      if (start >= 0 && start == component[node(r, r, true)]) return true;
    }
    return false;
  }

  // Tarjan's strongly connected components of the nodes reachable from the
  // roots, without recursion; -1 for a node not reached.
  struct StronglyConnected {
    template <typename Successors, typename Roots>
    StronglyConnected(int nodes, const Successors& successors, const Roots& roots)
        : components(nodes, -1), index_(nodes, -1), low_(nodes, 0), onStack_(nodes, false) {
      roots([&](int root) {
        if (index_[root] >= 0) return;
        std::vector<std::pair<int, std::vector<int>>> frames;
        const auto enter = [&](int n) {
          index_[n] = low_[n] = next_++;
          stack_.push_back(n);
          onStack_[n] = true;
          frames.emplace_back(n, successors(n));
        };
        enter(root);
        while (!frames.empty()) {
          auto& [n, pending] = frames.back();
          if (!pending.empty()) {
            const int m = pending.back();
            pending.pop_back();
            if (index_[m] < 0) {
              enter(m);
            } else if (onStack_[m]) {
              low_[n] = std::min(low_[n], index_[m]);
            }
            continue;
          }
          const int done = n;
          frames.pop_back();
          if (!frames.empty()) low_[frames.back().first] = std::min(low_[frames.back().first], low_[done]);
          if (low_[done] != index_[done]) continue;
          int member;
          do {
            member = stack_.back();
            stack_.pop_back();
            onStack_[member] = false;
            components[member] = componentCount_;
          } while (member != done);
          ++componentCount_;
        }
      });
    }
    std::vector<int> components;

  private:
    std::vector<int> index_, low_;
    std::vector<bool> onStack_;
    std::vector<int> stack_;
    int next_ = 0;
    int componentCount_ = 0;
  };

  std::vector<std::vector<int>> empties_;
  std::vector<std::vector<int>> stepsFrom_;
  std::vector<Step> steps_;
  std::vector<bool> computed_;
  std::vector<Reach> reach_;
  bool emptyLoop_ = false;
  bool tooLarge_ = false;
};

}  // namespace

const Token* patternTokenTree(const xercesc::RegularExpression& expression) { return TokenTree::of(expression); }

std::string unboundedPatternMatch(std::u16string_view pattern) {
  startXmlLibraryForProcess();
  const std::u16string text(pattern);
  try {
    return unboundedExpressionMatch(
        xercesc::RegularExpression(text.c_str(), u"X", xercesc::XMLPlatformUtils::fgMemoryManager));
  } catch (const xercesc::XMLException&) {
    return {};
  }
}

std::string unboundedExpressionMatch(const xercesc::RegularExpression& expression) {
  const Token* tree = patternTokenTree(expression);
  return tree ? MatchGraph(*tree).verdict() : std::string();
}
