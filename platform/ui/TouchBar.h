#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Linux has no touch bar. This is the bar's model, kept in memory so that the code that builds
// bars, reacts to presses and opens pop-overs runs the same way and tests can read the result.
// Nothing is drawn. Main thread only.

// Identifiers of the standard items, which no delegate makes.
namespace touchbar {
inline constexpr std::string_view kFlexibleSpace = "NSTouchBarItemIdentifierFlexibleSpace";
inline constexpr std::string_view kFixedSpaceSmall = "NSTouchBarItemIdentifierFixedSpaceSmall";
inline constexpr std::string_view kFixedSpaceLarge = "NSTouchBarItemIdentifierFixedSpaceLarge";
inline constexpr std::string_view kOtherItemsProxy = "NSTouchBarItemIdentifierOtherItemsProxy";
inline constexpr std::string_view kCharacterPicker = "NSTouchBarItemIdentifierCharacterPicker";

bool isStandardIdentifier(std::string_view identifier);
}  // namespace touchbar

struct TouchBarColor {
    double red = 0, green = 0, blue = 0, alpha = 1;
    bool operator==(const TouchBarColor&) const = default;
};

// A push button that a custom item shows: a title or an image (by name), enabled or not, and an
// action that a press runs with the button as sender.
class TouchBarButton {
public:
    using Action = std::function<void(TouchBarButton& sender)>;

    TouchBarButton(std::string title, std::string imageName, Action action = {});

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    // Empty when the button shows no image.
    const std::string& imageName() const { return imageName_; }
    void setImageName(std::string name) { imageName_ = std::move(name); }
    bool imageIsTemplate() const { return imageIsTemplate_; }
    void setImageIsTemplate(bool on) { imageIsTemplate_ = on; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool on) { enabled_ = on; }
    // The identifier a press handler tells buttons apart by; none when unset.
    const std::optional<std::string>& identifier() const { return identifier_; }
    void setIdentifier(std::optional<std::string> identifier) { identifier_ = std::move(identifier); }
    const std::optional<TouchBarColor>& bezelColor() const { return bezelColor_; }
    void setBezelColor(std::optional<TouchBarColor> color) { bezelColor_ = color; }
    // A fixed width in points; none keeps the natural width.
    const std::optional<double>& width() const { return width_; }
    void setWidth(std::optional<double> width) { width_ = width; }
    bool hasAction() const { return static_cast<bool>(action_); }
    void setAction(Action action) { action_ = std::move(action); }

    // What a tap does: runs the action when the button is enabled and has one. Returns whether it ran.
    bool press();

private:
    std::string title_;
    std::string imageName_;
    bool imageIsTemplate_ = false;
    bool enabled_ = true;
    std::optional<std::string> identifier_;
    std::optional<TouchBarColor> bezelColor_;
    std::optional<double> width_;
    Action action_;
};

class TouchBar;

class TouchBarItem {
public:
    explicit TouchBarItem(std::string identifier) : identifier_(std::move(identifier)) {}
    virtual ~TouchBarItem() = default;
    TouchBarItem(const TouchBarItem&) = delete;
    TouchBarItem& operator=(const TouchBarItem&) = delete;

    const std::string& identifier() const { return identifier_; }
    // The name shown in the customization palette; empty when none.
    const std::string& customizationLabel() const { return customizationLabel_; }
    void setCustomizationLabel(std::string label) { customizationLabel_ = std::move(label); }

private:
    std::string identifier_;
    std::string customizationLabel_;
};

// An item that shows one button (its view).
class CustomTouchBarItem : public TouchBarItem {
public:
    using TouchBarItem::TouchBarItem;
    const std::shared_ptr<TouchBarButton>& view() const { return view_; }
    void setView(std::shared_ptr<TouchBarButton> view) { view_ = std::move(view); }

private:
    std::shared_ptr<TouchBarButton> view_;
};

// An item shown collapsed (image and/or label) that opens its own bar when tapped.
// `sender` is whoever asked (a pressed button, another item, ...), compared by identity; null
// for none.
class PopoverTouchBarItem : public TouchBarItem {
public:
    using TouchBarItem::TouchBarItem;

