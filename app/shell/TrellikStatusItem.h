#pragma once

#include <memory>
#include <optional>
#include <string>

#include "foundation/ObserverToken.h"
#include "settings/Enums.h"

namespace platform {
class LauncherEntry;
class StatusNotifierItem;
}  // namespace platform

namespace parlivo {

class Trellik;

// The settings model's tray item and launcher badge: both show whether unread messages wait,
// within do-not-disturb and the privacy lock (while locked only the two privacy settings
// decide). The tray item itself exists only while "showMenuBarIcon" is on; the badge is kept
// either way. Main thread.
class TrellikStatusItem {
public:
    struct Image {
        std::string name;  // the icon's resource name
        bool isTemplate;   // tinted by the panel (shipped as the "-symbolic" variant)
    };

    // `owner` is the settings model whose count and delegates it reads; `badge` the launcher
    // entry it maintains.
    explicit TrellikStatusItem(Trellik& owner, platform::LauncherEntry& badge);
    virtual ~TrellikStatusItem();
    TrellikStatusItem(const TrellikStatusItem&) = delete;
    TrellikStatusItem& operator=(const TrellikStatusItem&) = delete;

    // The tray item, while it exists.
    platform::StatusNotifierItem* statusItem() const { return statusItem_.get(); }
    bool hasStatusItem() const { return statusItem_ != nullptr; }
    // Makes the tray item unless there is one; removes it from the tray.
    void createStatusItem();
    void removeStatusItem();
    // Whether a tray host shows the item now, so that it can bring the window back.
    bool isShownInTray() const;
    // The folder handed to tray hosts as the item's icon theme path: the program's own icon theme.
    static std::string iconThemePath();

    // Recomputes the tray image and the badge from the count and the settings.
    virtual void update();

    // The image for a style under the current "kMonochromeMenuBar", or none when the icon file
    // is missing.
    static std::optional<Image> image(TrellikStatusItemStyle style);
    // The name an image has in the icon theme: the application's identifier, a dot, the image's
    // name ("net.vantreo.mac.WhatsApp.StatusItemWarning").
    static std::string themedIconName(const std::string& imageName);

    // The tray item's click (its first menu entry): show or hide the main window.
    void handleStatusButtonClick();

private:
    Trellik& owner_;
    platform::LauncherEntry& badge_;
    std::unique_ptr<platform::StatusNotifierItem> statusItem_;
    platform::ObserverToken privacyObserver_;
};

}  // namespace parlivo
