#include "app/connect_dialog.h"

#include <sys/mman.h>
#include <unistd.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QXmlStreamWriter>
#include <algorithm>

namespace kestrava {

namespace {

constexpr int kRecentAgents = 8;
constexpr int kMinPasswordLength = 8;  // as the SNMPv3 key localisation asks
const char* const kInterfaceDescr = "1.3.6.1.2.1.2.2.1.2";
// Columns of the interface tables share ifDescr's index: their rows are named by it.
const char* const kInterfaceTables[] = {"1.3.6.1.2.1.2.2.1.", "1.3.6.1.2.1.31.1.1.1."};

const char* const kLevels[] = {"noAuthNoPriv", "authNoPriv", "authPriv"};
const char* const kAuthProtocols[] = {"MD5", "SHA", "SHA-224", "SHA-256", "SHA-384", "SHA-512"};
const char* const kPrivProtocols[] = {"DES", "AES", "AES-192", "AES-256"};

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

bool IsInterfaceColumn(const std::string& oid) {
  return std::any_of(std::begin(kInterfaceTables), std::end(kInterfaceTables),
                     [&](const char* table) { return oid.rfind(table, 0) == 0; });
}

const char* AlignmentName(TLegendAlignment alignment) {
  switch (alignment) {
    case laLeft:
      return "LEFT";
    case laRight:
      return "RIGHT";
    case laTop:
      return "TOP";
    default:
      return "BOTTOM";
  }
}

template <size_t N>
void AddItems(QComboBox* list, const char* const (&items)[N]) {
  for (const char* item : items) list->addItem(QString::fromLatin1(item));
}

// A field with its caption, the caption naming it for assistive tools too.
template <typename W>
W* AddRow(QFormLayout* form, const QString& caption, W* field) {
  field->setAccessibleName(caption);
  auto* label = new QLabel(caption + QLatin1Char(':'));
  label->setBuddy(field);
  form->addRow(label, field);
  return field;
}

QString AgentTitle(const TAgentChoice& agent) {
  const QString version = agent.Version == 3   ? QStringLiteral("SNMPv3 ") + Q(agent.User)
                          : agent.Version == 2 ? QStringLiteral("SNMPv2c")
                                               : QStringLiteral("SNMPv1");
  QString counter = Q(agent.Counter);
  for (const TCounterChoice& choice : CounterChoices()) {
    if (agent.Counter == choice.Oid) counter = QString::fromLatin1(choice.Name);
  }
  return QStringLiteral("%1 port %2, %3, %4")
      .arg(Q(agent.Host))
      .arg(agent.Port)
      .arg(version, counter);
}

}  // namespace

const std::vector<TCounterChoice>& CounterChoices() {
  static const std::vector<TCounterChoice> choices = {
      {"Interface traffic in", "1.3.6.1.2.1.2.2.1.10", "Top receivers"},
      {"Interface traffic out", "1.3.6.1.2.1.2.2.1.16", "Top senders"},
      {"Interface errors in", "1.3.6.1.2.1.2.2.1.14", "Most input errors"},
      {"Interface errors out", "1.3.6.1.2.1.2.2.1.20", "Most output errors"},
      {"Interface discards in", "1.3.6.1.2.1.2.2.1.13", "Most input discards"},
      {"Interface discards out", "1.3.6.1.2.1.2.2.1.19", "Most output discards"},
  };
  return choices;
}

std::string AgentConfig(const TAgentChoice& agent, const TConfigRec& cfg, int interval, int width,
                        int height) {
  // The chart keeps its title while the counter stays; a new counter brings its own.
  QString title = Q(cfg.ChartTitle);
  if (cfg.TargetOids.size() != 1 || cfg.TargetOids.front() != agent.Counter) {
    title = Q(agent.Counter);
    for (const TCounterChoice& choice : CounterChoices()) {
      if (agent.Counter == choice.Oid) title = QString::fromLatin1(choice.Title);
    }
  }
  const auto flag = [](bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); };
  QString text;
  QXmlStreamWriter xml(&text);
  xml.setAutoFormatting(true);
  xml.writeStartDocument();
  xml.writeStartElement(QStringLiteral("kestrava"));
  xml.writeTextElement(QStringLiteral("programtitle"), Q(cfg.ProgramTitle));
  xml.writeTextElement(QStringLiteral("charttitle"), title);
  xml.writeTextElement(QStringLiteral("chart3D"), flag(cfg.View3D));
  xml.writeTextElement(QStringLiteral("antialias"), flag(cfg.Antialias));
  xml.writeTextElement(QStringLiteral("showlegend"), flag(cfg.ShowLegend));
  xml.writeTextElement(QStringLiteral("legendalignment"),
                       QString::fromLatin1(AlignmentName(cfg.LegendAlignment)));
  if (cfg.Slices > 1) xml.writeTextElement(QStringLiteral("slices"), QString::number(cfg.Slices));
  xml.writeTextElement(QStringLiteral("refreshinstances"), flag(cfg.RefreshInstances));
  if (!cfg.PreferredInstance.empty())
    xml.writeTextElement(QStringLiteral("preferredinstance"), Q(cfg.PreferredInstance));
  xml.writeTextElement(QStringLiteral("host"), Q(agent.Host));
  xml.writeTextElement(QStringLiteral("community"), Q(agent.Community));
  xml.writeTextElement(QStringLiteral("pollinginterval"), QString::number(interval));
  xml.writeTextElement(QStringLiteral("width"), QString::number(width));
  xml.writeTextElement(QStringLiteral("height"), QString::number(height));
  // The row filters and the look go with the session to the next agent.
  if (!cfg.IncludeLabels.empty())
    xml.writeTextElement(QStringLiteral("include"), Q(cfg.IncludeLabels));
  if (!cfg.ExcludeLabels.empty())
    xml.writeTextElement(QStringLiteral("exclude"), Q(cfg.ExcludeLabels));
  if (!cfg.IfTypes.empty()) {
    QStringList types;
    for (int type : cfg.IfTypes) types << QString::number(type);
    xml.writeTextElement(QStringLiteral("iftype"), types.join(QLatin1Char(',')));
  }
  xml.writeTextElement(QStringLiteral("uponly"), flag(cfg.UpOnly));
  const char* const themes[] = {"light", "dark", "system"};
  xml.writeTextElement(QStringLiteral("theme"),
                       QString::fromLatin1(themes[static_cast<int>(cfg.Theme)]));
  xml.writeTextElement(QStringLiteral("units"), QString::fromLatin1(UnitsName(cfg.Units)));
  if (cfg.Utilisation) xml.writeTextElement(QStringLiteral("mode"), QStringLiteral("utilisation"));
  xml.writeStartElement(QStringLiteral("shooter"));
  xml.writeTextElement(QStringLiteral("raw"), flag(cfg.RawValues));
  xml.writeTextElement(QStringLiteral("bulkwalk"), flag(cfg.BulkWalk));
  xml.writeTextElement(QStringLiteral("remoteport"), QString::number(agent.Port));
  xml.writeTextElement(QStringLiteral("snmpversion"), QString::number(agent.Version));
  if (agent.Version == 3) {
    xml.writeTextElement(QStringLiteral("user"), Q(agent.User));
    xml.writeTextElement(QStringLiteral("securitylevel"), Q(agent.SecurityLevel));
    xml.writeTextElement(QStringLiteral("authprotocol"), Q(agent.AuthProtocol));
    xml.writeTextElement(QStringLiteral("authpassword"), Q(agent.AuthPassword));
    xml.writeTextElement(QStringLiteral("privprotocol"), Q(agent.PrivProtocol));
    xml.writeTextElement(QStringLiteral("privpassword"), Q(agent.PrivPassword));
    xml.writeTextElement(QStringLiteral("contextname"), Q(cfg.V3.ContextName));
  }
  xml.writeStartElement(QStringLiteral("shootertargets"));
  xml.writeStartElement(QStringLiteral("shootertarget"));
  xml.writeTextElement(QStringLiteral("oid"), Q(agent.Counter));
  xml.writeTextElement(QStringLiteral("instance"), QStringLiteral("ALL INSTANCES"));
  xml.writeTextElement(QStringLiteral("visible"), QStringLiteral("true"));
  xml.writeEndElement();
  if (IsInterfaceColumn(agent.Counter)) {
    xml.writeStartElement(QStringLiteral("shootertarget"));
    xml.writeTextElement(QStringLiteral("oid"), QStringLiteral("AL=") + kInterfaceDescr);
    xml.writeEndElement();
  }
  xml.writeEndDocument();
  return text.toStdString();
}

