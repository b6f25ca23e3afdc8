#include "config/kestrava_xml.h"

#include <QFile>
#include <QXmlStreamReader>

#include "config/validators.h"

namespace kestrava {

namespace {

// Walks the start tags only, stopping at the first element below kMaxConfigDepth. A
// well-formedness error ends the scan quietly: the DOM parser reports it with its position.
bool NestedTooDeep(const QByteArray& bytes) {
  QXmlStreamReader reader(bytes);
  int depth = 0;
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::StartElement:
        if (++depth > kMaxConfigDepth) return true;
        break;
      case QXmlStreamReader::EndElement:
        --depth;
        break;
      default:
        break;
    }
  }
  return false;
}

// Blanks around a value are layout, not part of it: "<remoteport> 16161 </remoteport>" is 16161.
std::string TrimBlanks(const std::string& text) {
  const char* const blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string ChildText(const QDomElement& parent, const char* name) {
  return TrimBlanks(parent.firstChildElement(QString::fromLatin1(name)).text().toStdString());
}

}  // namespace

void OpenConfigDocument(const std::string& fileName, QDomDocument& doc) {
  if (fileName.empty()) throw EXmlConversion("No file name specified.");
  QFile file(QString::fromStdString(fileName));
  if (!file.open(QIODevice::ReadOnly)) throw EXmlConversion(file.errorString().toStdString());
  // One byte beyond the limit is enough to know the file is too large, without reading it all.
  const QByteArray bytes = file.read(kMaxConfigFileBytes + 1);
  if (bytes.size() > kMaxConfigFileBytes) {
    throw EXmlConversion("The file is larger than 1 MiB.");
  }
  if (file.error() != QFileDevice::NoError) throw EXmlConversion(file.errorString().toStdString());
  if (NestedTooDeep(bytes)) {
    throw EXmlConversion("Elements are nested deeper than " + std::to_string(kMaxConfigDepth) +
                         " levels.");
  }
  QString message;
  int line = 0;
  int column = 0;
  if (!doc.setContent(bytes, &message, &line, &column)) {
    throw EXmlConversion(message.toStdString() + " (line " + std::to_string(line) + ", column " +
                         std::to_string(column) + ")");
  }
}

int XmlToInt(const std::string& text) {
  const std::optional<int> value = ParseDecimalInt(text);
  if (!value) throw EXmlConversion("'" + text + "' is not a valid integer value");
  return *value;
}

bool XmlToBool(const std::string& text) {
  const QString word = QString::fromStdString(text);
  if (word.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
  if (word.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
  const std::optional<int> value = ParseDecimalInt(text);
  if (!value) throw EXmlConversion("'" + text + "' is not a valid boolean value");
  return *value != 0;
}

std::string TXMLShootertargetType::Oid() const {
  return ChildText(m_element, "oid");
}
std::string TXMLShootertargetType::Oiddescr() const {
  return ChildText(m_element, "oiddescr");
}
std::string TXMLShootertargetType::Instance() const {
  return ChildText(m_element, "instance");
}
bool TXMLShootertargetType::Visible() const {
  return XmlToBool(ChildText(m_element, "visible"));
}
std::string TXMLShootertargetType::Formula() const {
  return ChildText(m_element, "formula");
}
std::string TXMLShootertargetType::Unit() const {
  return ChildText(m_element, "unit");
}

TXMLShootertargetsType::TXMLShootertargetsType(const QDomElement& element) {
  const QString name = QStringLiteral("shootertarget");
  for (QDomElement child = element.firstChildElement(name); !child.isNull();
       child = child.nextSiblingElement(name)) {
    m_items.push_back(child);
  }
}

bool TXMLShooterType::Raw() const {
  return XmlToBool(ChildText(m_element, "raw"));
}
std::string TXMLShooterType::Text(const char* name) const {
  return ChildText(m_element, name);
}
int TXMLShooterType::Remoteport() const {
  return XmlToInt(ChildText(m_element, "remoteport"));
}
int TXMLShooterType::Localport() const {
  return XmlToInt(ChildText(m_element, "localport"));
}
int TXMLShooterType::Snmpversion() const {
  return XmlToInt(ChildText(m_element, "snmpversion"));
}
bool TXMLShooterType::Bulkwalk() const {
  return XmlToBool(ChildText(m_element, "bulkwalk"));
}
std::string TXMLShooterType::User() const {
  return ChildText(m_element, "user");
}
std::string TXMLShooterType::Securitylevel() const {
  return ChildText(m_element, "securitylevel");
}
std::string TXMLShooterType::Authprotocol() const {
  return ChildText(m_element, "authprotocol");
}
std::string TXMLShooterType::Authpassword() const {
  return ChildText(m_element, "authpassword");
}
std::string TXMLShooterType::Privprotocol() const {
  return ChildText(m_element, "privprotocol");
}
std::string TXMLShooterType::Privpassword() const {
  return ChildText(m_element, "privpassword");
}
std::string TXMLShooterType::Contextname() const {
  return ChildText(m_element, "contextname");
}
TXMLShootertargetsType TXMLShooterType::Shootertargets() const {
  return TXMLShootertargetsType(m_element.firstChildElement(QStringLiteral("shootertargets")));
}

std::string TXMLKestravaType::Programtitle() const {
  return ChildText(m_element, "programtitle");
}
std::string TXMLKestravaType::Charttitle() const {
  return ChildText(m_element, "charttitle");
}
bool TXMLKestravaType::Chart3D() const {
  return XmlToBool(ChildText(m_element, "chart3D"));
}
bool TXMLKestravaType::Showlegend() const {
  return XmlToBool(ChildText(m_element, "showlegend"));
}
std::string TXMLKestravaType::Legendalignment() const {
  return ChildText(m_element, "legendalignment");
}
std::string TXMLKestravaType::Preferredinstance() const {
  return ChildText(m_element, "preferredinstance");
}
int TXMLKestravaType::Slices() const {
  return XmlToInt(ChildText(m_element, "slices"));
}
bool TXMLKestravaType::Refreshinstances() const {
  return XmlToBool(ChildText(m_element, "refreshinstances"));
}
std::string TXMLKestravaType::Text(const char* name) const {
  return ChildText(m_element, name);
}
int TXMLKestravaType::Width() const {
  return XmlToInt(ChildText(m_element, "width"));
}
int TXMLKestravaType::Height() const {
  return XmlToInt(ChildText(m_element, "height"));
}
std::string TXMLKestravaType::Host() const {
  return ChildText(m_element, "host");
}
std::string TXMLKestravaType::Community() const {
  return ChildText(m_element, "community");
}
int TXMLKestravaType::Pollinginterval() const {
  return XmlToInt(ChildText(m_element, "pollinginterval"));
}
bool TXMLKestravaType::Antialias() const {
  return XmlToBool(ChildText(m_element, "antialias"));
}
int TXMLKestravaType::Maxrows() const {
  return XmlToInt(ChildText(m_element, "maxrows"));
}
int TXMLKestravaType::History() const {
  return XmlToInt(ChildText(m_element, "history"));
}
TXMLShooterType TXMLKestravaType::Shooter() const {
  return TXMLShooterType(m_element.firstChildElement(QStringLiteral("shooter")));
}

TXMLKestravaType GetConfigRoot(const QDomDocument& doc) {
  const QDomElement root = doc.documentElement();
  if (root.tagName() != QLatin1String("kestrava")) {
    throw EXmlConversion("The root element is '" + root.tagName().toStdString() +
                         "', not 'kestrava'.");
  }
  return TXMLKestravaType(root);
}

}  // namespace kestrava
