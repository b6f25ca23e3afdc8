#pragma once
// TSample: one value of a slot's history in its native form: missing ("Null", with the reason
// why), a whole number with every digit of a 64-bit counter and a sign, or another decimal
// number that reads back as exactly the text it came as, so that a formula reads that text. A
// value of an answer keeps its BER type. Values travel as samples from the answer to the pie;
// text is made only where somebody reads it (formula bindings, tests, the CSV).
// 16 bytes: a slot keeps a history of them for every row.
// Thread: any; a plain value.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace kestrava {

struct TSnmpValue;  // snmp/snmp_value.h

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
  // Copies and moves are those of the bytes, but for a kept text (rare), which is owned.
  TSample(const TSample& other) { CopyFrom(other); }
  TSample(TSample&& other) noexcept { TakeFrom(other); }
  TSample& operator=(const TSample& other) {
    if (this != &other) {
      ReleaseText();
      CopyFrom(other);
    }
    return *this;
  }
  TSample& operator=(TSample&& other) noexcept {
    if (this != &other) {
      ReleaseText();
      TakeFrom(other);
    }
    return *this;
  }
  ~TSample() { ReleaseText(); }

  static TSample Null(TNullReason reason);
  static TSample Whole(uint64_t magnitude, bool negative = false);
  // A value as a formula or a text value gives it: a decimal number (optional sign, fraction,
  // exponent) becomes a sample, any other text (an address, "error: noSuchInstance") Null.
  static TSample FromText(std::string_view text);
  // A value of an answer, typed as the codec decoded it, with its BER tag: a number as it is,
  // a text value as FromText reads it; a Counter32 knows it is one (see Unwrapped).
  static TSample FromAnswer(const TSnmpValue& value);

  bool IsNull() const { return m_kind == kNullKind; }
  TNullReason NullReason() const { return m_reason; }  // kNoValue unless IsNull()
  // The BER tag of the answer's value (0x41 Counter32, 0x46 Counter64, ...); 0 when the value
  // did not come from an answer (a formula's result, a text).
  uint8_t Type() const { return m_type; }
  bool IsWhole() const { return m_kind == kWholeKind; }
  bool Negative() const { return m_negative; }
  uint64_t Magnitude() const;  // whole numbers only (0 for the others)
  long double Number() const;  // REQUIRES: !IsNull()

  // "Null", the digits of a whole number ("-" first when negative), or a decimal's text.
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

  bool operator==(const TSample& other) const;

 private:
  // kDecimalKind: a decimal that its 15 significant digits write back as it came (every result
  // of a formula), kept as the number it reads as; kDecimalTextKind: any other decimal text
  // ("12.50" of a text value, more than 15 digits), kept as that text.
  enum TKind : uint8_t { kNullKind, kWholeKind, kDecimalKind, kDecimalTextKind };
  static constexpr uint8_t kCounter32Tag = 0x41;
  // The bytes of an x87 long double that hold its value (64-bit significand, sign, exponent);
  // the rest is padding.
  static constexpr size_t kNumberBytes = 10;
  static_assert(std::numeric_limits<long double>::digits == 64 &&
                sizeof(long double) >= kNumberBytes);

  void SetNumber(long double number);
  long double StoredNumber() const;
  const std::string& StoredText() const;
  void KeepText(std::string_view text);
  void DeleteText();
  void ReleaseText() {
    if (m_kind == kDecimalTextKind) DeleteText();
    m_kind = kNullKind;
  }
  void FieldsFrom(const TSample& other) {
    std::memcpy(m_payload, other.m_payload, kNumberBytes);
    m_kind = other.m_kind;
    m_reason = other.m_reason;
    m_type = other.m_type;
    m_negative = other.m_negative;
    m_wrappedOnce = other.m_wrappedOnce;
  }
  void TakeFrom(TSample& other) {
    FieldsFrom(other);
    other.m_kind = kNullKind;  // the text, if any, is ours now
  }
  void CopyFrom(const TSample& other) {
    FieldsFrom(other);
    if (m_kind != kDecimalTextKind) return;
    m_kind = kNullKind;  // owns nothing until its own copy is made
    KeepText(other.StoredText());
    m_kind = kDecimalTextKind;
  }

  // A whole number's magnitude (8 bytes), a kDecimalKind's long double, or a kDecimalTextKind's
  // owned std::string*.
  alignas(8) unsigned char m_payload[kNumberBytes] = {};
  TKind m_kind = kNullKind;
  TNullReason m_reason = TNullReason::kNoValue;
  uint8_t m_type = 0;
  bool m_negative = false;
  bool m_wrappedOnce = false;
};
static_assert(sizeof(TSample) == 16);

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