TMemoryFile::TMemoryFile(const std::string& content) {
  m_fd = memfd_create("kestrava-session", MFD_CLOEXEC);
  size_t written = 0;
  while (m_fd >= 0 && written < content.size()) {
    const ssize_t n = write(m_fd, content.data() + written, content.size() - written);
    if (n <= 0) {
      close(m_fd);
      m_fd = -1;
    } else {
      written += static_cast<size_t>(n);
    }
  }
}

TMemoryFile::~TMemoryFile() {
  if (m_fd >= 0) close(m_fd);
}

std::string TMemoryFile::Path() const {
  return "/proc/self/fd/" + std::to_string(m_fd);
}

TConnectDialog::TConnectDialog(const QString& settingsFile, QWidget* parent)
    : QDialog(parent), m_settingsFile(settingsFile) {
  setWindowTitle(QStringLiteral("Connect to Agent"));
  auto* layout = new QVBoxLayout(this);
  Message = new QLabel(this);
  Message->setWordWrap(true);
  Message->setAccessibleName(QStringLiteral("Message"));
  Message->hide();
  layout->addWidget(Message);
  auto* form = new QFormLayout;
  layout->addLayout(form);

  Recent = AddRow(form, QStringLiteral("Recent agents"), new QComboBox(this));
  Host = AddRow(form, QStringLiteral("Host"), new QLineEdit(this));
  Port = AddRow(form, QStringLiteral("Port"), new QSpinBox(this));
  Port->setRange(1, 65535);
  Version = AddRow(form, QStringLiteral("SNMP version"), new QComboBox(this));
  Version->addItem(QStringLiteral("1"), 1);
  Version->addItem(QStringLiteral("2c"), 2);
  Version->addItem(QStringLiteral("3"), 3);
  Community = AddRow(form, QStringLiteral("Community"), new QLineEdit(this));
  User = AddRow(form, QStringLiteral("User"), new QLineEdit(this));
  SecurityLevel = AddRow(form, QStringLiteral("Security level"), new QComboBox(this));
  AddItems(SecurityLevel, kLevels);
  AuthProtocol = AddRow(form, QStringLiteral("Authentication protocol"), new QComboBox(this));
  AddItems(AuthProtocol, kAuthProtocols);
  AuthPassword = AddRow(form, QStringLiteral("Authentication password"), new QLineEdit(this));
  AuthPassword->setEchoMode(QLineEdit::Password);
  PrivProtocol = AddRow(form, QStringLiteral("Privacy protocol"), new QComboBox(this));
  AddItems(PrivProtocol, kPrivProtocols);
  PrivPassword = AddRow(form, QStringLiteral("Privacy password"), new QLineEdit(this));
  PrivPassword->setEchoMode(QLineEdit::Password);
  Counter = AddRow(form, QStringLiteral("Counter"), new QComboBox(this));
  for (const TCounterChoice& choice : CounterChoices())
    Counter->addItem(QString::fromLatin1(choice.Name), QString::fromLatin1(choice.Oid));
  Counter->addItem(QStringLiteral("Another counter (OID)"), QString());
  CounterOid = AddRow(form, QStringLiteral("Counter OID"), new QLineEdit(this));
  CounterOid->setPlaceholderText(QStringLiteral("1.3.6.1.2.1.31.1.1.1.6"));

  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  Buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Connect"));
  layout->addWidget(Buttons);
  connect(Buttons, &QDialogButtonBox::accepted, this, &TConnectDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &TConnectDialog::reject);
  for (QComboBox* list : {Version, SecurityLevel, Counter})
    connect(list, &QComboBox::currentIndexChanged, this, &TConnectDialog::FollowChoices);
  connect(Recent, &QComboBox::activated, this, &TConnectDialog::PickRecent);

  SetChoice(TAgentChoice());
  LoadRecent();
}

