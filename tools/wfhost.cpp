// wfhost: the command-line host of the wire-format plug-ins.
#include "toolsupport.h"
#include "wfxml/wfxml.h"
#include "zelexception.h"

#include <cstring>
#include <exception>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#define WF_COMMAND(name, function, summary) int function(ArgumentList& args);
#include "commands.def"
#undef WF_COMMAND

namespace {
struct Command {
  const char* name;
  int (*run)(ArgumentList& args);
  const char* summary;
};

const Command kCommands[] = {
#define WF_COMMAND(name, function, summary) {name, function, summary},
#include "commands.def"
#undef WF_COMMAND
};

void printUsage(std::ostream& out) {
  out << "usage: wfhost COMMAND [OPTIONS] [ARGUMENTS]\n\ncommands:\n";
  for (const auto& command : kCommands) out << "  " << command.name << "\n      " << command.summary << '\n';
  out << "\nwfhost COMMAND --help describes a command's options; wfhost --version prints the version.\n";
}

const Command* findCommand(const char* name) {
  for (const auto& command : kCommands)
    if (std::strcmp(command.name, name) == 0) return &command;
  return nullptr;
}

// Runs what a command line asks for and turns its failures into the one line
// on stderr and the exit status that wfhost documents. name: the command's,
// for the hint after a usage error.
int runReporting(const char* name, const std::function<int()>& run) {
  int status = kExitUnexpected;
  try {
    status = run();
    flushStdout();
  } catch (const UsageError& e) {
    std::cerr << "wfhost " << name << ": " << e.what() << "\n(wfhost " << name << " --help lists the options)\n";
    status = kExitUsage;
  } catch (const ZelException& e) {
    reportError(std::cerr, e);
    status = kExitHostError;
  } catch (const wfxml::Error& e) {
    reportError(std::cerr, e);
    status = kExitHostError;
  } catch (const std::exception& e) {
    std::cerr << "wfhost: unexpected error: " << e.what() << '\n';
    status = kExitUnexpected;
  } catch (...) {
    std::cerr << "wfhost: unexpected error of unknown type\n";
    status = kExitUnexpected;
  }
  std::cout.flush();
  return status;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    printUsage(std::cerr);
    return kExitUsage;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    return runReporting("--help", [] {
      printUsage(std::cout);
      return kExitOk;
    });
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    return runReporting("--version", [] {
      std::cout << "wfhost " << wfxml::version() << '\n';
      return kExitOk;
    });
  }
  const Command* command = findCommand(argv[1]);
  if (!command) {
    std::cerr << "wfhost: unknown command '" << argv[1] << "'\n";
    printUsage(std::cerr);
    return kExitUsage;
  }
  ArgumentList args(std::vector<std::string>(argv + 2, argv + argc));
  return runReporting(command->name, [&] { return command->run(args); });
}
