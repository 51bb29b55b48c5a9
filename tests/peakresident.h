#ifndef TESTS_PEAKRESIDENT_H
#define TESTS_PEAKRESIDENT_H

// How far the process's resident memory peaks above where it stood, from
// the moment of the object's making: the kernel's peak is reset then
// (/proc/self/clear_refs), so a cost in memory is pinned by growth, not by
// time.

#include <fstream>
#include <optional>
#include <string>

class PeakResidentGrowth {
public:
  PeakResidentGrowth() : reset_(resetPeak()), start_(kib("VmRSS:")) {}
  // None where the peak cannot be reset (not Linux, or not allowed), and
  // under AddressSanitizer, whose quarantine holds on to freed memory.
  std::optional<long> kib() const {
#ifdef __SANITIZE_ADDRESS__
    return std::nullopt;
#else
    if (!reset_ || start_ < 0) return std::nullopt;
    return kib("VmHWM:") - start_;
#endif
  }

private:
  static bool resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5" << std::flush;
    return static_cast<bool>(clear);
  }
  static long kib(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind(field, 0) == 0) return std::stol(line.substr(field.size()));
    return -1;
  }
  bool reset_;
  long start_;
};

#endif