void TConnectDialog::SetChoice(const TAgentChoice& choice) {
  Host->setText(Q(choice.Host));
  Port->setValue(choice.Port);
  Version->setCurrentIndex(std::max(0, Version->findData(choice.Version)));
  Community->setText(Q(choice.Community));
  User->setText(Q(choice.User));
  SecurityLevel->setCurrentIndex(std::max(0, SecurityLevel->findText(Q(choice.SecurityLevel))));
  AuthProtocol->setCurrentIndex(std::max(0, AuthProtocol->findText(Q(choice.AuthProtocol))));
  AuthPassword->setText(Q(choice.AuthPassword));
  PrivProtocol->setCurrentIndex(std::max(0, PrivProtocol->findText(Q(choice.PrivProtocol))));
  PrivPassword->setText(Q(choice.PrivPassword));
  const int counter = Counter->findData(Q(choice.Counter));
  Counter->setCurrentIndex(counter >= 0 ? counter : Counter->count() - 1);
  CounterOid->setText(counter >= 0 ? QString() : Q(choice.Counter));
  FollowChoices();
}

TAgentChoice TConnectDialog::Choice() const {
  TAgentChoice choice;
  choice.Host = Host->text().trimmed().toStdString();
  choice.Port = Port->value();
  choice.Version = Version->currentData().toInt();
  choice.Community = Community->text().toStdString();
  choice.User = User->text().toStdString();
  choice.SecurityLevel = SecurityLevel->currentText().toStdString();
  choice.AuthProtocol = AuthProtocol->currentText().toStdString();
  choice.AuthPassword = AuthPassword->text().toStdString();
  choice.PrivProtocol = PrivProtocol->currentText().toStdString();
  choice.PrivPassword = PrivPassword->text().toStdString();
  const QString counter = Counter->currentData().toString();
  choice.Counter = (counter.isEmpty() ? CounterOid->text().trimmed() : counter).toStdString();
  // A leading dot is how net-snmp writes an OID; the configuration takes it without.
  if (choice.Counter.rfind('.', 0) == 0) choice.Counter.erase(0, 1);
  return choice;
}

