#pragma once

#include <memory>

namespace Gtk {
class Widget;
class Window;
}  // namespace Gtk

namespace parlivo {

// What the web media controller needs of the view controller that holds it (the main view
// controller): the window its panels and sheets belong to, and the main view the camera is laid
// over. Main thread only.
class WQWebMediaParent {
public:
    virtual ~WQWebMediaParent() = default;

    // The window the main view lies in; null when it lies in none.
    virtual std::shared_ptr<Gtk::Window> mediaWindow() = 0;
    // Lays the camera's view over the whole main view (it follows the view's size), below the
    // lock screen; and takes it off again.
    virtual void addCameraView(Gtk::Widget& view) = 0;
    virtual void removeCameraView(Gtk::Widget& view) = 0;
    // Hides the page while the camera is up, and shows it again.
    virtual void setWebViewHidden(bool hidden) = 0;
    // Gives the keyboard back to the page.
    virtual void focusWebContainer() = 0;
};

}  // namespace parlivo
