#include "engine/pie.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kestrava {

namespace {

// Hundredths that fit 36 digits stay exact; 10^36 < 2^120.
constexpr unsigned __int128 TenTo(int power) {
  unsigned __int128 value = 1;
  while (power-- > 0) value *= 10;
  return value;
}
constexpr unsigned __int128 kNarrowLimit = TenTo(36);

std::string Digits(unsigned __int128 value) {
  if (value <= UINT64_MAX) {
    char text[24];
    return std::string(text,
                       std::to_chars(text, text + sizeof text, static_cast<uint64_t>(value)).ptr);
  }
  char digits[48];
  char* at = digits + sizeof digits;
  do {
    *--at = static_cast<char>('0' + static_cast<int>(value % 10));
    value /= 10;
  } while (value != 0);
  return std::string(at, digits + sizeof digits);
}

// Plain decimal of a number of hundredths: "150", "150.5", "0.25".
std::string HundredthsText(unsigned __int128 hundredths) {
  std::string text = Digits(hundredths / 100);
  const int cents = static_cast<int>(hundredths % 100);
  if (cents != 0) {
    text += '.';
    text += static_cast<char>('0' + cents / 10);
    if (cents % 10 != 0) text += static_cast<char>('0' + cents % 10);
  }
  return text;
}

std::string WideText(long double value) {
  char buffer[128];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
  if (error != std::errc()) return "0";
  std::string text(buffer, end);
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

long double KeyNumber(const TSliceKey& key) {
  return key.Wide ? key.WideValue : static_cast<long double>(key.Hundredths) / 100;
}

// Equal keys: the slot whose number is the greater text comes first (9 before 10).
bool SlotTextGreater(int a, int b) {
  char left[16];
  char right[16];
  const auto leftEnd = std::to_chars(left, left + sizeof left, a).ptr;
  const auto rightEnd = std::to_chars(right, right + sizeof right, b).ptr;
  return std::lexicographical_compare(right, rightEnd, left, leftEnd);
}

}  // namespace

TSliceKey KeyOf(const TCurrentValue& value) {
  TSliceKey key;
  if (value.Whole) {
    key.Hundredths = value.Magnitude * 100;
    return key;
  }
  // Rounded to two decimals as the fixed-point text of the number rounds it: the exact binary
  // value times 100 to the nearest whole, a tie to the even one. Above 2^118 the hundredths
  // pass 36 digits.
  const long double number = std::fabs(value.Number);
  if (!std::isfinite(number) || number >= 0x1p118L) {
    key.Wide = true;
    key.WideValue = value.Number;
    return key;
  }
  int exponent = 0;
  const long double fraction = std::frexp(number, &exponent);  // number = fraction * 2^exponent
  // number * 100 = scaled * 2^(exponent - 64), exactly: a long double has 64 significant bits.
  const unsigned __int128 scaled =
      static_cast<unsigned __int128>(static_cast<uint64_t>(std::ldexp(fraction, 64))) * 100;
  const int shift = 64 - exponent;
  unsigned __int128 hundredths = 0;
  if (shift <= 0) {
    hundredths = scaled << -shift;
  } else if (shift < 72) {  // scaled < 2^71: from 72 on it is below one half
    hundredths = scaled >> shift;
    const unsigned __int128 rest = scaled - (hundredths << shift);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    if (rest > half || (rest == half && (hundredths & 1) != 0)) ++hundredths;
  }
  if (hundredths >= kNarrowLimit) {
    key.Wide = true;
    key.WideValue = value.Number;
    return key;
  }
  key.Hundredths = hundredths;
  return key;
}

bool KeyLess(const TSliceKey& a, const TSliceKey& b) {
  if (a.Wide != b.Wide) return b.Wide;
  return a.Wide ? a.WideValue < b.WideValue : a.Hundredths < b.Hundredths;
}

void BuildPie(std::vector<TSliceCandidate>& candidates, int wanted,
              const std::function<const std::string&(int slot)>& label,
              std::vector<TPieSlice>& pie) {
  if (candidates.empty()) {
    pie.clear();
    return;
  }
  const int count = static_cast<int>(candidates.size());
  const int slices = wanted < 1 ? count + 1 : wanted;
  // Largest first; only the slices of their own need their order, the rest are summed.
  const auto before = [](const TSliceCandidate& a, const TSliceCandidate& b) {
    if (KeyLess(b.Key, a.Key)) return true;
    if (KeyLess(a.Key, b.Key)) return false;
    return SlotTextGreater(a.Slot, b.Slot);
  };
  const int own = std::clamp(slices - 1, 0, count);
  if (own * 2 >= count) {
    std::sort(candidates.begin(), candidates.end(), before);
  } else {
    std::partial_sort(candidates.begin(), candidates.begin() + own, candidates.end(), before);
  }
  // Slices are assigned in place, so that their texts reuse the room of the last feed.
  pie.resize(static_cast<size_t>(own));
  for (int rank = 0; rank < own; ++rank) {
    const TSliceCandidate& c = candidates[static_cast<size_t>(rank)];
    TPieSlice& slice = pie[static_cast<size_t>(rank)];
    slice.Label = label(c.Slot);
    slice.Value = static_cast<double>(KeyNumber(c.Key));
    slice.ValueText = c.Key.Wide ? WideText(c.Key.WideValue) : HundredthsText(c.Key.Hundredths);
    slice.Position = rank;
    slice.Colour = PaletteColour;
    slice.Shown = TQuantity();
    slice.Slot = c.Slot;
  }
  unsigned __int128 narrow = 0;
  long double wide = 0;
  bool anyWide = false;
  for (int k = own; k < count; ++k) {
    const TSliceKey& key = candidates[static_cast<size_t>(k)].Key;
    if (key.Wide) {
      wide += key.WideValue;
      anyWide = true;
    } else {
      narrow += key.Hundredths;
    }
  }
  if (narrow > 0 || wide > 0) {
    const long double other = static_cast<long double>(narrow) / 100 + wide;
    pie.push_back(TPieSlice{"Other", static_cast<double>(other),
                            anyWide ? WideText(other) : HundredthsText(narrow), slices - 1,
                            PaletteColour});
  }
}

}  // namespace kestrava
