#include "patternbacktracking.h"

#include "paramname.h"

#include <gtest/gtest.h>

#include <string>

namespace {

enum class Verdict { Bounded, EmptyLoop, Ambiguous };

struct PatternCase {
  const char16_t* pattern;
  Verdict verdict;
};

class PatternBacktracking : public ::testing::TestWithParam<PatternCase> {};

// Patterns Xerces-C's matcher crashes on or never ends (a loop that reads
// nothing) or takes exponential time with (a loop whose text splits in two
// ways), and patterns of the same look that it matches in polynomial time,
// each measured with Xerces-C 3.2 on values of 24 and 300 characters.
TEST_P(PatternBacktracking, RefusesUnboundedMatches) {
  const std::string why = unboundedPatternMatch(GetParam().pattern);
  switch (GetParam().verdict) {
    case Verdict::Bounded: EXPECT_EQ(why, ""); break;
    case Verdict::EmptyLoop: EXPECT_NE(why.find("empty text"), std::string::npos) << why; break;
    case Verdict::Ambiguous: EXPECT_NE(why.find("more than one way"), std::string::npos) << why; break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, PatternBacktracking,
    ::testing::Values(PatternCase{u"(a*)*b", Verdict::EmptyLoop}, PatternCase{u"(a?)+b", Verdict::EmptyLoop},
                      PatternCase{u"(a*b*){2,}c", Verdict::EmptyLoop}, PatternCase{u"(a|a)*b", Verdict::Ambiguous},
                      PatternCase{u"(a+)+b", Verdict::Ambiguous}, PatternCase{u"(\\w|\\d)+!", Verdict::Ambiguous},
                      PatternCase{u"([a-z]+[a-c]?)*x", Verdict::Ambiguous}, PatternCase{u"(a{1,3})*b", Verdict::Ambiguous},
                      // Something follows the repetition, if only an optional part, or the repetition's own
                      // copy holds it (X+ is X then X*): the matcher backtracks into it.
                      PatternCase{u"(a|a)*b?", Verdict::Ambiguous}, PatternCase{u"((a|a)*)+", Verdict::Ambiguous},
                      PatternCase{u"((a|a)*b)*", Verdict::Ambiguous},
                      // Nothing follows: the matcher never backtracks into the repetition.
                      PatternCase{u"(a*)*", Verdict::Bounded}, PatternCase{u"(a?)+", Verdict::Bounded},
                      PatternCase{u"(a*b*){2,}", Verdict::Bounded}, PatternCase{u"(a{1,3})*", Verdict::Bounded},
                      PatternCase{u"(x|(a|a)*)", Verdict::Bounded}, PatternCase{u"(\\s|\\n)+", Verdict::Bounded},
                      PatternCase{u"(\\w+\\s?)+", Verdict::Bounded}, PatternCase{u"(a|a)+", Verdict::Bounded},
                      PatternCase{u"(ab|a)(bc|c)*", Verdict::Bounded},
                      PatternCase{u"(a{3})*", Verdict::Bounded}, PatternCase{u"((a{4})+)", Verdict::Bounded}, PatternCase{u"(ab)*", Verdict::Bounded},
                      PatternCase{u"[A-Za-z0-9]+([\\-_][A-Za-z0-9]+)*", Verdict::Bounded},
                      PatternCase{u".*x.*y", Verdict::Bounded}, PatternCase{u"(a*)?b{0,5}", Verdict::Bounded},
                      PatternCase{u"[0-9]{1,15}(\\.[0-9]{1,3})?", Verdict::Bounded},
                      PatternCase{u"(\\p{Lu}|\\p{Ll})+", Verdict::Bounded}, PatternCase{u"(", Verdict::Bounded}),
    [](const auto& info) {
      const std::u16string_view pattern = info.param.pattern;
      return testNameOf(std::string(pattern.begin(), pattern.end())) + std::to_string(info.index);
    });

}  // namespace
