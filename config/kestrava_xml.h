#pragma once
// KestravaXML: the typed binding of a configuration file over Qt's DOM. Elements are looked
// up by name (the first occurrence counts, unknown ones are ignored, a missing one reads as
// empty); every element's text loses the blanks around it (space, tab, CR, LF), then text
// accessors return it as UTF-8, integer and boolean accessors convert it and raise
// EXmlConversion when they cannot.
// Thread: any, one document per thread; the bindings view a document that must outlive them.

#include <QDomDocument>
#include <QDomElement>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrava {

// A value that is not a decimal integer or a boolean, or a document that cannot be opened.
class EXmlConversion : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Files larger than this, or nested deeper than this, are refused before the DOM parser sees
// them: a configuration file is four levels deep and a few KiB long.
inline constexpr qint64 kMaxConfigFileBytes = 1024 * 1024;
inline constexpr int kMaxConfigDepth = 32;

// Reads and parses fileName into doc. Raises EXmlConversion with the reason (missing file,
// too large, nested too deep, or the parser's message with line and column).
void OpenConfigDocument(const std::string& fileName, QDomDocument& doc);

// Conversion rules shared by the accessors: an optional sign and decimal digits that fit an
// int; "true"/"false" in any letter case or such a number (0 false, anything else true).
int XmlToInt(const std::string& text);
bool XmlToBool(const std::string& text);

class TXMLShootertargetType {
 public:
  explicit TXMLShootertargetType(const QDomElement& element) : m_element(element) {}
  std::string Oid() const;
  std::string Oiddescr() const;
  std::string Instance() const;
  bool Visible() const;
  std::string Formula() const;
  std::string Unit() const;  // the unit a formula's values are in ("bit/s"); "" none

 private:
  QDomElement m_element;
};

class TXMLShootertargetsType {
 public:
  explicit TXMLShootertargetsType(const QDomElement& element);
  int Count() const { return static_cast<int>(m_items.size()); }
  // REQUIRES: 0 <= index < Count(). Items are in document order.
  TXMLShootertargetType Item(int index) const { return TXMLShootertargetType(m_items.at(index)); }

 private:
  std::vector<QDomElement> m_items;
};

class TXMLShooterType {
 public:
  explicit TXMLShooterType(const QDomElement& element) : m_element(element) {}
  bool Raw() const;
  int Remoteport() const;
  int Localport() const;
  int Snmpversion() const;
  // The text of the first child element of that name, as the accessors see it.
  std::string Text(const char* name) const;
  bool Bulkwalk() const;
  std::string User() const;
  std::string Securitylevel() const;
  std::string Authprotocol() const;
  std::string Authpassword() const;
  std::string Privprotocol() const;
  std::string Privpassword() const;
  std::string Contextname() const;
  TXMLShootertargetsType Shootertargets() const;

 private:
  QDomElement m_element;
};

class TXMLKestravaType {
 public:
  explicit TXMLKestravaType(const QDomElement& element) : m_element(element) {}
  std::string Programtitle() const;
  // The text of the first child element of that name, as the accessors see it.
  std::string Text(const char* name) const;
  std::string Charttitle() const;
  bool Chart3D() const;
  bool Showlegend() const;
  std::string Legendalignment() const;
  std::string Preferredinstance() const;
  int Slices() const;
  bool Refreshinstances() const;
  int Width() const;
  int Height() const;
  std::string Host() const;
  std::string Community() const;
  int Pollinginterval() const;
  bool Antialias() const;
  int Maxrows() const;
  int History() const;
  TXMLShooterType Shooter() const;

 private:
  QDomElement m_element;
};

// The root binding of an opened document. Raises EXmlConversion when the root element is not
// "kestrava".
TXMLKestravaType GetConfigRoot(const QDomDocument& doc);

}  // namespace kestrava
