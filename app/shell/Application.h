#pragma once

#include <gtkmm/application.h>
#include <gtkmm/applicationwindow.h>

namespace parlivo {

// The program's Gtk::Application: owns the bus name "net.vantreo.mac.WhatsApp", so a second
// start reaches the running instance instead of starting another process.
class Application : public Gtk::Application {
public:
    static Glib::RefPtr<Application> create();

    // Saves the launch arguments, then runs the main loop. Returns the exit status.
    static int runMain(int argc, char** argv);

protected:
    Application();
    void on_activate() override;

private:
    Gtk::ApplicationWindow* mainWindow_ = nullptr;
};

}  // namespace parlivo