void TConnectDialog::SetProblem(const QString& text) {
  Message->setText(text);
  Message->setVisible(!text.isEmpty());
}

QString TConnectDialog::Problem() const {
  return Message->isHidden() ? QString() : Message->text();
}

void TConnectDialog::FollowChoices() {
  const int version = Version->currentData().toInt();
  const int level = SecurityLevel->currentIndex();
  Community->setEnabled(version != 3);
  User->setEnabled(version == 3);
  SecurityLevel->setEnabled(version == 3);
  AuthProtocol->setEnabled(version == 3 && level >= 1);
  AuthPassword->setEnabled(version == 3 && level >= 1);
  PrivProtocol->setEnabled(version == 3 && level == 2);
  PrivPassword->setEnabled(version == 3 && level == 2);
  CounterOid->setEnabled(Counter->currentData().toString().isEmpty());
}

QString TConnectDialog::Fault() const {
  const TAgentChoice choice = Choice();
  if (choice.Host.empty()) return QStringLiteral("Give the agent's host name or address.");
  if (choice.Version == 3) {
    if (choice.User.empty()) return QStringLiteral("SNMPv3 needs a user name.");
    const int level = SecurityLevel->currentIndex();
    if (level >= 1 && choice.AuthPassword.size() < kMinPasswordLength)
      return QStringLiteral("The authentication password needs 8 characters or more.");
    if (level == 2 && choice.PrivPassword.size() < kMinPasswordLength)
      return QStringLiteral("The privacy password needs 8 characters or more.");
  }
  static const QRegularExpression oid(QStringLiteral("^[0-9]+(\\.[0-9]+)+$"));
  if (!oid.match(Q(choice.Counter)).hasMatch())
    return QStringLiteral("The counter's OID is numbers with dots, such as 1.3.6.1.2.1.2.2.1.10.");
  return {};
}