    const std::string& collapsedRepresentationImage() const { return collapsedImage_; }
    void setCollapsedRepresentationImage(std::string imageName) { collapsedImage_ = std::move(imageName); }
    const std::string& collapsedRepresentationLabel() const { return collapsedLabel_; }
    void setCollapsedRepresentationLabel(std::string label) { collapsedLabel_ = std::move(label); }
    const std::shared_ptr<TouchBar>& popoverTouchBar() const { return popoverTouchBar_; }
    void setPopoverTouchBar(std::shared_ptr<TouchBar> bar) { popoverTouchBar_ = std::move(bar); }
    bool showsCloseButton() const { return showsCloseButton_; }
    void setShowsCloseButton(bool on) { showsCloseButton_ = on; }

    // Opens the pop-over bar (it is then the bar on show) / closes it again.
    virtual void showPopover(const void* sender);
    virtual void dismissPopover(const void* sender);
    bool isPopoverShown() const { return shown_; }
    // How often the pop-over was opened and closed, for whoever watches the model.
    int showCount() const { return showCount_; }
    int dismissCount() const { return dismissCount_; }

private:
    std::string collapsedImage_;
    std::string collapsedLabel_;
    std::shared_ptr<TouchBar> popoverTouchBar_;
    bool showsCloseButton_ = true;
    bool shown_ = false;
    int showCount_ = 0;
    int dismissCount_ = 0;
};

// Makes a bar's items on request.
class TouchBarDelegate {
public:
    virtual ~TouchBarDelegate() = default;
    // The item for `identifier`, or null when there is none (the bar then leaves it out).
    virtual std::shared_ptr<TouchBarItem> makeItemForIdentifier(TouchBar& touchBar, const std::string& identifier) = 0;
};

class TouchBar {
public:
    TouchBar() = default;
    TouchBar(const TouchBar&) = delete;
    TouchBar& operator=(const TouchBar&) = delete;

    // Not owned. The delegate outlives the bar or clears itself here before it goes away.
    TouchBarDelegate* delegate() const { return delegate_; }
    void setDelegate(TouchBarDelegate* delegate) { delegate_ = delegate; }

    // Empty when the bar cannot be customized.
    const std::string& customizationIdentifier() const { return customizationIdentifier_; }
    void setCustomizationIdentifier(std::string identifier) { customizationIdentifier_ = std::move(identifier); }
    const std::vector<std::string>& defaultItemIdentifiers() const { return defaultItemIdentifiers_; }
    void setDefaultItemIdentifiers(std::vector<std::string> identifiers);
    const std::vector<std::string>& customizationAllowedItemIdentifiers() const { return allowedItemIdentifiers_; }
    void setCustomizationAllowedItemIdentifiers(std::vector<std::string> identifiers) {
        allowedItemIdentifiers_ = std::move(identifiers);
    }

    // The item for `identifier`: asked of the delegate once and kept while the bar lives.
    // Null for standard identifiers, without a delegate, or when the delegate makes none.
    std::shared_ptr<TouchBarItem> itemForIdentifier(const std::string& identifier);
    // The items the bar shows: those of the default identifiers that are not standard ones,
    // in order, leaving out the ones that could not be made.
    std::vector<std::shared_ptr<TouchBarItem>> items();

private:
    TouchBarDelegate* delegate_ = nullptr;
    std::string customizationIdentifier_;
    std::vector<std::string> defaultItemIdentifiers_;
    std::vector<std::string> allowedItemIdentifiers_;
    std::vector<std::pair<std::string, std::shared_ptr<TouchBarItem>>> made_;
};

// Something that offers a bar (a view, a window): builds it on first request and keeps it
// until it is cleared, so that clearing it is how a bar gets rebuilt.
class TouchBarProvider {
public:
    virtual ~TouchBarProvider() = default;

    // The current bar, made through makeTouchBar() when there is none (may stay null).
    std::shared_ptr<TouchBar> touchBar();
    // Replaces the bar; null drops it so that the next request builds a new one.
    void setTouchBar(std::shared_ptr<TouchBar> bar) { touchBar_ = std::move(bar); }
    // The bar as it is, without building one.
    const std::shared_ptr<TouchBar>& currentTouchBar() const { return touchBar_; }

protected:
    virtual std::shared_ptr<TouchBar> makeTouchBar() { return nullptr; }

private:
    std::shared_ptr<TouchBar> touchBar_;
};

}  // namespace platform
