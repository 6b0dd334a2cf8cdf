#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gdkmm/rectangle.h>
#include <gtk/gtk.h>
#include <sigc++/connection.h>

namespace Gtk {
class Button;
class Popover;
class Widget;
}  // namespace Gtk

namespace parlivo {

// What an alert says: a message, an informative text, its buttons (the first is the default)
// and how grave it is (the icon).
struct ZOAAlert {
    enum class Style { warning, informational, critical };
    std::string messageText;
    std::string informativeText;
    std::vector<std::string> buttons;
    Style style = Style::warning;
};

// An alert shown in a dark popover that points at a widget, instead of a dialog. The answer
// comes through the completion with the codes a modal alert returns: 1000 for the first button,
// 1001 for the second, and so on. A click outside (or Escape) closes it without an answer.
// Main thread only.
class ZOAAlertPopover : public std::enable_shared_from_this<ZOAAlertPopover> {
public:
    static constexpr int firstButtonReturn = 1000;
    // The side of the rectangle the popover should appear on. The Mac's edges, in its y-up
    // coordinates: minY is below the rectangle, maxY above it.
    enum class RectEdge { minX = 0, minY = 1, maxX = 2, maxY = 3 };
    using Completion = std::function<void(int response)>;
    // The style class that makes the popover dark, whatever the theme.
    static constexpr const char* styleClass = "zoa-alert-popover";

    // Creates an instance that keeps itself alive while shown and shows it. An empty
    // rectangle points at the whole widget. Returns the instance (for tests; nobody must keep it).
    static std::shared_ptr<ZOAAlertPopover> showWithAlert(ZOAAlert alert, Completion completion, Gdk::Rectangle rect,
                                                          Gtk::Widget& view, RectEdge preferredEdge);

    static std::shared_ptr<ZOAAlertPopover> create(ZOAAlert alert, Completion completion);
    ~ZOAAlertPopover();
    ZOAAlertPopover(const ZOAAlertPopover&) = delete;
    ZOAAlertPopover& operator=(const ZOAAlertPopover&) = delete;

    // Shows the popover; nothing when it is shown already.
    void showRelativeTo(Gdk::Rectangle rect, Gtk::Widget& view, RectEdge preferredEdge);
    bool isShown() const { return isShown_; }
    // When true the instance owns itself while shown and lets go of itself once it has closed.
    void setShouldReleaseItself(bool on) { shouldReleaseItself_ = on; }

    // A button was pressed (index into the alert's buttons): the completion gets 1000 + index,
    // then the popover closes.
    void dismissAlert(std::size_t buttonIndex);
    // Closes the popover without an answer, as a click outside does.
    void close();

    const ZOAAlert& alert() const { return alert_; }
    Gtk::Popover* popover() const { return popover_.get(); }
    const std::vector<Gtk::Button*>& buttons() const { return buttons_; }

    // How many self-owned instances are alive (tests).
    static std::size_t selfOwnedCount();

private:
    ZOAAlertPopover(ZOAAlert alert, Completion completion);
    void popoverDidClose();
    void releasePopover();
    static void viewWasDestroyed(GtkWidget* widget, gpointer data);

    ZOAAlert alert_;
    Completion completion_;
    std::unique_ptr<Gtk::Popover> popover_;
    std::vector<Gtk::Button*> buttons_;
    sigc::connection viewDestroyed_;
    GtkWidget* relativeWidget_ = nullptr;  // compared only, never used after its destruction
    bool isShown_ = false;
    bool shouldReleaseItself_ = false;
};

}  // namespace parlivo