void TConnectDialog::accept() {
  const QString fault = Fault();
  if (!fault.isEmpty()) {
    Message->setText(fault);
    Message->show();
    return;
  }
  QDialog::accept();
}

void TConnectDialog::LoadRecent() {
  m_recent.clear();
  Recent->clear();
  if (m_settingsFile.isEmpty()) return;
  QSettings settings(m_settingsFile, QSettings::IniFormat);
  const int count = settings.beginReadArray(QStringLiteral("recentagents"));
  for (int i = 0; i < count && i < kRecentAgents; ++i) {
    settings.setArrayIndex(i);
    TAgentChoice agent;
    agent.Host = settings.value(QStringLiteral("host")).toString().toStdString();
    agent.Port = settings.value(QStringLiteral("port"), 161).toInt();
    agent.Version = settings.value(QStringLiteral("version"), 1).toInt();
    agent.User = settings.value(QStringLiteral("user")).toString().toStdString();
    agent.SecurityLevel =
        settings.value(QStringLiteral("securitylevel"), QStringLiteral("noAuthNoPriv"))
            .toString()
            .toStdString();
    agent.AuthProtocol = settings.value(QStringLiteral("authprotocol"), QStringLiteral("MD5"))
                             .toString()
                             .toStdString();
    agent.PrivProtocol = settings.value(QStringLiteral("privprotocol"), QStringLiteral("DES"))
                             .toString()
                             .toStdString();
    agent.Counter = settings.value(QStringLiteral("counter"), QString::fromStdString(agent.Counter))
                        .toString()
                        .toStdString();
    if (agent.Host.empty()) continue;
    m_recent.push_back(agent);
    Recent->addItem(AgentTitle(agent));
  }
  settings.endArray();
  Recent->setCurrentIndex(-1);
  Recent->setEnabled(!m_recent.empty());
}

void TConnectDialog::PickRecent(int index) {
  if (index < 0 || index >= static_cast<int>(m_recent.size())) return;
  // The secrets were never kept: the community stays as typed, the passwords are asked again.
  TAgentChoice agent = m_recent[static_cast<size_t>(index)];
  agent.Community = Community->text().toStdString();
  SetChoice(agent);
}

void TConnectDialog::Remember(const TAgentChoice& choice) {
  if (m_settingsFile.isEmpty()) return;
  TAgentChoice kept = choice;
  kept.Community.clear();
  kept.AuthPassword.clear();
  kept.PrivPassword.clear();
  std::vector<TAgentChoice> recent{kept};
  for (TAgentChoice agent : m_recent) {
    agent.Community.clear();
    if (agent != kept && recent.size() < kRecentAgents) recent.push_back(agent);
  }
  QSettings settings(m_settingsFile, QSettings::IniFormat);
  settings.remove(QStringLiteral("recentagents"));
  settings.beginWriteArray(QStringLiteral("recentagents"), static_cast<int>(recent.size()));
  for (size_t i = 0; i < recent.size(); ++i) {
    settings.setArrayIndex(static_cast<int>(i));
    const TAgentChoice& agent = recent[i];
    settings.setValue(QStringLiteral("host"), Q(agent.Host));
    settings.setValue(QStringLiteral("port"), agent.Port);
    settings.setValue(QStringLiteral("version"), agent.Version);
    settings.setValue(QStringLiteral("user"), Q(agent.User));
    settings.setValue(QStringLiteral("securitylevel"), Q(agent.SecurityLevel));
    settings.setValue(QStringLiteral("authprotocol"), Q(agent.AuthProtocol));
    settings.setValue(QStringLiteral("privprotocol"), Q(agent.PrivProtocol));
    settings.setValue(QStringLiteral("counter"), Q(agent.Counter));
  }
  settings.endArray();
  settings.sync();
  LoadRecent();
}

}  // namespace kestrava
