#pragma once
// SetupSession: the start-up set-up of a session, run once by the window's creation handler
// after the OID name table is filled and the toolbar disabled. Defaults, then the command
// line, then the configuration file or the built-in "Top receivers" target; then the values
// go to the window through IMainWindow, and instance discovery starts for the modes AT
// RUNTIME and ALL INSTANCES. Returns false when it stopped early (a file that failed to load,
// "/XML" without a value, or any error inside, which is swallowed): the window then keeps its
// design-time state with the controls disabled and nothing is polled.
// Thread: the window's thread.

#include <functional>
#include <string>
#include <vector>

#include "config/config_rec.h"
#include "engine/window.h"
#include "shared/session_types.h"

namespace kestrava {

struct TSetupHooks {
  // Starts the session over: the first selection, the request ids, the last refresh.
  std::function<void()> ResetSessionCounters;
  // Walks the label column to discover the instances.
  std::function<void()> StartInstanceWalk;
};

// The "#Slices" and polling-interval lists as the set-up first fills them.
const std::vector<std::string>& DefaultSliceItems();
const std::vector<std::string>& DefaultIntervalItems();

// Selects the configured number of slices in items, inserting it in falling order when it is
// missing; returns its index, or 0 ("Any") when slices is not greater than 1.
int InsertSliceItem(std::vector<std::string>& items, int slices);
// Selects the interval in items, inserting it in rising order when it is missing.
int InsertIntervalItem(std::vector<std::string>& items, int interval);

bool SetupSession(const std::vector<std::string>& args, TConfigRec& cfg, TRequest& session,
                  IMainWindow& window, const TSetupHooks& hooks);

}  // namespace kestrava
