#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class FakeBusService;

// A stand-in for the desktop portal's file chooser on the session bus
// (org.freedesktop.portal.Desktop, /org/freedesktop/portal/desktop,
// org.freedesktop.portal.FileChooser). A program whose GTK uses the portal (GTK_USE_PORTAL=1)
// shows its Gtk::FileChooserNative through it: each OpenFile is recorded and answered, as the
// portal does, through the Response signal of its request object, sent to the caller alone. The
// test says beforehand what the "user" chooses; a request with no answer ready waits for one.
// With the portal in use, GLib asks it for network proxies as well: it answers "direct://".
class FakeFileChooserPortal {
public:
    // One OpenFile as the program sent it.
    struct Request {
        std::string parentWindow;  // "x11:<id>"
        std::string title;
        bool multiple = false;
        bool modal = false;
        bool directory = false;
        // The filters: a name and its rules, (0, glob pattern) or (1, MIME type).
        std::vector<std::pair<std::string, std::vector<std::pair<unsigned, std::string>>>> filters;
    };

    // Starts serving; returns once the name is owned (null when there is no session bus or the
    // name is taken).
    static std::unique_ptr<FakeFileChooserPortal> start();
    ~FakeFileChooserPortal();  // releases the name

    // The next request is answered with these files (in this order), or cancelled with none.
    void answerNextWith(std::optional<std::vector<std::filesystem::path>> files);
    // The requests so far.
    std::vector<Request> requests() const;
    // Waits (bounded) until `count` requests have come.
    bool waitForRequests(std::size_t count, double timeoutSeconds = 30) const;

    struct State;

private:
    FakeFileChooserPortal() = default;
    std::shared_ptr<State> state_;
    std::unique_ptr<FakeBusService> service_;
};

}  // namespace testsupport
