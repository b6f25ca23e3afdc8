#pragma once
// Labels that come from an agent (the values of the label column) are shown in the legend and
// the marks and written to the CSV; an agent may send any octets. SafeLabel makes such a text
// safe to show and to write:
// - invalid UTF-8 becomes U+FFFD, one for each maximal ill-formed part (the Unicode
//   Standard's recommended practice): stray continuation octets, cut sequences, overlong
//   forms, surrogates (U+D800..U+DFFF) and anything above U+10FFFF;
// - control characters (C0 U+0000..U+001F, DEL U+007F, C1 U+0080..U+009F), the
//   bidirectional embeddings, overrides and isolates (U+202A..U+202E, U+2066..U+2069) and the
//   line and paragraph separators (U+2028, U+2029) become U+FFFD, so that a terminal runs no
//   escape sequence, a text cannot reverse its neighbours and a label stays one line, while
//   the reader still sees that something was there;
// - NUL octets at the very end are dropped: agents that send C strings end labels with them;
// - everything else, the marks U+200E, U+200F and U+061C included (they change no order
//   beyond their own place), stays as it is.
// Thread: any; pure functions.

#include <string>
#include <string_view>

namespace kestrava {

inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

std::string SafeLabel(std::string_view text);

}  // namespace kestrava
