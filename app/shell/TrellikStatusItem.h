#pragma once

#include <memory>
#include <optional>
#include <string>

#include "foundation/ObserverToken.h"
#include "settings/Enums.h"
#include "settings/StatusIndicator.h"

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
class TrellikStatusItem : public StatusIndicator {
public:
    struct Image {
        std::string name;  // the icon's resource name
        bool isTemplate;   // tinted by the panel (shipped as the "-symbolic" variant)
    };

    // `owner` is the settings model whose count and delegates it reads; `badge` the launcher
    // entry it maintains. The shell hands it to the model (Trellik::setStatusItem).
    explicit TrellikStatusItem(Trellik& owner, platform::LauncherEntry& badge);
    // The one `trellik` holds, if any.
    static TrellikStatusItem* of(const Trellik& trellik);
    ~TrellikStatusItem() override;
    TrellikStatusItem(const TrellikStatusItem&) = delete;
    TrellikStatusItem& operator=(const TrellikStatusItem&) = delete;

    // The tray item, while it exists.
    platform::StatusNotifierItem* statusItem() const { return statusItem_.get(); }
    bool hasStatusItem() const { return statusItem_ != nullptr; }
    // StatusIndicator
    void createStatusItem() override;
    void removeStatusItem() override;
    bool isShownInTray() const override;
    void update() override;
    // The folder handed to tray hosts as the item's icon theme path: the program's own icon theme.
    static std::string iconThemePath();

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
