#ifndef TESTS_TIMESTAMPMASK_H
#define TESTS_TIMESTAMPMASK_H

// The writer opens a document with a comment that holds the time of writing
// and ends in a line feed; tests compare documents with that time masked.

#include <string>
#include <string_view>

// xml with the time of every time-stamp comment replaced by "TIME" (and its
// line feed dropped).
inline std::string maskTimeStamp(std::string xml) {
  constexpr std::string_view kOpening = "<!--VRK Generated XML Output on :";
  constexpr std::string_view kMasked = "<!--VRK Generated XML Output on :TIME-->";
  for (std::size_t at = xml.find(kOpening); at != std::string::npos; at = xml.find(kOpening, at + 1)) {
    const std::size_t lineEnd = xml.find('\n', at + kOpening.size());
    if (lineEnd == std::string::npos) break;
    if (xml.compare(lineEnd + 1, 3, "-->") == 0) xml.replace(at, lineEnd + 4 - at, kMasked);
  }
  return xml;
}

#endif
