#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "system/Error.h"

namespace Gtk {
class Widget;
}

namespace parlivo {

class WQSendMail;

// The connection-error screen shown in place of the page when the configuration could not be
// had: a header, a text chosen by the kind of failure, "Try again" and a support-mail button.
// Built from ui/DynamicDataErrorView.ui; its texts come from the strings table and are
// refilled each time the view is mapped.
class DynamicDataErrorViewController {
public:
    static std::shared_ptr<DynamicDataErrorViewController> create();
    virtual ~DynamicDataErrorViewController() = default;

    // The screen's widget tree (owned by the controller).
    virtual Gtk::Widget& view() = 0;
    // What "Try again" runs; none does nothing.
    virtual void setTryAgainAction(std::function<void()> action) = 0;
    // Refills the texts from DynamicData::shared()'s last error (each time the view appears).
    virtual void updateErrorTexts() = 0;

    // The texts for an error, without a display.
    static std::string headerText();
    static std::string bodyText(const std::optional<platform::Error>& error);

    // The support button: a mail to the support address describing DynamicData::shared()'s
    // last failure, handed to the user's mail program.
    static void sendConnectionProblemMail();
    // The same mail from a given failure, composed into `mail` and sent through it.
    static void sendConnectionProblemMail(WQSendMail& mail, const std::optional<std::string>& errorDescription,
                                          const std::optional<platform::Error>& error);
    // The failure as the mail reports it: the error code and the error, each as an optional
    // value ("Optional(...)" or "nil"), between them "\n---\n".
    static std::string errorReport(const std::optional<std::string>& errorDescription,
                                   const std::optional<platform::Error>& error);
};

}  // namespace parlivo
