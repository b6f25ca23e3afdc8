#include "shared/formula_check.h"

#include <string_view>

namespace kestrava {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsVariable(char c) {
  return c >= 'A' && c <= 'Z';
}
char ToUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The expression as the evaluator sees it: upper case, "$PI" a number, no spaces.
std::string Normalise(std::string_view expression) {
  std::string upper;
  for (char c : expression) {
    if (c != ' ') upper += ToUpper(c);
  }
  // One pass: the "1" put in can never be part of another "$PI".
  std::string text;
  for (size_t i = 0; i < upper.size(); ++i) {
    if (upper.compare(i, 3, "$PI") == 0) {
      text += '1';
      i += 2;
    } else {
      text += upper[i];
    }
  }
  return text;
}

// Walks the tokens with one state, expecting an operand or an operator, so that nesting of any
// depth needs no recursion. Letters used go into `used`.
bool Parses(const std::string& text, bool (&used)[26]) {
  bool wantOperand = true;
  bool operandSeen = false;
  bool signSeen = false;
  long depth = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (wantOperand) {
      if (c == '(') {
        ++depth;
      } else if (IsDigit(c)) {
        while (i + 1 < text.size() && IsDigit(text[i + 1])) ++i;
        wantOperand = false;
      } else if (IsVariable(c)) {
        used[c - 'A'] = true;
        wantOperand = false;
      } else if ((c == '+' || c == '-') && !operandSeen && !signSeen) {
        // Combines with the evaluator's bottom entry 0: right only before the first operand.
        signSeen = true;
        continue;
      } else {
        return false;
      }
      if (!wantOperand) operandSeen = true;
    } else if (c == '+' || c == '-' || c == '*' || c == '/') {
      wantOperand = true;
    } else if (c == ')' && depth > 0) {
      --depth;
    } else {
      return false;
    }
  }
  return !wantOperand && depth == 0;
}

std::string_view NextField(std::string_view& fields) {
  const size_t comma = fields.find(',');
  const std::string_view field = fields.substr(0, comma);
  fields.remove_prefix(comma == std::string_view::npos ? fields.size() : comma + 1);
  return field;
}

}  // namespace

std::string FormulaEntryFault(const std::string& entry) {
  std::string_view fields = entry;
  NextField(fields);  // the label
  const std::string_view expression = NextField(fields);
  bool used[26] = {};
  if (!Parses(Normalise(expression), used)) {
    return "the expression \"" + std::string(expression) + "\" does not parse";
  }
  bool bound[26] = {};
  while (!fields.empty()) {
    const std::string_view binding = NextField(fields);
    if (binding.empty()) continue;
    const char letter = ToUpper(binding[0]);
    if (binding.size() < 3 || !IsVariable(letter) || binding[1] != '=') {
      return "the binding \"" + std::string(binding) + "\" is not written as LETTER=OID";
    }
    bound[letter - 'A'] = true;
  }
  // Reported in the order of the expression, as the user reads it.
  for (char c : Normalise(expression)) {
    if (IsVariable(c) && !bound[c - 'A']) return std::string("the variable ") + c + " is not bound";
  }
  return std::string();
}

}  // namespace kestrava
