#include "markupcontext.h"

void MarkupContext::pass(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    // Character data and attribute values are most of a document: skip to
    // the one unit that ends them.
    if (state_ == State::Content || state_ == State::AttributeValue) {
      i = text.find(state_ == State::Content ? u'<' : quote_, i);
      if (i == std::u16string_view::npos) return;
    }
    step(text[i++]);
  }
}

bool MarkupContext::closes(char16_t unit, char16_t repeated, int needed) {
  if (unit == u'>' && run_ >= needed) return true;
  run_ = unit == repeated ? run_ + 1 : 0;
  return false;
}

bool MarkupContext::opensLiteral(char16_t unit, State literal) {
  if (unit != u'"' && unit != u'\'') return false;
  quote_ = unit;
  state_ = literal;
  return true;
}

void MarkupContext::step(char16_t unit) {
  switch (state_) {
    case State::Content:
      state_ = State::MarkupStart;
      break;
    case State::MarkupStart:
      run_ = 0;
      state_ = unit == u'!'   ? State::MarkupBang
               : unit == u'?' ? State::ProcessingInstruction
               : inSubset_    ? State::Subset  // a declaration: its literals are the subset's
                              : State::Tag;
      break;
    case State::MarkupBang:
      state_ = unit == u'-'   ? State::Comment
               : inSubset_    ? State::Subset
               : unit == u'[' ? State::CData
                              : State::Doctype;
      break;
    case State::Tag:
      if (!opensLiteral(unit, State::AttributeValue) && unit == u'>') state_ = State::Content;
      break;
    case State::AttributeValue:
      state_ = State::Tag;
      break;
    case State::Comment:
      if (closes(unit, u'-', 2)) state_ = outside();
      break;
    case State::ProcessingInstruction:
      if (closes(unit, u'?', 1)) state_ = outside();
      break;
    case State::CData:
      if (closes(unit, u']', 2)) state_ = State::Content;
      break;
    case State::Doctype:
      if (opensLiteral(unit, State::Literal)) break;
      if (unit == u'[' || unit == u'>') {
        inSubset_ = unit == u'[';
        state_ = inSubset_ ? State::Subset : State::Content;
      }
      break;
    case State::Subset:
      if (opensLiteral(unit, State::Literal)) break;
      if (unit == u'<') state_ = State::MarkupStart;
      if (unit == u']') {
        inSubset_ = false;
        state_ = State::Doctype;
      }
      break;
    case State::Literal:
      if (unit == quote_) state_ = inSubset_ ? State::Subset : State::Doctype;
      break;
  }
}
