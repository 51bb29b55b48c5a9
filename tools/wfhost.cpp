// wfhost: the command-line host of the wire-format plug-ins.
#include "toolsupport.h"
#include "wfxml/wfxml.h"
#include "zelexception.h"

#include <cstring>
#include <exception>
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
  out << "\nwfhost COMMAND --help describes a command's options.\n";
}

const Command* findCommand(const char* name) {
  for (const auto& command : kCommands)
    if (std::strcmp(command.name, name) == 0) return &command;
  return nullptr;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    printUsage(argc < 2 ? std::cerr : std::cout);
    return argc < 2 ? kExitUsage : kExitOk;
  }
  const Command* command = findCommand(argv[1]);
  if (!command) {
    std::cerr << "wfhost: unknown command '" << argv[1] << "'\n";
    printUsage(std::cerr);
    return kExitUsage;
  }
  ArgumentList args(std::vector<std::string>(argv + 2, argv + argc));
  int status = kExitUnexpected;
  try {
    status = command->run(args);
    flushStdout();
  } catch (const UsageError& e) {
    std::cerr << "wfhost " << command->name << ": " << e.what() << "\n(wfhost " << command->name
              << " --help lists the options)\n";
    status = kExitUsage;
  } catch (const ZelException& e) {
    reportError(std::cerr, e);
    status = kExitHostError;
  } catch (const wfxml::Error& e) {
    reportError(std::cerr, e);
    status = kExitHostError;
  } catch (const std::exception& e) {
    std::cerr << "wfhost: unexpected error: " << e.what() << '\n';
  } catch (...) {
    std::cerr << "wfhost: unexpected error of unknown type\n";
  }
  std::cout.flush();
  return status;
}
