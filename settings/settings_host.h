// What the settings store needs of the program above it (the wide application object and the main
// window), reached through an interface that the main window sets at start and tests implement.
#pragma once

#include <string>

namespace settings {

class ISettingsHost {
public:
    virtual ~ISettingsHost() = default;
    // The running program's full path (the wide command line's argument 0).
    virtual std::wstring ExeName() const = 0;
    // The main window's size in pixels at the moment the settings are registered.
    virtual int MainFormWidth() const = 0;
    virtual int MainFormHeight() const = 0;
};

// The host in use; nullptr until set. Set by the main window's layer at start; not owned.
ISettingsHost* SettingsHost();
void SetSettingsHost(ISettingsHost* host);

}  // namespace settings
