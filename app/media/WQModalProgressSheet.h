#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "WQVideoConverter.h"

namespace parlivo {

// The modal progress sheet as the conversions see it, free of any toolkit type: a title, an
// optional subtitle, a progress indicator fed through WQProgressDelegate and a stop button
// that runs the stop action it was made with. WQModalProgressWindowController is the window
// for it; tests use fakes. Main thread only.
class WQModalProgressSheet : public tovak::WQProgressDelegate {
public:
    // Shows the sheet over its window; it stays until endSheet().
    virtual void beginSheet() = 0;
    // Takes the sheet off its window. Harmless when it is not shown.
    virtual void endSheet() = 0;
};

// What a conversion needs of the window it works for; implemented by the view side (the main
// window's media controller) and by test fakes. Main thread only.
class WQMediaConversionHost {
public:
    virtual ~WQMediaConversionHost() = default;

    // A sheet for the main window, not shown yet; null when there is no window to show it on
    // (the conversion then runs without a sheet).
    virtual std::shared_ptr<WQModalProgressSheet> makeProgressSheet(const std::string& title,
                                                                    const std::optional<std::string>& subTitle,
                                                                    std::function<void()> stopAction) = 0;

    // Tells the user something went wrong with their files (shown over the main window; the
    // caller does not wait for it to be dismissed).
    virtual void presentMessage(const std::string& message, const std::string& informativeText) = 0;
};

}  // namespace parlivo
