#include "shell/Application.h"

#include <gtkmm/applicationwindow.h>
#include <gtkmm/builder.h>

#include "foundation/ProcessInfo.h"

namespace parlivo {

Application::Application()
    : Gtk::Application("net.vantreo.mac.WhatsApp", Gio::APPLICATION_HANDLES_OPEN) {}

Glib::RefPtr<Application> Application::create() {
    return Glib::RefPtr<Application>(new Application());
}

int Application::runMain(int argc, char** argv) {
    // Our own launch arguments ("-de", "-beta", ...) are saved first; GApplication only sees
    // the program name and the URLs or files it should open.
    platform::ProcessInfo::saveArguments(argc, argv);
    std::vector<std::string> forGtk = platform::ProcessInfo::openableArguments();
    std::vector<char*> gtkArgv;
    for (auto& arg : forGtk) gtkArgv.push_back(arg.data());
    gtkArgv.push_back(nullptr);
    auto app = create();
    return app->run(static_cast<int>(forGtk.size()), gtkArgv.data());
}

void Application::on_activate() {
    if (!mainWindow_) {
        auto builder = Gtk::Builder::create_from_resource("/net/vantreo/mac/WhatsApp/ui/Main.ui");
        builder->get_widget("MainWindowController", mainWindow_);
        add_window(*mainWindow_);
    }
    mainWindow_->present();
}

}  // namespace parlivo
