#include "shared/formula.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "shared/instance_helpers.h"

namespace kestrava {
namespace {

TEST(FormulaTest, CheckInfixNormalisesOrRefuses) {
  const struct {
    std::string in;
    bool ok;
    std::string normal;  // the caller's text afterwards
  } cases[] = {
      {"a + b*2", true, "A+B*2"}, {"(A+B)*2", true, "(A+B)*2"},
      {"A)+(B", true, "A)+(B"},  // only the totals of the parentheses are checked here
      {"-5", true, "-5"},         {"", false, ""},
      {"   ", false, ""},   // nothing left once the spaces are gone
      {"a+", false, "A+"},  // normalised even when refused
      {"A*", false, "A*"},        {"A-", false, "A-"},
      {"A/ ", false, "A/"},       {"(a", false, "(A"},
      {"A)", false, "A)"},        {"a.5", false, "A.5"},  // constants are integers
      {"1,5", false, "1,5"},      {"A^2", false, "A^2"},
      {"A\t+B", false, "A\t+B"},  // only spaces are removed
      {"$pi", false, "$PI"},
  };
  for (const auto& c : cases) {
    std::string s = c.in;
    EXPECT_EQ(CheckInfix(s), c.ok) << '"' << c.in << '"';
    EXPECT_EQ(s, c.normal) << '"' << c.in << '"';
  }
}

TEST(FormulaTest, InfixToPostfixKeepsPriorityAndLeftAssociation) {
  const struct {
    std::string infix;
    std::string postfix;  // "" when the conversion refuses
  } cases[] = {
      {"a + b*2", "A B 2 * + "},
      {"(A+B)*2", "A B + 2 * "},
      {"A-B-C", "A B - C - "},
      {"A/B*C", "A B / C * "},
      {"A*(B-(C+D))/E", "A B C D + - * E / "},
      {"-5", "5 - "},
      {"+7", "7 + "},
      {"120+AB", "120 A B + "},  // every letter is an operand of its own
      {"A*8/5", "A 8 * 5 / "},
      {"A)+(B", ""},  // a ")" without its "("
      {")A(", ""},
      {"A+", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    std::string postfix = "untouched";
    EXPECT_EQ(InfixToPostfix(c.infix, postfix), !c.postfix.empty()) << c.infix;
    EXPECT_EQ(postfix, c.postfix.empty() ? "untouched" : c.postfix) << c.infix;
  }
}

TEST(FormulaTest, EvaluatePostfix) {
  const struct {
    std::string postfix;
    bool ok;
    long double value;
  } cases[] = {
      {"10 4 - ", true, 6},
      {"7 2 / ", true, 3.5L},
      {"5 - ", true, -5},  // the stack bottom is 0
      {"2 3 4 * + ", true, 14},
      {"1000 500 + ", true, 1500},
      {"4294967295 1 + ", true, 4294967296.0L},
      {"-5 3 * ", true, -15},
      {"1.5 2 * ", true, 3},
      {"1e3 1 + ", true, 1001},
      {"9 ", true, 9},
      {"1 2 ", true, 2},     // entries below the top are ignored
      {"", true, 0},         // only the stack bottom
      {"8 2 / 3", true, 3},  // a text without its final space still ends its last token
      {"10 0 / ", false, 0},
      {"10 0.0 / ", false, 0},
      {"+ + ", false, 0},              // underflow
      {"A 2 + ", false, 0},            // an unbound variable exhausts the stack
      {"1e5000 1 + ", false, 0},       // a number that does not fit is no number
      {"1e4931 1e4931 * ", false, 0},  // an overflow is no value
  };
  for (const auto& c : cases) {
    long double value = -1;
    EXPECT_EQ(EvaluatePostfix(c.postfix, value), c.ok) << c.postfix;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.postfix;
    }
  }
}

TEST(FormulaTest, EvaluatePostfixKeepsExtendedPrecision) {
  // 2^63 + 1 needs the 64-bit mantissa of long double; a double would lose the 1.
  long double value = 0;
  ASSERT_TRUE(EvaluatePostfix("9223372036854775808 1 + 9223372036854775808 - ", value));
  EXPECT_EQ(value, 1);
}

TEST(FormulaTest, TokensPrioritiesAndOperandTests) {
  std::string s = "12,5.3+AB(";
  EXPECT_EQ(NextInfixToken(s), "12,5.3");
  EXPECT_EQ(NextInfixToken(s), "+");
  EXPECT_EQ(NextInfixToken(s), "A");
  EXPECT_EQ(NextInfixToken(s), "B");
  EXPECT_EQ(NextInfixToken(s), "(");
  EXPECT_EQ(NextInfixToken(s), "");
  EXPECT_EQ(s, "");

  for (const char* op : {"*", "/"}) EXPECT_EQ(OperatorPriority(op), 2) << op;
  for (const char* op : {"+", "-"}) EXPECT_EQ(OperatorPriority(op), 1) << op;
  for (const char* op : {"(", "!", "", "**"}) EXPECT_EQ(OperatorPriority(op), 0) << op;

  for (const char* yes :
       {"0", "42", "-5", "+5", "3.5", ".5", "5.", "1e3", "1E-3", "-0", "18446744073709551616"}) {
    EXPECT_TRUE(IsNumber(yes)) << yes;
  }
  for (const char* no : {"", "-", "+", ".", "1,5", "1.5.2", " 1", "1 ", "inf", "nan", "0x10", "--5",
                         "+-5", "1e", "Null", "A", "1e99999"}) {
    EXPECT_FALSE(IsNumber(no)) << no;
  }
  for (const char* yes : {"A", "Z", "AB", "X1"}) EXPECT_TRUE(IsLetter(yes)) << yes;
  for (const char* no : {"", "a", "1", "(", "$"}) EXPECT_FALSE(IsLetter(no)) << no;
}

TEST(FormulaTest, FormatUsesGeneralFormatWithFifteenDigits) {
  const struct {
    long double value;
    const char* text;
  } cases[] = {
      {1500, "1500"},
      {3.5L, "3.5"},
      {-5, "-5"},
      {20, "20"},
      {0, "0"},
      {-0.0L, "0"},
      {1.0L / 3, "0.333333333333333"},
      {1e20L, "1e+20"},
      {999999999999999.0L, "999999999999999"},
      {1e15L, "1e+15"},
      {-123456789.0L, "-123456789"},
      {2.5e-7L, "2.5e-07"},
      {4294967296.0L, "4294967296"},
      {123456789012345678.0L, "1.23456789012346e+17"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatFormulaValue(c.value), c.text) << c.text;
}

// The newest raw values of the targets of one instance row.
std::string Lookup(const std::map<std::string, std::string>& values, const std::string& oid) {
  const auto it = values.find(oid);
  return it == values.end() ? "Null" : it->second;
}

TEST(FormulaTest, EvaluateFormulaEntryForOneInstance) {
  const std::string in = "1.3.6.1.2.1.2.2.1.10", out = "1.3.6.1.2.1.2.2.1.16";
  const struct {
    std::string entry;
    int interval;
    std::map<std::string, std::string> values;
    std::string result;
  } cases[] = {
      {"Total,A+B,A=" + in + ",B=" + out + ",", 5, {{in, "1000"}, {out, "500"}}, "1500"},
      {"Total,A+B,A=" + in + ",B=" + out + ",", 5, {{in, "1000"}, {out, "Null"}}, "Null"},
      {"Total,A+B,A=" + in + ",B=" + out + ",", 5, {{in, "1000"}}, "Null"},  // no such target
      {"Bits,A*8/$PI,A=" + in + ",", 5, {{in, "1000"}}, "1600"},
      {"Rate,a/$pi,a=" + in + ",", 5, {{in, "100"}}, "20"},  // letters and $PI in any case
      {"Avg,(A+B)/2,A=" + in + ",B=" + out + ",", 5, {{in, "3"}, {out, "4"}}, "3.5"},
      {"Twice,A+A*$PI,A=" + in + ",", 10, {{in, "2"}}, "22"},
      {"Neg,-A,A=" + in + ",", 5, {{in, "5"}}, "-5"},
      {"Const,2*3,", 5, {}, "6"},
      {"Unbound,A+B,A=" + in + ",", 5, {{in, "1"}}, "Null"},
      {"Zero,A/B,A=" + in + ",B=" + out + ",", 5, {{in, "1"}, {out, "0"}}, "Null"},
      {"Bad,A+,A=" + in + ",", 5, {{in, "1"}}, "Null"},
      {"Empty,,", 5, {}, "Null"},
      {"NoComma", 5, {}, "Null"},
      {"Text,A+1,A=" + in + ",", 5, {{in, "eth0"}}, "Null"},  // a value must be a number
      // A value put in for one letter is not taken apart by a later binding of "E".
      {"Big,A+E,A=" + in + ",E=" + out + ",", 5, {{in, "1E+20"}, {out, "1"}}, "1e+20"},
      {"NoTrail,A-B,A=" + in + ",B=" + out, 5, {{in, "9"}, {out, "4"}}, "5"},
      {"Large,A+1,A=" + in + ",", 5, {{in, "18446744073709551615"}}, "1.84467440737096e+19"},
  };
  for (const auto& c : cases) {
    const auto lookup = [&c](const std::string& oid) { return Lookup(c.values, oid); };
    EXPECT_EQ(EvaluateFormulaEntry(c.entry, c.interval, lookup), c.result) << c.entry;
  }
}

TEST(FormulaTest, BindingsReachTheLookupUpperCasedAfterTheirFirstTwoCharacters) {
  std::vector<std::string> asked;
  const auto lookup = [&asked](const std::string& oid) {
    asked.push_back(oid);
    return std::string("1");
  };
  EXPECT_EQ(EvaluateFormulaEntry("L,A+B,a=1.3.6.1.4.1.9,B:x.1,,", 5, lookup), "2");
  EXPECT_EQ(asked, (std::vector<std::string>{"1.3.6.1.4.1.9", "X.1"}));

  // The first missing value ends the look-ups.
  asked.clear();
  const auto missing = [&asked](const std::string& oid) {
    asked.push_back(oid);
    return std::string("Null");
  };
  EXPECT_EQ(EvaluateFormulaEntry("L,A+B,A=1.1,B=2.2,", 5, missing), "Null");
  EXPECT_EQ(asked, (std::vector<std::string>{"1.1"}));
}

// Switches the C locale to one that writes "3,5", as the window's toolkit does for such a
// user; without one installed, compiles German into a temporary folder with localedef.
class CommaLocale {
 public:
  CommaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
      if (std::setlocale(LC_ALL, name)) return;
    }
    char folder[] = "/tmp/kestrava-locale-XXXXXX";
    if (!mkdtemp(folder)) return;
    m_folder = folder;
    const std::string command =
        "localedef -i de_DE -f UTF-8 " + m_folder + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return;
    setenv("LOCPATH", m_folder.c_str(), 1);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
  }
  ~CommaLocale() {
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
    if (!m_folder.empty()) std::filesystem::remove_all(m_folder);
  }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  bool active() const { return std::localeconv()->decimal_point[0] == ','; }

 private:
  std::string m_folder;
};

TEST(FormulaTest, NumbersUseADotWhateverTheLocale) {
  const CommaLocale locale;
  if (!locale.active()) GTEST_SKIP() << "no locale with a decimal comma could be set up";
  long double value = 0;
  EXPECT_TRUE(IsNumber("3.5"));
  EXPECT_TRUE(IsNumber("2.5e-3"));
  EXPECT_FALSE(IsNumber("3,5"));
  ASSERT_TRUE(EvaluatePostfix("7 2 / ", value));
  EXPECT_EQ(FormatFormulaValue(value), "3.5");
  EXPECT_EQ(FormatFormulaValue(1.0L / 3), "0.333333333333333");
  const auto lookup = [](const std::string&) { return std::string("1.5"); };
  EXPECT_EQ(EvaluateFormulaEntry("L,A*3,A=1.1,", 5, lookup), "4.5");
  // The helpers that read the engine's values parse the same way.
  EXPECT_TRUE(IsNumeric("2.5"));
  EXPECT_FALSE(IsNumeric("2,5"));
  EXPECT_EQ(WrapFilter("100.5", "4294967000.5"), "Null");
}

}  // namespace
}  // namespace kestrava
