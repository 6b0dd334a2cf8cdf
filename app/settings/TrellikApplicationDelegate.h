#pragma once

namespace parlivo {

// What Trellik needs of the application delegate: opening the preferences window. The
// application delegate registers itself with Trellik::setApplicationDelegate at start-up.
class TrellikApplicationDelegate {
public:
    virtual ~TrellikApplicationDelegate() = default;
    virtual void showPreferencesWindow() = 0;
};

}  // namespace parlivo
