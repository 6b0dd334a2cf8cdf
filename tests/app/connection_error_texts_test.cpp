#include <gtest/gtest.h>

#include "WQApplicationInfo.h"
#include "config/DynamicDataErrorViewController.h"
#include "config/WQSendMail.h"
#include "foundation/Localized.h"

using namespace parlivo;
using platform::Error;

namespace {

// A mail that is composed as usual but only recorded when sent.
class RecordedMail : public WQSendMail {
public:
    RecordedMail() : WQSendMail(platform::Bundle::main(), [] { return std::string("{\"Id\" : \"X\"}"); }) {}
    int sent = 0;
    bool send() override {
        ++sent;
        return true;
    }
};

std::string table(const char* key) { return platform::localizedComment(key, ""); }

}  // namespace

TEST(ConnectionErrorTextsTest, TheBodyFollowsTheKindOfFailure) {
    const std::string name = tovak::WQApplicationInfo::applicationName();
    ASSERT_EQ(name, "Parlivo for WhatsApp");
    auto filled = [&](const char* key) {
        std::string text = table(key);
        text.replace(text.find("%@"), 2, name);
        return text;
    };
    struct Case {
        const char* what;
        std::optional<Error> error;
        std::string body;
    };
    const std::vector<Case> cases = {
        {"no error", std::nullopt, table("DYNAMIC_DATA_ERROR_DEFAULT_BODY")},
        {"offline", Error{platform::URLErrorDomain, -1009, "offline"}, filled("DYNAMIC_DATA_ERROR_OFFLINE_MAC_BODY")},
        {"secure connection", Error{platform::URLErrorDomain, -1200, "TLS"}, filled("DYNAMIC_DATA_ERROR_SSL_MAC_BODY")},
        {"time-out", Error{platform::URLErrorDomain, -1001, "timed out"}, table("DYNAMIC_DATA_ERROR_DEFAULT_BODY")},
        {"offline code of another domain", Error{"platform.Crypto", -1009, "x"}, table("DYNAMIC_DATA_ERROR_DEFAULT_BODY")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DynamicDataErrorViewController::bodyText(c.error), c.body);
    }
    // Every key is in the table (a missing one would show as the key), and the name is in place.
    EXPECT_EQ(DynamicDataErrorViewController::headerText(), "Error connecting to server");
    for (const auto& c : cases) {
        const std::string body = DynamicDataErrorViewController::bodyText(c.error);
        EXPECT_EQ(body.find("DYNAMIC_DATA_ERROR"), std::string::npos) << body;
        EXPECT_EQ(body.find("%@"), std::string::npos) << body;
    }
    EXPECT_NE(DynamicDataErrorViewController::bodyText(cases[1].error).find(name), std::string::npos);
}

TEST(ConnectionErrorTextsTest, TheSupportMailReportsTheFailure) {
    RecordedMail mail;
    DynamicDataErrorViewController::sendConnectionProblemMail(
        mail, std::string("Error DD01"),
        Error{platform::URLErrorDomain, -1009, "The Internet connection appears to be offline."});
    EXPECT_EQ(mail.sent, 1);
    EXPECT_EQ(mail.address, "support@vantreo.net");
    EXPECT_EQ(mail.subject, "Parlivo for WhatsApp connection problem");
    EXPECT_EQ(mail.message,
              "Add your personal message here ...\n\n\n\n### Please leave the following unchanged for the support to "
              "understand your problem ###\n\n"
              "Optional(\"Error DD01\")\n---\n"
              "Optional(Error Domain=NSURLErrorDomain Code=-1009 \"The Internet connection appears to be offline.\")"
              "\n\nSystemInfo: {\"Id\" : \"X\"}");

    EXPECT_EQ(DynamicDataErrorViewController::errorReport(std::nullopt, std::nullopt), "nil\n---\nnil");
    EXPECT_EQ(DynamicDataErrorViewController::errorReport(std::string("a \"b\"\\\n"), std::nullopt),
              "Optional(\"a \\\"b\\\"\\\\\\n\")\n---\nnil");
}
