// Launch arguments are saved before GTK sees them; only openable arguments reach GApplication.
#include <gtest/gtest.h>

#include "foundation/ProcessInfo.h"

using platform::ProcessInfo;

TEST(ProcessInfo, KeepsEveryArgumentAndHandsGtkOnlyWhatItOpens) {
    const char* argv[] = {"parlivo-for-whatsapp", "-de", "-beta", "net.vantreo.mac.whatsapp.share:///x", "-server2"};
    ProcessInfo::saveArguments(5, const_cast<char**>(argv));
    EXPECT_EQ(ProcessInfo::arguments().size(), 5u);
    EXPECT_TRUE(ProcessInfo::hasArgument("-de"));
    EXPECT_TRUE(ProcessInfo::hasArgument("-server2"));
    EXPECT_FALSE(ProcessInfo::hasArgument("-alternate"));
    EXPECT_EQ(ProcessInfo::openableArguments(),
              (std::vector<std::string>{"parlivo-for-whatsapp", "net.vantreo.mac.whatsapp.share:///x"}));
}

TEST(ProcessInfo, EmptyArgumentsStillGiveGtkAProgramName) {
    ProcessInfo::setArguments({});
    EXPECT_EQ(ProcessInfo::openableArguments().size(), 1u);
    EXPECT_FALSE(ProcessInfo::executablePath().empty());
}
