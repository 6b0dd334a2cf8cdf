#include "shell/SupportAlertResponse.h"

#include "config/DynamicData.h"
#include "config/WQSendMail.h"
#include "foundation/Localized.h"
#include "foundation/Log.h"
#include "foundation/URL.h"
#include "settings/Keys.h"
#include "system/Workspace.h"

namespace parlivo {

namespace {

void tellAddressNotOpened(const std::function<void(const std::string&)>& notOpened, const std::string& address,
                          const std::string& logLine) {
    // The user hears of it with the address, so it can still be used by hand.
    platform::systemLog(logLine, platform::LogLevel::warning);
    if (notOpened) notOpened(address);
}

}  // namespace

void handleSupportAlertResponse(int response, const std::function<void(const std::string& address)>& notOpened) {
    if (response == SupportAlertResponse::readFAQ) {
        auto faq = DynamicData::shared().FAQ();
        if (!faq || faq->empty()) return;
        // The address comes from the downloaded configuration: only a web page is opened, never a
        // local file or another program's URL scheme.
        if (!platform::isWebAddress(*faq)) {
            platform::systemLog("The FAQ address is not a web page; nothing is opened", platform::LogLevel::warning);
            return;
        }
        if (auto opened = platform::Workspace::openURL(*faq); !opened)
            tellAddressNotOpened(notOpened, *faq, "Could not open the FAQ: " + opened.error().message);
    } else if (response == SupportAlertResponse::contactSupport) {
        WQSendMail mail;
        mail.composeSupportMail(std::string(constants::supportAddress), {}, true,
                                platform::localized("SUPPORT_EMAIL_BODY",
                                                    "Please describe your problem as detailed as possible. "
                                                    "Screenshots are welcome!"));
        if (!mail.send())
            tellAddressNotOpened(notOpened, std::string(constants::supportAddress),
                                 "Could not compose the support mail: no mail program is set up");
    }
}

}  // namespace parlivo
