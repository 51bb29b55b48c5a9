// wfhost parse: runs a document through a wire-format worker, as a host would.
#include "elementkinds.h"
#include "eventtrace.h"
#include "messageinfo.h"
#include "messageset.h"
#include "messagesetsupport.h"
#include "messagetree.h"
#include "stddictionaryinfo.h"
#include "toolsupport.h"
#include "wfxml/host.h"
#include "wfxml/wfxml.h"
#include "zellog.h"

#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {
// --indent is parse's own: of its outputs only the JSON takes it.
constexpr unsigned kSharedGroups = SharedOption::kMessageSet | SharedOption::kInputEncoding |
                                   SharedOption::kProperties | SharedOption::kValidate;

const std::string kHelp = std::string(
    "usage: wfhost parse [--dict D.dict | --schema S.xsd] [--json | --events] [OPTIONS] FILE\n"
    "\n"
    "Parses FILE ('-': stdin) with the XML plug-in and prints the message tree on\n"
    "stdout: as indented text (default), as JSON, or as one line per tree event.\n"
    "Without --dict or --schema the document is parsed self-defining.\n"
    "\n"
    "options:\n"
    "  --json               print the tree as JSON\n"
    "  --indent             with --json: the JSON indented, one member a line (the\n"
    "                       text is indented always, events are one a line)\n"
    "  --events             print the tree events (one line each) instead of a tree\n"
    "  --subtree PATH       parse FILE as one element inside a message: PATH leads\n"
    "                       from a message to that element, as the element names\n"
    "                       the documents use (or member ids) separated by '/'\n"
    "                       (e.g. Payment/Creditor); needs --dict or --schema\n") +
    sharedOptionsHelp(kSharedGroups);

enum class OutputKind { Text, Json, Events };

struct ParseOptions {
  std::string file;
  std::string subtree;
  SharedOptions shared{kSharedGroups};
  OutputKind output = OutputKind::Text;
  bool indent = false;
};

ParseOptions readOptions(ArgumentList& args) {
  ParseOptions options;
  bool outputChosen = false;
  auto chooseOutput = [&](OutputKind kind, const std::string& arg) {
    if (outputChosen && options.output != kind) throw UsageError(arg + " conflicts with the output chosen before");
    options.output = kind;
    outputChosen = true;
  };
  while (!args.empty()) {
    const std::string arg = args.take();
    if (readSharedOption(arg, args, options.shared)) continue;
    if (arg == "--events") {
      chooseOutput(OutputKind::Events, arg);
    } else if (arg == "--json") {
      chooseOutput(OutputKind::Json, arg);
    } else if (arg == "--indent") {
      options.indent = true;
    } else if (arg == "--subtree") {
      options.subtree = args.takeValue(arg);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw unknownOption(arg);
    } else if (options.file.empty()) {
      options.file = arg;
    } else {
      throw UsageError("only one FILE, got '" + options.file + "' and '" + arg + "'");
    }
  }
  if (options.file.empty()) throw UsageError("no FILE given");
  if (options.indent && options.output != OutputKind::Json)
    throw UsageError("--indent indents the JSON of --json: the text tree is indented always, and --events prints "
                     "one line an event");
  refuseStdinTwice(options.shared, options.file);
  if (!options.subtree.empty() && !options.shared.hasMessageSet())
    throw UsageError("--subtree needs --dict or --schema");
  if (options.shared.validate && !options.shared.hasMessageSet())
    throw UsageError("--validate needs --dict or --schema");
  return options;
}

// Whether row of table answers to name: the dictionary's name or the XML
// name documents use (a prefix, as in pay:Amount, is left out).
bool answersTo(const DictTableRefBase& tableRef, long row, std::u16string_view name) {
  const DictTable& table = *tableRef.GetTable();
  const std::size_t colon = name.find(u':');
  if (colon != std::u16string_view::npos) name.remove_prefix(colon + 1);
  const char16_t* rowName = table.GetRowName(row);
  if (rowName && name == rowName) return true;
  const StringTable* xmlNames = table.FindProperty(u"XML", u"XML Name");
  const char16_t* xmlName = xmlNames && xmlNames->HasValue(row) ? xmlNames->GetValue(row) : nullptr;
  return xmlName && name == xmlName;
}

// Whether the member's element holds one value of a simple type as its text,
// bare or beside attributes (no type at all: a string); a value carried in an
// attribute does not count.
bool holdsTextValue(const StdDictionaryInfo& dictionary, long memberIndex) {
  const StringTable* render = dictionary.getStructDefs().GetTable()->FindProperty(u"XML", u"Render");
  if (render && render->HasValue(memberIndex)) {
    const auto how = static_cast<msgset::Render>(render->GetIntValue(memberIndex));
    if (how == msgset::Render::ElementWithValue || how == msgset::Render::ElementWithIdAndValue) return false;
  }
  const long typeIndex = dictionary.getMemberCache().get(memberIndex).typeIndex;
  if (typeIndex < 0) return true;
  const prf_SMD_TYPE_DEFINITION& type = dictionary.getTypeCache().get(typeIndex);
  constexpr long kItems = prf_SMD_TYPE_DEFINITION::eList | prf_SMD_TYPE_DEFINITION::eUnion;
  return type.contentKind == DictCodes::eContentSimple && (type.flags & kItems) == 0;
}

