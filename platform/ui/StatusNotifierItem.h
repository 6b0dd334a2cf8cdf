#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// A tray item (the menu-bar status item of the Mac): a StatusNotifierItem through
// libayatana-appindicator3. The item keeps its image name, tooltip and menu so that callers and
// tests can read them back. Such an item cannot tell a left click from a request for its menu,
// so whatever the program does on a click belongs in the first menu entry (which is also the
// item's middle-click action). Main thread.
//
// The tray shows an item only where a tray host runs (a StatusNotifierWatcher on the session
// bus). Without one the item is kept in memory only and a line in the log says so; when a host
// comes later, the item appears there, and it goes when the host goes. Without a display, too,
// the item lives in memory only. Icons are looked up by name in the icon theme (the program's
// icons are installed into hicolor), never from a folder of our own.
class StatusNotifierItem {
public:
    struct MenuEntry {
        std::string label;
        std::function<void()> action;
    };

    static constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";

    // `id` names the item on the bus.
    explicit StatusNotifierItem(std::string id);
    ~StatusNotifierItem();  // removes the item from the tray
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // Shows the themed icon `name`. A template image is tinted by the panel like the Mac's menu
    // bar does: the item asks for the symbolic variant, "<name>-symbolic". An empty name removes
    // the image.
    void setImage(const std::string& name, bool isTemplate);
    // The icon name handed to the tray ("" when there is no image), and what was asked for.
    const std::string& iconName() const { return iconName_; }
    const std::string& imageName() const { return imageName_; }
    bool isTemplate() const { return isTemplate_; }

    void setTooltip(const std::string& tooltip);
    const std::string& tooltip() const { return tooltip_; }

    void setMenu(std::vector<MenuEntry> entries);
    const std::vector<MenuEntry>& menu() const { return menu_; }
    // Runs the action of a menu entry, as choosing it in the tray does. False for a bad index.
    bool activateMenuEntry(std::size_t index);

    // Whether the item is in a tray now: a display is there and a tray host runs.
    bool isOnDisplay() const;

private:
    struct Native;
    void watcherAppeared();
    void watcherVanished();
    void rebuildMenu();

    std::string id_;
    std::string imageName_;
    std::string iconName_;
    bool isTemplate_ = false;
    std::string tooltip_;
    std::vector<MenuEntry> menu_;
    std::unique_ptr<Native> native_;
    unsigned watch_ = 0;
    bool saidNoHost_ = false;
    // Handed to the menu's and the bus watch's handlers, so they never outlive the item's state.
    std::shared_ptr<StatusNotifierItem*> self_;
};

}  // namespace platform
