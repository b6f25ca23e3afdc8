#pragma once
// TConnectDialog: the agent the window watches. Host, port, SNMP version, the community or the
// SNMPv3 user with its security level, protocols and passwords, and the counter whose columns
// are ranked. Agents connected to before are offered again from a settings file; what is kept
// there never includes a password or a community.
// AgentConfig turns the choice into the session's configuration, which the window hands to a
// new session through an in-memory file (TMemoryFile): the choice's passwords never reach the
// disk.
// Thread: the window's thread only.

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

#include "config/config_rec.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QDialogButtonBox;

namespace kestrava {

struct TAgentChoice {
  std::string Host = "localhost";
  int Port = 161;
  int Version = 1;  // 1, 2 (SNMPv2c) or 3
  std::string Community = "cobalt";
  std::string User;
  std::string SecurityLevel = "noAuthNoPriv";
  std::string AuthProtocol = "MD5";
  std::string AuthPassword;
  std::string PrivProtocol = "DES";
  std::string PrivPassword;
  std::string Counter = "1.3.6.1.2.1.2.2.1.10";  // the column ranked, ifInOctets
  bool operator==(const TAgentChoice&) const = default;
};

// The counters offered by name: the interface table's traffic, errors and discards.
struct TCounterChoice {
  const char* Name;
  const char* Oid;
  const char* Title;  // the chart's title for it
};
const std::vector<TCounterChoice>& CounterChoices();

// The configuration file's text for a session against the agent: its targets, and the
// presentation of the session it replaces (cfg, the polling interval, the window's size).
std::string AgentConfig(const TAgentChoice& agent, const TConfigRec& cfg, int interval, int width,
                        int height);

// A file that lives only in memory, named by a path any file API can open while it exists.
class TMemoryFile {
 public:
  explicit TMemoryFile(const std::string& content);
  ~TMemoryFile();
  TMemoryFile(const TMemoryFile&) = delete;
  TMemoryFile& operator=(const TMemoryFile&) = delete;
  bool ok() const { return m_fd >= 0; }
  std::string Path() const;

 private:
  int m_fd = -1;
};

class TConnectDialog : public QDialog {
  Q_OBJECT

 public:
  // settingsFile holds the recent agents (an INI file; it need not exist yet).
  explicit TConnectDialog(const QString& settingsFile, QWidget* parent = nullptr);

  void SetChoice(const TAgentChoice& choice);
  TAgentChoice Choice() const;
  // Why the dialog came up (a failed start), shown above the fields; empty hides it.
  void SetProblem(const QString& text);
  QString Problem() const;
  // Puts the choice first in the recent agents, without its passwords and community.
  void Remember(const TAgentChoice& choice);

  // Checks the fields; accepts only a choice a session can start with.
  void accept() override;

  QComboBox* Recent;
  QLineEdit* Host;
  QSpinBox* Port;
  QComboBox* Version;
  QLineEdit* Community;
  QLineEdit* User;
  QComboBox* SecurityLevel;
  QComboBox* AuthProtocol;
  QLineEdit* AuthPassword;
  QComboBox* PrivProtocol;
  QLineEdit* PrivPassword;
  QComboBox* Counter;
  QLineEdit* CounterOid;
  QLabel* Message;
  QDialogButtonBox* Buttons;

 private:
  // The fields that apply to the version, level and counter chosen are enabled.
  void FollowChoices();
  void LoadRecent();
  void PickRecent(int index);
  // Why the fields cannot make a session; empty when they can.
  QString Fault() const;

  QString m_settingsFile;
  std::vector<TAgentChoice> m_recent;
};

}  // namespace kestrava
