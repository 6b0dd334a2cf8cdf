#include <gtest/gtest.h>

#include "system/SessionBus.h"

namespace dbus = platform::dbus;

namespace {

dbus::Variant parsed(const char* text) {
    return dbus::Variant(g_variant_ref_sink(g_variant_new_parsed(text)));
}

}  // namespace

// Any peer on the bus chooses the types it sends: a reader takes exactly the types it names.
TEST(DBusReaders, TakeTheirOwnTypesAndRefuseEveryOther) {
    auto action = dbus::read<std::uint32_t, std::string>(parsed("(@u 7, 'default')").get());
    ASSERT_TRUE(action);
    EXPECT_EQ(std::get<0>(*action), 7u);
    EXPECT_EQ(std::get<1>(*action), "default");

    for (const char* text : {"(@i 7, 'default')", "('7', 'default')", "(@u 7,)", "(@u 7, 'default', 'x')",
                             "@u 7", "[@u 7]", "(@u 7, <'default'>)", "(@u 7, @o '/default')"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE((dbus::read<std::uint32_t, std::string>(parsed(text).get())));
    }
    EXPECT_FALSE((dbus::read<std::uint32_t, std::string>(nullptr)));

    auto list = dbus::read<std::vector<std::string>>(parsed("(['a', 'b'],)").get());
    ASSERT_TRUE(list);
    EXPECT_EQ(std::get<0>(*list), (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(dbus::read<std::vector<std::string>>(parsed("([1, 2],)").get()));
    EXPECT_FALSE(dbus::read<std::vector<std::string>>(parsed("([<'a'>],)").get()));

    auto path = dbus::read<dbus::ObjectPath>(parsed("(@o '/net/reactivated/Fprint/Device/0',)").get());
    ASSERT_TRUE(path);
    EXPECT_EQ(std::get<0>(*path).path, "/net/reactivated/Fprint/Device/0");
    EXPECT_FALSE(dbus::read<dbus::ObjectPath>(parsed("('/net/reactivated/Fprint/Device/0',)").get()));
}

TEST(DBusReaders, AUint32IsFoundInsideAnyNumberOfBoxesAndNothingElseIsTaken) {
    EXPECT_EQ(dbus::readUint32(parsed("@u 1").get()), 1u);
    EXPECT_EQ(dbus::readUint32(parsed("<@u 2>").get()), 2u);
    EXPECT_EQ(dbus::readUint32(parsed("<<@u 2>>").get()), 2u);
    for (const char* text : {"@i 1", "<'dark'>", "<@i 1>", "(@u 1,)", "<[@u 1]>"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(dbus::readUint32(parsed(text).get()));
    }
    EXPECT_FALSE(dbus::readUint32(nullptr));
}