// The member path of --subtree: entries are member ids, or names (as the
// dictionary or the documents name them): a message (its entry is 0)
// followed by members of each one's type.
std::vector<long> resolveSubtreePath(const StdDictionaryInfo& dictionary, const std::string& path) {
  std::vector<long> ids;
  long typeIndex = -1;
  long lastMember = -1;
  std::istringstream entries(path);
  std::string entry;
  while (std::getline(entries, entry, '/')) {
    if (entry.empty()) continue;
    if (entry.find_first_not_of("0123456789") == std::string::npos) {
      const long memberId = ArgumentList::toNumber("--subtree", entry);
      const long memberIndex = dictionary.getStructDefIndexFromMbrID(memberId);
      if (memberIndex < 0) throw UsageError("--subtree: no member with id " + entry);
      typeIndex = dictionary.getMemberCache().get(memberIndex).typeIndex;
      lastMember = memberIndex;
      ids.push_back(memberId);
      continue;
    }
    const ZelWstring name = ZelWstring::fromUtf8(entry);
    long found = -1;
    if (ids.empty()) {
      for (long t = 0; t < dictionary.getTagDefs().GetRowCount() && found < 0; ++t)
        if (answersTo(dictionary.getTagDefs(), t, name.view())) found = t;
      if (found < 0) throw UsageError("--subtree: no element named '" + entry + "'");
      typeIndex = dictionary.getTagCache().get(found).typeIndex;
      ids.push_back(0);
      continue;
    }
    const auto& members = dictionary.getMemberCache();
    const long typeId = typeIndex >= 0 ? dictionary.getTypeCache().get(typeIndex).typeId : 0;
    const long first = typeIndex >= 0 ? dictionary.getTypeCache().get(typeIndex).firstMemberIndex : -1;
    for (long m = first; m >= 0 && m < static_cast<long>(members.size()) && members[m].containingTypeId == typeId; ++m) {
      if (answersTo(dictionary.getStructDefs(), m, name.view())) {
        found = m;
        break;
      }
    }
    if (found < 0) throw UsageError("--subtree: no member named '" + entry + "' where the path leads");
    typeIndex = members[found].typeIndex;
    lastMember = found;
    ids.push_back(members[found].memberId);
  }
  if (ids.empty() || ids.back() <= 0) throw UsageError("--subtree: the path must end at a member");
  // The plug-in parses alone only what holds elements, items or a value in an
  // attribute: a text value fails inside the parse with a message that names
  // no cause.
  if (holdsTextValue(dictionary, lastMember))
    throw UsageError("--subtree: " + path + " holds its value as text, which does not parse alone: the path must "
                     "lead to an element that holds elements, a list or a union");
  return ids;
}

// The events, and the root's name when the parse found no definition for it.
class RootWatchingTrace : public EventTrace {
public:
  using EventTrace::EventTrace;
  using EventTrace::startMessageContent;
  bool startMessageContent(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                           const WorkerInfoPtr& startInfo, long xsiTypeIndex) override {
    if (!rootSeen_ && elementKind == eKindSelfDefiningMessage) undefinedRoot = UndefinedRoot{name, std::u16string(namespaceURI.view())};
    rootSeen_ = true;
    return EventTrace::startMessageContent(name, namespaceURI, elementKind, startInfo, xsiTypeIndex);
  }
  bool startMessageContent(long& tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo, long memberId,
                           long xsiTypeIndex, long tagIndex, long memberIndex) override {
    rootSeen_ = true;
    return EventTrace::startMessageContent(tagId, elementKind, startInfo, memberId, xsiTypeIndex, tagIndex, memberIndex);
  }
  std::optional<UndefinedRoot> undefinedRoot;

private:
  bool rootSeen_ = false;
};

}  // namespace

int runParseCommand(ArgumentList& args) {
  if (args.wantsHelp()) {
    std::cout << kHelp;
    return kExitOk;
  }
  ParseOptions options = readOptions(args);
  iEffectiveLogFilter = options.shared.host.traceLevel;
  MessageInfo properties = inputPropertiesOf(options.shared);
  const std::vector<std::uint8_t> bytes = readFile(options.file);

  const wfxml::MessageSet set = openMessageSet(options.shared);
  if (options.shared.validate) {
    const std::string problems =
        validationReport(options.file, set.validate(bytes.data(), bytes.size(), parseOptionsOf(options.shared)));
    if (!problems.empty()) {
      std::cerr << problems;
      return kExitHostError;
    }
  }
  const StdDictionaryInfo* dictionary = wfxml::host::dictionary(set);
  std::vector<long> path;
  if (!options.subtree.empty()) {
    if (!dictionary) throw UsageError("--subtree needs a standard dictionary");
    path = resolveSubtreePath(*dictionary, options.subtree);
    properties.setIntegerProperty(ZelWstring(MI_SUBTREEBITSTREAM_STR), 1);
  }
  const std::vector<long>* pathArgument = path.empty() ? nullptr : &path;

  // A subtree's element is matched by its path, not as a root.
  const bool watchRoot = dictionary && path.empty();
  wfxml::Session session(set);
  if (options.output == OutputKind::Events) {
    RootWatchingTrace trace(std::cout);
    namingInput(options.file,
                [&] { wfxml::host::parse(session, bytes.data(), bytes.size(), properties, trace, pathArgument); });
    if (watchRoot && trace.undefinedRoot) warnOfUndefinedRoot(options.file, set, *trace.undefinedRoot);
    return kExitOk;
  }
  wfxml::Message message = wfxml::host::emptyMessage(set);
  namingInput(options.file,
              [&] { wfxml::host::parse(session, bytes.data(), bytes.size(), properties, message, pathArgument); });
  const MessageTree& tree = wfxml::host::tree(message);
  if (const std::optional<UndefinedRoot> root = undefinedRootOf(tree); watchRoot && root)
    warnOfUndefinedRoot(options.file, set, *root);
  if (options.output == OutputKind::Text) {
    std::cout << treeToText(tree);
  } else {
    const std::string json = treeToJson(tree);
    std::cout << (options.indent ? indentJson(json) : json) << '\n';
  }
  return kExitOk;
}
