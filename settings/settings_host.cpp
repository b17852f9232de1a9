// The settings host in use, set by the layer above at start (or by tests).
#include "settings/settings_host.h"

namespace settings {

namespace {
// Set and read on the main thread only.
ISettingsHost* gHost = nullptr;
}  // namespace

ISettingsHost* SettingsHost() { return gHost; }

void SetSettingsHost(ISettingsHost* host) { gHost = host; }

}  // namespace settings
