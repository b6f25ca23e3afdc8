// The load-time check of a formula entry: every expression it lets through evaluates to what
// it says, every one it refuses would give "Null" or a wrong number at every poll.
#include "shared/formula_check.h"

#include <gtest/gtest.h>

#include <string>

#include "shared/formula.h"

namespace kestrava {
namespace {

TEST(FormulaCheck, Expressions) {
  const struct {
    const char* expression;
    bool parses;
  } cases[] = {
      {"A", true},
      {"A+B", true},
      {"(A+B)*8/$PI", true},
      {"( a + b ) * 8 / $pi", true},  // blanks and letter case as the evaluator takes them
      {"-5", true},
      {"+A", true},
      {"-A*B+C", true},
      {"(-A)*B", true},
      {"((-A+B))/2", true},
      {"A-B-C", true},
      {"((((A))))", true},
      {"1000000000000", true},
      {"", false},
      {" ", false},
      {"A+", false},
      {"A*", false},
      {"*A", false},
      {"(A", false},
      {"A)", false},
      {")A(", false},
      {"A)+(B", false},
      {"()", false},
      {"A()", false},
      {"A++*B", false},
      {"A B", false},  // two operands: the evaluator keeps only the last
      {"2A", false},
      {"A(B)", false},
      {"(A)(B)", false},
      {"A*-B", false},  // the sign would take the evaluator's bottom entry
      {"A-(-B)", false},
      {"--A", false},
      {"-(-A)", false},
      {"(-A)+(-B)", false},
      {"A.5", false},
      {"1;5", false},
      {"A%B", false},
      {"$PIE", false},
      {"$X", false},
  };
  for (const auto& c : cases) {
    const std::string entry = std::string("L,") + c.expression + ",A=1.1,B=1.2,C=1.3,";
    const std::string fault = FormulaEntryFault(entry);
    if (c.parses) {
      EXPECT_EQ(fault, "") << c.expression;
    } else {
      EXPECT_EQ(fault, std::string("the expression \"") + c.expression + "\" does not parse")
          << c.expression;
    }
  }
}

// What the check lets through, the evaluator computes as ordinary arithmetic.
TEST(FormulaCheck, AcceptedExpressionsEvaluateAsWritten) {
  const struct {
    const char* expression;
    const char* want;  // with A = 12, B = 4, C = 3 and an interval of 5 s
  } cases[] = {
      {"A+B*C", "24"}, {"(A+B)*C", "48"}, {"-A*B+C", "-45"},   {"(-A)*B", "-48"},    {"-A+B", "-8"},
      {"A-B-C", "5"},  {"A/B/C", "1"},    {"A*8/$PI", "19.2"}, {"((-A+B))/2", "-4"}, {"+A", "12"},
  };
  const auto values = [](const std::string& oid) -> std::string {
    return oid == "1.1" ? "12" : oid == "1.2" ? "4" : "3";
  };
  for (const auto& c : cases) {
    const std::string entry = std::string("L,") + c.expression + ",A=1.1,B=1.2,C=1.3,";
    ASSERT_EQ(FormulaEntryFault(entry), "") << c.expression;
    EXPECT_EQ(EvaluateFormulaEntry(entry, 5, values), c.want) << c.expression;
  }
}

TEST(FormulaCheck, Bindings) {
  const struct {
    const char* entry;
    const char* fault;
  } cases[] = {
      {"L,A+B,A=1.1,B=1.2,", ""},
      {"L,a+b,a=1.1,b=1.2,", ""},
      {"L,A,A=1.1,B=1.2,", ""},  // a binding that is not used is harmless
      {"L,5*$PI,", ""},          // no variables, no bindings needed
      {"L,A+B,A=1.1,", "the variable B is not bound"},
      {"L,C*A+B,A=1.1,", "the variable C is not bound"},
      {"L,A,", "the variable A is not bound"},
      {"L,A,B=1.1,", "the variable A is not bound"},
      {"L,A,A1.1,", "the binding \"A1.1\" is not written as LETTER=OID"},
      {"L,A,A=,", "the binding \"A=\" is not written as LETTER=OID"},
      {"L,A,1=1.1,", "the binding \"1=1.1\" is not written as LETTER=OID"},
      {"L,A,A=1.1,,", ""},  // an empty field is skipped, as the evaluator does
      {"L", "the expression \"\" does not parse"},
      {"", "the expression \"\" does not parse"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormulaEntryFault(c.entry), c.fault) << c.entry;
}

// Nesting of any depth is checked without recursion.
TEST(FormulaCheck, DeepNesting) {
  const std::string deep = std::string(200000, '(') + "A" + std::string(200000, ')');
  EXPECT_EQ(FormulaEntryFault("L," + deep + ",A=1.1,"), "");
  const std::string open = std::string(200000, '(') + "A";
  EXPECT_NE(FormulaEntryFault("L," + open + ",A=1.1,"), "");
}

}  // namespace
}  // namespace kestrava
