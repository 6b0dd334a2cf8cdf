#pragma once

// What a program shows, read the way a screen reader reads it: through the accessibility bus
// (AT-SPI) of the test's private session. GTK publishes every window, label and button there, so
// an end-to-end test can see the texts the user sees and press the buttons the user presses,
// without knowing where on the screen they are.
//
//   testsupport::Accessibility a11y(program->pid());
//   ASSERT_TRUE(a11y.waitFor(testsupport::Accessibility::named("label", "Loading ...")));
//   ASSERT_TRUE(a11y.press("Try Again"));
//
// The web page inside a web view is not walked (it is WebKit's, and large): only the native
// views around it. Every wait is bounded and looks again as soon as the last look ends.

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

typedef struct _AtspiAccessible AtspiAccessible;

namespace testsupport {

class Accessibility {
public:
    // One element: its role as AT-SPI names it ("push button", "label", "dialog", "frame",
    // "text", ...), its accessible name (a label's text, a button's title, a window's title),
    // whether it is showing, and the window it lies in.
    struct Element {
        std::string role;
        std::string name;
        bool showing = false;
        std::string text;    // a text field's contents
        std::string window;  // the name of its top-level window or dialog
        std::shared_ptr<AtspiAccessible> object;
    };
    using Matcher = std::function<bool(const Element&)>;

    // The program with process id `pid` (its accessible application appears once it has made
    // its first window).
    explicit Accessibility(pid_t pid);
    ~Accessibility();

    // Everything the program shows now, windows and dialogs in order, depth first.
    std::vector<Element> elements();
    // The first element that matches, once one does.
    std::optional<Element> waitFor(const Matcher& matcher, double timeoutSeconds = 30);
    // Waits until no element matches any more; false when one still does at the end.
    bool waitUntilGone(const Matcher& matcher, double timeoutSeconds = 30);

    // Presses the showing button titled `title` (in the window or dialog named `window`, when
    // given), as a click or the keyboard does.
    bool press(std::string_view title, std::string_view window = {}, double timeoutSeconds = 30);
    // Does the first action (a click; a menu item's activation) of the first element that
    // matches.
    bool activate(const Matcher& matcher, double timeoutSeconds = 30);
    // Sets the value of the first element that matches and has one (a slider, a spin button), as
    // a screen reader does.
    bool setValue(const Matcher& matcher, double value, double timeoutSeconds = 30);
    // Replaces the text of the first showing text field of the window or dialog `window`.
    // (An entry's accessible role is "text".)
    bool setText(std::string_view window, std::string_view text, double timeoutSeconds = 30);

    // Matchers.
    static Matcher named(std::string_view role, std::string_view name);  // showing, exact name
    static Matcher containing(std::string_view role, std::string_view text);  // showing, name contains
    // Every text of the showing elements, one a line, for failure messages.
    std::string describe();

private:
    std::shared_ptr<AtspiAccessible> application();
    pid_t pid_;
    std::shared_ptr<AtspiAccessible> application_;
};

}  // namespace testsupport
