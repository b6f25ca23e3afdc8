// Fuzzes the formula evaluator with the text of a configuration file's formula entry: the check,
// the conversion to postfix and the evaluation must end with a number or "Null", never crash,
// read out of bounds or loop. The first input byte picks the polling interval and the values the
// bindings see, so that numbers of every size meet the arithmetic.

#include <cstddef>
#include <cstdint>
#include <string>

#include "shared/formula.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t selector = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  static const char* const kValues[] = {"0", "1", "-1", "1000", "4294967295",
                                        "18446744073709551615", "1e308", "Null", "abc"};
  const std::string value = kValues[selector % (sizeof kValues / sizeof kValues[0])];
  const int interval = 1 + selector % 7;
  const std::string result = kestrava::EvaluateFormulaEntry(
      text, interval, [&value](const std::string&) { return value; });
  if (result.empty()) __builtin_trap();  // always a number text or "Null"

  // The two stages on their own, as a formula's expression reaches them.
  std::string postfix;
  if (kestrava::InfixToPostfix(text, postfix)) {
    long double number = 0;
    kestrava::EvaluatePostfix(postfix, number);
  }
  long double number = 0;
  kestrava::EvaluatePostfix(text, number);
  return 0;
}
