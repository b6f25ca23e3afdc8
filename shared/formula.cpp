#include "shared/formula.h"

#include <cmath>
#include <string_view>
#include <vector>

#include "shared/number_text.h"

namespace kestrava {
namespace {


bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
char ToUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

void UpperCase(std::string& s) {
  for (char& c : s) c = ToUpper(c);
}

int Priority(char op) {
  switch (op) {
    case '*':
    case '/':
      return 2;
    case '+':
    case '-':
      return 1;
    default:
      return 0;
  }
}

}  // namespace

bool CheckInfix(std::string& s) {
  if (s.empty()) return false;
  // The caller's text is normalised first, whether or not it passes the checks below.
  std::erase(s, ' ');
  UpperCase(s);
  int depth = 0;
  for (char c : s) {
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (!(IsDigit(c) || (c >= 'A' && c <= 'Z') || Priority(c) > 0)) {
      // "." and "," are refused too: constants are integers.
      return false;
    }
  }
  // Only the totals are compared here; a ")" before its "(" is caught by the conversion.
  if (depth != 0) return false;
  // Nothing but spaces is as empty as nothing, and must not evaluate to 0.
  return !s.empty() && Priority(s.back()) == 0;
}

std::string NextInfixToken(std::string& s) {
  if (s.empty()) return std::string();
  size_t length = 1;
  if (IsDigit(s[0])) {
    while (length < s.size() && (IsDigit(s[length]) || s[length] == ',' || s[length] == '.')) {
      ++length;
    }
  }
  std::string token = s.substr(0, length);
  s.erase(0, length);
  return token;
}

int OperatorPriority(const std::string& token) {
  return token.size() == 1 ? Priority(token[0]) : 0;
}

bool IsNumber(const std::string& token) {
  long double unused;
  return ParseDecimal(token, unused);
}

bool IsLetter(const std::string& token) {
  return !token.empty() && token[0] >= 'A' && token[0] <= 'Z';
}

bool InfixToPostfix(std::string s, std::string& postfix) {
  if (!CheckInfix(s)) return false;
  std::string out;
  out.reserve(2 * s.size());
  // Everything that reaches the operator stack is one character: "(", an operator, or the
  // bottom mark "!".
  std::vector<char> stack{'!'};
  auto pop = [&stack](char& top) {
    if (stack.empty()) return false;
    top = stack.back();
    stack.pop_back();
    return true;
  };
  while (!s.empty()) {
    const std::string token = NextInfixToken(s);
    if (IsNumber(token) || IsLetter(token)) {
      out += token;
      out += ' ';
    } else if (token == "(") {
      stack.push_back('(');
    } else if (token == ")") {
      char top;
      for (;;) {
        if (!pop(top)) return false;  // a ")" without its "("
        if (top == '(') break;
        out += top;
        out += ' ';
      }
    } else {
      const int priority = OperatorPriority(token);
      // Equal priorities pop too, so operators of one level associate to the left.
      // The bottom mark and "(" have priority 0 and stop this loop.
      while (Priority(stack.back()) >= priority) {
        out += stack.back();
        out += ' ';
        stack.pop_back();
      }
      stack.push_back(token[0]);
    }
  }
  char top;
  for (;;) {
    if (!pop(top)) return false;
    if (top == '!') break;
    out += top;
    out += ' ';
  }
  postfix = std::move(out);
  return true;
}

bool EvaluatePostfix(std::string t, long double& value) {
  // Operands keep the text they were read from; computed results carry no text, as nothing reads
  // it. The bottom entry ("!", 0) is an ordinary operand once reached: "5 - " gives -5.
  std::vector<TFResult> stack;
  stack.reserve(8);
  stack.push_back(TFResult{"!", 0});
  auto pop = [&stack](TFResult& top) {
    if (stack.empty()) return false;
    top = std::move(stack.back());
    stack.pop_back();
    return true;
  };
  long double result = 0;
  std::string_view rest = t;
  while (!rest.empty()) {
    // A text that does not end with a space still ends its last token.
    const size_t space = rest.find(' ');
    const std::string_view token = rest.substr(0, space);
    rest.remove_prefix(space == std::string_view::npos ? rest.size() : space + 1);
    long double number;
    if (ParseDecimal(token, number)) {
      stack.push_back(TFResult{std::string(token), number});
      continue;
    }
    TFResult right, left;
    if (!pop(right) || !pop(left)) return false;
    if (token == "+") {
      result = left.Value + right.Value;
    } else if (token == "-") {
      result = left.Value - right.Value;
    } else if (token == "*") {
      result = left.Value * right.Value;
    } else if (token == "/") {
      if (right.Value == 0) return false;
      result = left.Value / right.Value;
    }
    // Any other token (an unbound variable) leaves the register as it was.
    if (!std::isfinite(result)) return false;  // an overflow is no value
    stack.push_back(TFResult{std::string(), result});
  }
  TFResult top;
  if (!pop(top)) return false;
  value = top.Value;
  return true;
}

std::string FormatFormulaValue(long double value) {
  return FormatGeneral15(value);
}

std::string EvaluateFormulaEntry(
    const std::string& entry, int interval,
    const std::function<std::string(const std::string& oid)>& latestTargetValue) {
  // Fields: label, expression, then one binding "X=oid" per variable; the label is not used here.
  std::string_view fields = entry;
  auto nextField = [&fields]() {
    const size_t comma = fields.find(',');
    const std::string_view field = fields.substr(0, comma);
    fields.remove_prefix(comma == std::string_view::npos ? fields.size() : comma + 1);
    return field;
  };
  nextField();
  std::string expression(nextField());
  UpperCase(expression);
  const std::string seconds = std::to_string(interval);
  for (size_t at = expression.find("$PI"); at != std::string::npos;
       at = expression.find("$PI", at + seconds.size())) {
    expression.replace(at, 3, seconds);
  }
  std::string postfix;
  if (!InfixToPostfix(std::move(expression), postfix)) return std::string(kNull);

  std::string bound, binding, oid;
  while (!fields.empty()) {
    binding.assign(nextField());
    if (binding.empty()) continue;
    UpperCase(binding);
    oid.assign(binding, binding.size() > 2 ? 2 : binding.size());
    const std::string value = latestTargetValue(oid);
    // A value that is missing, or is no number, leaves the formula without a value.
    if (value == kNull || !IsNumber(value)) return std::string(kNull);
    // Only whole tokens are the variable: a value put in earlier may itself hold a letter
    // ("1E+20").
    const char letter = binding[0];
    bound.clear();
    std::string_view rest = postfix;
    while (!rest.empty()) {
      const size_t space = rest.find(' ');
      const std::string_view token = rest.substr(0, space);
      rest.remove_prefix(space == std::string_view::npos ? rest.size() : space + 1);
      if (token.size() == 1 && token[0] == letter) {
        bound += value;
      } else {
        bound += token;
      }
      bound += ' ';
    }
    postfix.swap(bound);
  }
  long double value;
  if (!EvaluatePostfix(std::move(postfix), value)) return std::string(kNull);
  return FormatFormulaValue(value);
}

}  // namespace kestrava
