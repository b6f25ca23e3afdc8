#pragma once
// The formula evaluator: an infix expression over single-letter variables "A" to "Z", integer
// constants, "+", "-", "*", "/" and parentheses is checked, normalised and turned into postfix
// text ("A B + 2 * ", every token followed by one space), which is evaluated in long double.
// Numbers kept as text use "." as the decimal separator whatever the locale. Nothing here
// raises: every failure is a false result or the text "Null".
// Thread: any; the functions hold no state.

#include <functional>
#include <string>

namespace kestrava {

// One operand of the evaluation stack.
struct TFResult {
  std::string Text;
  long double Value;
};

// Normalises `s` in place (spaces removed, upper-cased), then validates it. Refuses an empty text,
// unbalanced parentheses, any character but ()*+-/, digits and letters, and a trailing operator.
bool CheckInfix(std::string& s);

// Checks and converts `s` to postfix text; on false `postfix` is left untouched.
bool InfixToPostfix(std::string s, std::string& postfix);

// Evaluates postfix text; on true `value` holds the result. Fails on a stack underflow, a
// division by zero and a result that is not finite.
bool EvaluatePostfix(std::string t, long double& value);

// Removes and returns the first token of a normalised infix text: a run of digits (with "," and
// "."), or any other single character. Returns "" for an empty text.
std::string NextInfixToken(std::string& s);

// "*" and "/" 2, "+" and "-" 1, anything else ("(", the stack bottom "!") 0.
int OperatorPriority(const std::string& token);

// True when the whole token is a decimal floating-point number with "." as separator.
bool IsNumber(const std::string& token);

// True when the token's first character is "A" to "Z".
bool IsLetter(const std::string& token);

// A number in general format with up to 15 significant digits, "." as separator: 1500, 3.5, -5.
std::string FormatFormulaValue(long double value);

// Evaluates one formula entry ("label,expression,bindings,") for one instance: "$PI" becomes
// `interval`, each binding "X=oid" gives variable X the value `latestTargetValue(oid)` returns
// (the newest raw value text of that target for the instance, or "Null" when there is none).
// The result is a number text, or "Null" when a value is missing or the formula fails.
std::string EvaluateFormulaEntry(
    const std::string& entry, int interval,
    const std::function<std::string(const std::string& oid)>& latestTargetValue);

}  // namespace kestrava
