#pragma once
// TSession: the whole monitoring session that the main window owns: configuration values,
// session lists, value slots, request table, worker and schedule, and the SNMP component.
// Thread: created, used and destroyed on the window's thread; it runs its own worker thread.
// (Public surface used by the window; the rest of the engine's state is declared below it.)

#include <memory>
#include <string>
#include <vector>

#include "config/config_rec.h"
#include "engine/request.h"
#include "engine/window.h"

namespace kestrava {

class TSession {
 public:
  explicit TSession(IMainWindow& window);
  ~TSession();
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  // Creation handler: lists, OID names, locks, worker, SNMP component, set-up and discovery.
  void FormCreate(const std::vector<std::string>& args);
  // Close handler: stops the worker, then releases the tables and lists.
  void FormClose();

  TConfigRec& Config();
  TRequest& SessionRequest();

  // Commands of the window.
  void SetValueMode(bool raw);            // RAW / Delta buttons
  void ComboBox1Change(int index);        // instance mask picked
  void ComboBox2Change(int index);        // number of slices picked
  void ComboBox3Change(int index);        // polling interval picked
  void RefreshInstances1Click(bool checked);
  void FeedChart();
};

}  // namespace kestrava
