#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
namespace dbus {
class NameWatch;
}

// A tray item (the menu-bar status item of the Mac): a StatusNotifierItem through
// libayatana-appindicator3. The item keeps its image name, tooltip and menu so that callers and
// tests can read them back. Such an item cannot tell a left click from a request for its menu,
// so whatever the program does on a click belongs in the first menu entry (which is also the
// item's middle-click action). Main thread.
//
// The tray shows an item only where a tray host runs (a StatusNotifierWatcher on the session
// bus). Without one the item is kept in memory only and a line in the log says so; when a host
// comes later, the item appears there, and it goes when the host goes. Without a display, too,
// the item lives in memory only. libayatana-appindicator's own fallback (an old-style status
// icon while no host runs) is switched off: it is not safe with an icon folder (its search of the
// theme path reads past the end of its list), and an icon nobody can see is no use anyway.
//
// Icons are named, and the item hands the host the folder that holds them as its icon theme
// path (IconThemePath, a folder with a "hicolor" theme in it), so any host finds the program's
// icons wherever the program is installed.
class StatusNotifierItem {
public:
    struct MenuEntry {
        std::string label;
        std::function<void()> action;
    };

    static constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";

    // `id` names the item on the bus; `iconThemePath` is the folder with the program's icon
    // theme (empty: the hosts' own themes only).
    explicit StatusNotifierItem(std::string id, std::string iconThemePath = {});
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

    // Whether the item is in a tray now: a display is there, a tray host runs and it took the
    // item.
    bool isOnDisplay() const;
    // Runs with the new answer each time isOnDisplay() changes.
    void setDisplayChangedHandler(std::function<void(bool onDisplay)> handler) { displayChanged_ = std::move(handler); }
    const std::string& iconThemePath() const { return iconThemePath_; }

private:
    struct Native;
    void watcherAppeared();
    void watcherVanished();
    void rebuildMenu();
    void setRegistered(bool registered);

    std::string id_;
    std::string iconThemePath_;
    std::string imageName_;
    std::string iconName_;
    bool isTemplate_ = false;
    std::string tooltip_;
    std::vector<MenuEntry> menu_;
    std::unique_ptr<Native> native_;
    std::unique_ptr<dbus::NameWatch> watch_;  // on the tray host
    bool saidNoHost_ = false;
    bool registered_ = false;
    bool toldOnDisplay_ = false;
    std::function<void(bool)> displayChanged_;
    // Handed to the menu's handlers, so they never outlive the item's state.
    std::shared_ptr<StatusNotifierItem*> self_;
};

}  // namespace platform
