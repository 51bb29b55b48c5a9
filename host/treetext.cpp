// treeToText: the indented text form of a MessageTree (declared in messagetree.h).
#include "messagetree.h"

#include "tracetext.h"

namespace {

// Indentation stops growing at this level, so that the text of a very deep
// tree stays linear in its size; deeper lines carry their level instead.
constexpr std::size_t kMaxIndentLevel = 50;

void appendIndent(std::string& out, std::size_t depth) {
  if (depth <= kMaxIndentLevel) {
    out.append(2 * depth, ' ');
    return;
  }
  out.append(2 * kMaxIndentLevel, ' ');
  out += '[' + std::to_string(depth) + "] ";
}

void appendId(std::string& out, const char* label, long value) {
  if (value == -1) return;
  out += ' ';
  out += label;
  out += '=';
  out += std::to_string(value);
}

void appendRecord(std::string& out, const char* label, const WorkerInfoPtr& record) {
  if (!record) return;
  out += ' ';
  out += label;
  out += '=';
  TraceText::appendRecord(out, record.get());
}

void appendElementLine(std::string& out, const MessageTree& tree, const TreeElement& element, std::size_t depth) {
  appendIndent(out, depth);
  const ZelWstring& name = tree.displayName(element);
  if (element.getTagId() != -1) out += '{' + std::to_string(element.getTagId()) + '}';
  if (!name.empty()) out += name.toUtf8();
  if (element.getTagId() == -1 && name.empty()) out += "(anonymous)";
  out += " kind=" + std::to_string(element.getKind());
  if (!element.getNamespaceURI().empty()) out += " ns=" + TraceText::quoted(element.getNamespaceURI());
  appendId(out, "member", element.getMemberId());
  appendId(out, "tagIndex", element.getTagIndex());
  appendId(out, "memberIndex", element.getMemberIndex());
  appendId(out, "type", element.getTypeIndex());
  appendId(out, "itemType", element.getItemTypeIndex());
  appendId(out, "valueType", element.getValueTypeIndex());
  if (!element.getDictionaryRef().empty()) out += " dict=" + TraceText::quoted(element.getDictionaryRef());
  if (element.isBitStream()) out += " bitstream";
  if (element.hasValue()) {
    out += " = ";
    TraceText::appendValue(out, element.getValue());
  }
  appendRecord(out, "start", element.getStartInfo());
  appendRecord(out, "data", element.getDataInfo());
  appendRecord(out, "end", element.getEndInfo());
  out += '\n';
}

}  // namespace

std::string treeToText(const MessageTree& tree) {
  std::string out = "message";
  appendRecord(out, "start", tree.getStartMsgInfo());
  appendRecord(out, "end", tree.getEndMsgInfo());
  out += '\n';
  // Depth first without recursion: down to the first child, else to the
  // next sibling of the nearest ancestor that has one.
  const TreeElement* element = tree.getRoot();
  std::size_t depth = 1;
  while (element) {
    appendElementLine(out, tree, *element, depth);
    if (element->getFirstChild()) {
      element = element->getFirstChild();
      ++depth;
      continue;
    }
    while (element && !element->getNextSibling()) {
      element = element->getParent();
      --depth;
    }
    if (element) element = element->getNextSibling();
  }
  return out;
}
