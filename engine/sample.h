#pragma once
// TSample: one value of a slot's history in its native form: missing ("Null", with the reason
// why), a whole number with every digit of a 64-bit counter and a sign, or another decimal
// number, kept as the text it came as so that a formula reads exactly that text. A value of an
// answer keeps its BER type. Values travel as samples from the answer to
// the pie; text is made only where somebody reads it (formula bindings, tests, the CSV).
// Thread: any; a plain value.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrava {

// Why a value is "Null".
enum class TNullReason : uint8_t {
  kNoValue,     // not answered (expired, an error status, a binding left out) or not polled yet
  kNotANumber,  // the agent's value is no number (noSuchInstance, a text, an address)
  kWrapped,     // a 32-bit counter fell from above 2^31 below it: a wrap, not traffic
  kRestarted,   // the agent restarted since the poll before: no change can be told
  kNoPrevious,  // a change needs a value before it, and there is none
};

class TSample {
 public:
  TSample() = default;  // "Null": no value
  static TSample Null(TNullReason reason);
  static TSample Whole(uint64_t magnitude, bool negative = false);
  // A value as an answer or a formula gives it: a decimal number (optional sign, fraction,
  // exponent) becomes a sample, any other text (an address, "error: noSuchInstance") Null.
  static TSample FromText(std::string_view text);
  // A value of an answer with its BER tag: a Counter32 knows it is one (see Unwrapped).
  static TSample FromAnswer(std::string_view text, int type);

  bool IsNull() const { return m_kind == kNullKind; }
  TNullReason NullReason() const { return m_reason; }  // kNoValue unless IsNull()
  // The BER tag of the answer's value (0x41 Counter32, 0x46 Counter64, ...); 0 when the value
  // did not come from an answer (a formula's result, a text).
  uint8_t Type() const { return m_type; }
  bool IsWhole() const { return m_kind == kWholeKind; }
  bool Negative() const { return m_negative; }
  uint64_t Magnitude() const { return m_magnitude; }  // whole numbers only
  long double Number() const;                         // REQUIRES: !IsNull()

  // "Null", the digits of a whole number ("-" first when negative), or the kept text.
  std::string Text() const;

  // The 32-bit wrap rule: true when this value fell from above 2^31 below it since `previous`.
  bool WrappedSince(const TSample& previous) const;
  // A Counter32 of an answer, and whether it is lower than `previous` (a whole number).
  bool IsCounter32() const { return m_type == kCounter32Tag && IsWhole(); }
  bool FellSince(const TSample& previous) const;
  // The same value, known to have wrapped once at 2^32 since the value before it: its delta
  // from that value counts the wrap.
  TSample Unwrapped() const;
  bool WrappedOnce() const { return m_wrappedOnce; }

  bool operator==(const TSample&) const = default;

 private:
  enum TKind : uint8_t { kNullKind, kWholeKind, kDecimalKind };
  static constexpr uint8_t kCounter32Tag = 0x41;
  TKind m_kind = kNullKind;
  TNullReason m_reason = TNullReason::kNoValue;
  uint8_t m_type = 0;
  bool m_negative = false;
  bool m_wrappedOnce = false;
  uint64_t m_magnitude = 0;
  std::string m_text;  // decimal numbers only
};

// The change from `before` to `after`, as the delta of a slot: Null when either is Null; whole
// numbers give their exact difference, other numbers a long double one.
struct TDelta {
  bool Present = false;
  bool Whole = false;
  bool Negative = false;
  unsigned __int128 Magnitude = 0;  // whole differences (up to 2^65)
  long double Number = 0;           // every difference, as a number
};
TDelta Difference(const TSample& before, const TSample& after);
// Why the change from `before` to `after` is missing (kNoValue when it is not).
TNullReason DifferenceNullReason(const TSample& before, const TSample& after);
// The delta as text with one decimal ("150.0", "-500.0"), every digit of a whole difference kept.
std::string DeltaText(const TDelta& delta);

}  // namespace kestrava
