#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// A tray item (the menu-bar status item of the Mac): a StatusNotifierItem through
// libayatana-appindicator3. The item keeps its image name, tooltip and menu so that callers and
// tests can read them back. Such an item cannot tell a left click from a request for its menu,
// so whatever the program does on a click belongs in the first menu entry (which is also the
// item's middle-click action). Without a display the item is kept in memory only.
// Main thread.
class StatusNotifierItem {
public:
    struct MenuEntry {
        std::string label;
        std::function<void()> action;
    };

    // `id` names the item on the bus; `iconDirectory` is the folder its icon files are in.
    StatusNotifierItem(std::string id, std::filesystem::path iconDirectory);
    ~StatusNotifierItem();  // removes the item from the tray
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // Shows the icon file `name` (without extension) of the icon directory. A template image is
    // tinted by the panel like the Mac's menu bar does: the item asks for the symbolic variant,
    // "<name>-symbolic". An empty name removes the image.
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

    // Whether a real tray item exists (a display was there when it was made).
    bool isOnDisplay() const;

private:
    struct Native;
    void rebuildMenu();

    std::string id_;
    std::filesystem::path iconDirectory_;
    std::string imageName_;
    std::string iconName_;
    bool isTemplate_ = false;
    std::string tooltip_;
    std::vector<MenuEntry> menu_;
    std::unique_ptr<Native> native_;
    // Handed to the menu's signal handlers, so they never outlive the item's state.
    std::shared_ptr<StatusNotifierItem*> self_;
};

}  // namespace platform
