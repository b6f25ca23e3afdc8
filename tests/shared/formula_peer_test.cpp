// Evaluates random formula entries and compares every result with Python's exact rational
// arithmetic (fractions.Fraction) on the same expression.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "shared/formula.h"
#include "snmpd_process.h"

namespace kestrava {
namespace {

// Python's own parser reads the expression with the variables put in; a division by zero
// anywhere is "Null", as it is for the evaluator.
constexpr const char* kReference = R"(import sys
from fractions import Fraction
import re
for line in sys.stdin:
    expression = re.sub(r'(\d+)', r'Fraction(\1)', line.strip())
    try:
        value = eval(expression)
        print(repr(float(value)) if value.denominator != 1 else str(value.numerator))
    except ZeroDivisionError:
        print('Null')
)";

// A random expression without unary signs: binary operators between operands and groups.
std::string RandomExpression(std::mt19937& random, int depth) {
  const char* letters = "ABCD";
  if (depth == 0 || random() % 3 == 0) {
    return random() % 2 ? std::string(1, letters[random() % 4]) : std::to_string(random() % 50);
  }
  const char ops[] = {'+', '-', '*', '/'};
  std::string left = RandomExpression(random, depth - 1);
  std::string right = RandomExpression(random, depth - 1);
  std::string expression = left + ops[random() % 4] + right;
  return random() % 3 == 0 ? "(" + expression + ")" : expression;
}

TEST(FormulaPeerTest, RandomFormulasAgreeWithExactArithmetic) {
  const std::map<std::string, std::string> values = {{"1.3.6.1.2.1.2.2.1.10", "1000"},
                                                     {"1.3.6.1.2.1.2.2.1.16", "0"},
                                                     {"1.3.6.1.2.1.2.2.1.11", "7"},
                                                     {"1.3.6.1.2.1.2.2.1.17", "4294967295"}};
  const std::string bindings =
      "A=1.3.6.1.2.1.2.2.1.10,B=1.3.6.1.2.1.2.2.1.16,C=1.3.6.1.2.1.2.2.1.11,"
      "D=1.3.6.1.2.1.2.2.1.17,";
  const auto lookup = [&values](const std::string& oid) { return values.at(oid); };

  std::mt19937 random(2024);
  std::vector<std::string> expressions, results;
  std::string forPython;
  for (int i = 0; i < 400; ++i) {
    const std::string expression = RandomExpression(random, 4);
    expressions.push_back(expression);
    results.push_back(EvaluateFormulaEntry("F," + expression + "," + bindings, 5, lookup));
    std::string substituted;
    for (char c : expression) {
      const char* value[] = {"1000", "0", "7", "4294967295"};
      substituted += (c >= 'A' && c <= 'D') ? value[c - 'A'] : std::string(1, c);
    }
    forPython += substituted + "\n";
  }

  char folder[] = "/tmp/kestrava-formula-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string script = std::string(folder) + "/reference.py";
  const std::string input = std::string(folder) + "/expressions.txt";
  std::ofstream(script) << kReference;
  std::ofstream(input) << forPython;
  int status = -1;
  const std::string output =
      testing::RunCommand("/usr/bin/python3 " + script + " < " + input + " 2>&1", &status);
  std::filesystem::remove_all(folder);
  ASSERT_EQ(status, 0) << output;

  std::istringstream lines(output);
  std::string want;
  int nulls = 0;
  for (size_t i = 0; i < expressions.size(); ++i) {
    ASSERT_TRUE(std::getline(lines, want)) << "python gave fewer results";
    if (want == "Null") {
      ++nulls;
      EXPECT_EQ(results[i], "Null") << expressions[i];
      continue;
    }
    ASSERT_NE(results[i], "Null") << expressions[i] << " = " << want;
    const long double ours = std::stold(results[i]);
    const long double exact = std::stold(want);
    // 15 significant digits, and room for rounding in a difference of large intermediates.
    EXPECT_LE(std::fabs(ours - exact), 1e-13L * std::fabs(exact) + 1e-9L)
        << expressions[i] << ": " << results[i] << " vs " << want;
  }
  EXPECT_GT(nulls, 0) << "the cases should include divisions by zero";
  EXPECT_LT(nulls, 200);
}

}  // namespace
}  // namespace kestrava
