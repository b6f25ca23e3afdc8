#include "config/row_filter_settings.h"

#include <QRegularExpression>
#include <QString>
#include <cctype>
#include <limits>

#include "config/validators.h"

namespace kestrava {

namespace {

struct TIfTypeName {
  const char* Name;
  int Number;
};

// The interface types a user meets on hosts and switches, as IANAifType-MIB names them.
constexpr TIfTypeName kIfTypeNames[] = {
    {"other", 1},      {"ethernetCsmacd", 6}, {"iso88023Csmacd", 7},
    {"fddi", 15},      {"ppp", 23},           {"softwareLoopback", 24},
    {"slip", 28},      {"atm", 37},           {"propVirtual", 53},
    {"ieee80211", 71}, {"tunnel", 131},       {"l2vlan", 135},
    {"l3ipvlan", 136}, {"mpls", 150},         {"ieee8023adLag", 161},
    {"bridge", 209},   {"gpon", 250},
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::optional<int> IfTypeNumber(const std::string& name) {
  const std::string lower = Lower(name);
  for (const TIfTypeName& known : kIfTypeNames) {
    if (Lower(known.Name) == lower) return known.Number;
  }
  return std::nullopt;
}

bool ParseIfTypes(const std::string& text, std::vector<int>& types, std::string& error) {
  std::vector<int> parsed;
  std::string word;
  const auto take = [&]() {
    if (word.empty()) return true;
    if (std::optional<int> number = ParseDecimalInt(word)) {
      if (*number < 1) {
        error = "Interface type " + word + " is not a number from 1 up.";
        return false;
      }
      parsed.push_back(*number);
    } else if (std::optional<int> named = IfTypeNumber(word)) {
      parsed.push_back(*named);
    } else {
      error = "Interface type \"" + word +
              "\" is neither a number nor a known name (ethernetCsmacd, softwareLoopback, "
              "l2vlan, ieee8023adLag, tunnel, propVirtual, ...).";
      return false;
    }
    word.clear();
    return true;
  };
  for (char c : text) {
    if (c == ',' || c == ' ' || c == '\t') {
      if (!take()) return false;
    } else {
      word += c;
    }
  }
  if (!take()) return false;
  if (parsed.empty()) {
    error = "The list of interface types is empty.";
    return false;
  }
  types = std::move(parsed);
  return true;
}

std::string LabelPatternFault(const std::string& name, const std::string& pattern) {
  const QRegularExpression expression(QString::fromStdString(pattern));
  if (expression.isValid()) return "";
  return name + " \"" + pattern +
         "\" is not a regular expression: " + expression.errorString().toStdString() +
         " at offset " + std::to_string(expression.patternErrorOffset()) + ".";
}

std::optional<TTheme> ParseTheme(const std::string& text) {
  const std::string lower = Lower(text);
  if (lower == "light") return TTheme::kLight;
  if (lower == "dark") return TTheme::kDark;
  if (lower == "system") return TTheme::kSystem;
  return std::nullopt;
}

}  // namespace kestrava
