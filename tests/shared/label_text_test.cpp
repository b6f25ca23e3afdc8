// Labels from an agent made safe to show and to write: control and bidirectional characters
// replaced, invalid UTF-8 repaired, valid text untouched.
#include "shared/label_text.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrava {
namespace {

const std::string R(kReplacementCharacter);

TEST(SafeLabel, Table) {
  const struct {
    const char* name;
    std::string in;
    std::string want;
  } cases[] = {
      // Untouched.
      {"empty", "", ""},
      {"ASCII", "eth0 Intel(R) PRO/1000 #2", "eth0 Intel(R) PRO/1000 #2"},
      {"two octets",
       "Gr\xC3\xBC\xC3\x9F"
       "e",
       "Gr\xC3\xBC\xC3\x9F"
       "e"},
      {"three octets", "\xE2\x82\xAC 5 \xE4\xB8\xAD\xE6\x96\x87",
       "\xE2\x82\xAC 5 \xE4\xB8\xAD\xE6\x96\x87"},
      {"four octets", "\xF0\x9F\x93\xA1 \xF4\x8F\xBF\xBF", "\xF0\x9F\x93\xA1 \xF4\x8F\xBF\xBF"},
      {"highest of each length", "\x7E\xDF\xBF\xEF\xBF\xBF", "\x7E\xDF\xBF\xEF\xBF\xBF"},
      {"lowest of each length", "\xC2\xA0\xE0\xA0\x80\xF0\x90\x80\x80",
       "\xC2\xA0\xE0\xA0\x80\xF0\x90\x80\x80"},
      {"around the surrogates", "\xED\x9F\xBF\xEE\x80\x80", "\xED\x9F\xBF\xEE\x80\x80"},
      {"Arabic and Hebrew", "\xD8\xB4\xD8\xA8\xD9\x83\xD8\xA9 \xD7\xA8\xD7\xA9\xD7\xAA",
       "\xD8\xB4\xD8\xA8\xD9\x83\xD8\xA9 \xD7\xA8\xD7\xA9\xD7\xAA"},
      {"directional marks stay",
       "a\xE2\x80\x8E"
       "b\xE2\x80\x8F"
       "c\xD8\x9C",
       "a\xE2\x80\x8E"
       "b\xE2\x80\x8F"
       "c\xD8\x9C"},
      {"zero width joiner stays", "\xE2\x80\x8D", "\xE2\x80\x8D"},
      // Control characters.
      {"NUL inside", std::string("a\0b", 3), "a" + R + "b"},
      {"NULs at the end", std::string("eth0\0\0", 6), "eth0"},
      {"only NULs", std::string("\0\0", 2), ""},
      {"tab, line feed, carriage return", "a\tb\nc\rd", "a" + R + "b" + R + "c" + R + "d"},
      {"escape sequence", "\x1B[2J\x1B]0;owned\x07x", R + "[2J" + R + "]0;owned" + R + "x"},
      {"bell and backspace", "ab\x08\x08\x07", "ab" + R + R + R},
      {"unit separator",
       "a\x1F"
       "b",
       "a" + R + "b"},
      {"DEL", "a\x7F", "a" + R},
      {"C1 as UTF-8",
       "\xC2\x80\xC2\x9B"
       "1m\xC2\x9F\xC2\xA0",
       R + R + "1m" + R + "\xC2\xA0"},
      // Bidirectional controls and line separators.
      {"right-to-left override",
       "evil\xE2\x80\xAE"
       "exe.txt",
       "evil" + R + "exe.txt"},
      {"embeddings and overrides", "\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\xE2\x80\xAD\xE2\x80\xAE",
       R + R + R + R + R},
      {"isolates",
       "\xE2\x81\xA6"
       "a\xE2\x81\xA7"
       "b\xE2\x81\xA8"
       "c\xE2\x81\xA9",
       R + "a" + R + "b" + R + "c" + R},
      {"next to the isolates", "\xE2\x81\xA5\xE2\x81\xAA", "\xE2\x81\xA5\xE2\x81\xAA"},
      {"line and paragraph separators",
       "a\xE2\x80\xA8"
       "b\xE2\x80\xA9",
       "a" + R + "b" + R},
      // Invalid UTF-8: one replacement per maximal ill-formed part.
      {"lone continuation",
       "a\x80"
       "b",
       "a" + R + "b"},
      {"continuations", "\x80\xBF\x80", R + R + R},
      {"lead without continuation",
       "\xC3"
       "a",
       R + "a"},
      {"lead at the end", "a\xC3", "a" + R},
      {"cut three-octet",
       "\xE2\x82"
       "a",
       R + "a"},
      {"cut four-octet", "\xF0\x9F\x93", R},
      {"cut four-octet, then ASCII",
       "\xF0\x9F"
       "x",
       R + "x"},
      {"two leads", "\xC3\xC3\xA9", R + "\xC3\xA9"},
      {"overlong two-octet slash", "\xC0\xAF", R + R},
      {"overlong two-octet NUL", "\xC1\x80", R + R},
      {"overlong three-octet", "\xE0\x80\xAF", R + R + R},
      {"overlong three-octet high", "\xE0\x9F\xBF", R + R + R},
      {"overlong four-octet", "\xF0\x80\x80\xAF", R + R + R + R},
      {"overlong four-octet high", "\xF0\x8F\xBF\xBF", R + R + R + R},
      {"surrogate high", "\xED\xA0\x80", R + R + R},
      {"surrogate low", "\xED\xBF\xBF", R + R + R},
      {"surrogate pair", "\xED\xA0\xBD\xED\xB2\xA9", R + R + R + R + R + R},
      {"above U+10FFFF", "\xF4\x90\x80\x80", R + R + R + R},
      {"F5 to FF", "\xF5\x80\xF8\x88\x80\x80\x80\xFE\xFF", R + R + R + R + R + R + R + R + R},
      {"five-octet form", "\xF8\x88\x80\x80\x80", R + R + R + R + R},
      {"invalid, then valid", "\xFF\xE2\x82\xAC", R + "\xE2\x82\xAC"},
      {"Latin-1 text",
       "Gr\xFC\xDF"
       "e",
       "Gr" + R + R + "e"},
  };
  for (const auto& c : cases) EXPECT_EQ(SafeLabel(c.in), c.want) << c.name;
}

// Whatever the octets, the result is valid UTF-8 without control or override characters, and
// a safe label stays as it is.
TEST(SafeLabel, EveryPairOfOctetsGivesASafeLabel) {
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const std::string in{static_cast<char>(a), static_cast<char>(b), 'x'};
      const std::string out = SafeLabel(in);
      EXPECT_EQ(SafeLabel(out), out) << a << " " << b;
      for (unsigned char c : out) {
        ASSERT_TRUE(c >= 0x20 && c != 0x7F) << a << " " << b;
      }
    }
  }
}

}  // namespace
}  // namespace kestrava
