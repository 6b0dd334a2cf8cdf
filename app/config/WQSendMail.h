#pragma once

#include <functional>
#include <optional>
#include <string>

#include "foundation/Bundle.h"
#include "system/Error.h"

namespace parlivo {

// One support e-mail: recipient, subject and body with the system information appended, handed
// to the user's mail program for review. Made, composed and sent once, then dropped.
class WQSendMail {
public:
    // `systemInfoJSON` gives the system information (WQDiagnosis.shared's JSON by default).
    explicit WQSendMail(const platform::Bundle& bundle = platform::Bundle::main(),
                        std::function<std::string()> systemInfoJSON = {});
    virtual ~WQSendMail() = default;

    std::optional<std::string> address;
    std::optional<std::string> subject;
    std::optional<std::string> message;

    // With `useHelpSubject` the subject is the application name + " help request".
    virtual void composeSupportMail(const std::string& address, const std::string& subject, bool useHelpSubject,
                                    const std::string& message);
    // A body of the personal message (or a prompt), a separator and the error's description.
    virtual void composeErrorMail(const std::string& address, const std::string& subject, bool useHelpSubject,
                                  const std::optional<std::string>& message,
                                  const std::optional<platform::Error>& error);
    // Opens the compose window when all three fields are set and a mail program is there.
    // False when nothing was opened: nothing composed, or no mail program set up (or it could
    // not be started).
    virtual bool send();

    static constexpr const char* fallbackApplicationName = "Vantreo App";
    static constexpr const char* helpSubjectSuffix = " help request";
    static constexpr const char* systemInfoSeparator = "\n\nSystemInfo: ";
    static constexpr const char* personalMessagePrompt = "Add your personal message here ...";
    static constexpr const char* errorSeparator =
        "\n\n\n\n### Please leave the following unchanged for the support to understand your problem ###\n\n";
    static constexpr const char* noErrorReport = "No error found...";

private:
    const platform::Bundle& bundle_;
    std::function<std::string()> systemInfoJSON_;
};

}  // namespace parlivo
