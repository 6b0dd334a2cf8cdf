#include "WQSendMail.h"

#include "WQDiagnosis.h"
#include "system/SharingService.h"

namespace parlivo {

WQSendMail::WQSendMail(const platform::Bundle& bundle, std::function<std::string()> systemInfoJSON)
    : bundle_(bundle), systemInfoJSON_(std::move(systemInfoJSON)) {
    if (!systemInfoJSON_) systemInfoJSON_ = [] { return WQDiagnosis::shared().systemInfoJSON(); };
}

void WQSendMail::composeSupportMail(const std::string& address, const std::string& subject, bool useHelpSubject,
                                    const std::string& message) {
    const std::string applicationName = bundle_.infoString("CFBundleName").value_or(fallbackApplicationName);
    this->address = address;
    this->subject = useHelpSubject ? applicationName + helpSubjectSuffix : subject;
    this->message = message + systemInfoSeparator + systemInfoJSON_();
}

void WQSendMail::composeErrorMail(const std::string& address, const std::string& subject, bool useHelpSubject,
                                  const std::optional<std::string>& message,
                                  const std::optional<platform::Error>& error) {
    const std::string report = error ? error->description() : noErrorReport;
    const std::string body = message.value_or(personalMessagePrompt) + errorSeparator + report;
    composeSupportMail(address, subject, useHelpSubject, body);
}

bool WQSendMail::send() {
    if (!address || !subject || !message) return false;
    auto service = platform::SharingService::named(platform::SharingService::composeEmail);
    if (!service) return false;
    service->setRecipients({*address});
    service->setSubject(*subject);
    const std::vector<std::string> items{*message};
    return service->canPerform(items) && service->perform(items);
}

}  // namespace parlivo
