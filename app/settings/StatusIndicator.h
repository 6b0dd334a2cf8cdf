#pragma once

namespace parlivo {

// What the settings model needs of its tray item and launcher badge. The shell makes the real one
// (TrellikStatusItem) and hands it over with Trellik::setStatusItem; a model without one shows
// nothing on the desktop.
class StatusIndicator {
public:
    virtual ~StatusIndicator() = default;
    // Makes the tray item unless there is one; removes it from the tray (the badge stays).
    virtual void createStatusItem() = 0;
    virtual void removeStatusItem() = 0;
    // Recomputes the tray image and the badge from the count and the settings.
    virtual void update() = 0;
    // Whether a tray host shows the item now, so that it can bring the window back.
    virtual bool isShownInTray() const = 0;
};

}  // namespace parlivo
