#pragma once

namespace parlivo {

// The preference pane on screen: it sets itself as Trellik's settings delegate when it is shown
// and clears it when it is hidden.
class TrellikSettingsDelegate {
public:
    virtual ~TrellikSettingsDelegate() = default;
    // Refill every control of the pane from the current settings.
    virtual void settingsDidChange() = 0;
};

}  // namespace parlivo
