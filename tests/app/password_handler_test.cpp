// The privacy password store: salted slow records, the one-time upgrade of an earlier version's
// plain digest, refusals, and answers that always come later on the main queue.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "RunLoop.h"
#include "foundation/MainQueue.h"
#include "foundation/UserDefaults.h"
#include "privacy/WQPasswordHandler.h"
#include "system/Crypto.h"

using parlivo::WQPasswordHandler;

namespace {

const std::string kName = "privacyPassword";
const std::string kKey = "WQPassowrdHandler.privacyPassword";

platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }
std::optional<std::string> stored() { return defaults().stringForKey(kKey); }

class PasswordHandlerTest : public ::testing::Test {
protected:
    void SetUp() override { defaults().remove(kKey); }

    // The answer is held by the callback too: one that comes after a failed wait finds it alive.
    bool set(const std::string& password) {
        auto result = std::make_shared<std::optional<bool>>();
        WQPasswordHandler::setPassword(password, kName, [result](bool stored) { *result = stored; });
        EXPECT_TRUE(testsupport::runLoopUntil([&] { return result->has_value(); }, 10));
        return result->value_or(false);
    }

    bool check(const std::string& password) {
        auto result = std::make_shared<std::optional<bool>>();
        WQPasswordHandler::checkPassword(password, kName, [result](bool matched) {
            EXPECT_TRUE(platform::MainQueue::isMainThread());
            *result = matched;
        });
        EXPECT_FALSE(result->has_value()) << "the answer never comes before the call returns";
        EXPECT_TRUE(testsupport::runLoopUntil([&] { return result->has_value(); }, 10));
        return result->value_or(false);
    }
};

}  // namespace

TEST_F(PasswordHandlerTest, StoresASaltedSlowRecordThatChecksTheSamePasswordOnly) {
    EXPECT_EQ(WQPasswordHandler::key(kName), kKey);
    ASSERT_TRUE(set("correct horse"));
    const std::string first = stored().value_or("");
    auto record = WQPasswordHandler::parseRecord(first);
    ASSERT_TRUE(record) << first;
    EXPECT_EQ(first.rfind("pbkdf2-sha256$", 0), 0u);
    EXPECT_EQ(record->iterations, WQPasswordHandler::defaultIterations);
    EXPECT_EQ(record->salt.size(), WQPasswordHandler::saltLength);
    EXPECT_EQ(record->derivedKey.size(), WQPasswordHandler::keyLength);
    EXPECT_EQ(first.find(platform::Crypto::sha256Hex(std::string_view("correct horse"))), std::string::npos)
        << "no plain digest in the record";

    EXPECT_TRUE(check("correct horse"));
    for (const char* wrong : {"correct horse ", "Correct horse", "", "correct"}) EXPECT_FALSE(check(wrong)) << wrong;
    EXPECT_EQ(stored(), first) << "checks change nothing";

    // The same password again: a fresh salt, so another record, and it still checks.
    ASSERT_TRUE(set("correct horse"));
    EXPECT_NE(stored(), first);
    EXPECT_TRUE(check("correct horse"));

}

// No password is no protection: the empty text is never stored and never opens anything, not
// even a record an earlier version made of it (which stays readable for what it is).
TEST_F(PasswordHandlerTest, TheEmptyPasswordIsNeverStoredNorAccepted) {
    ASSERT_TRUE(set("kept"));
    const std::string kept = stored().value_or("");
    EXPECT_FALSE(set("")) << "refused";
    EXPECT_EQ(stored(), kept) << "the password in force stays";
    EXPECT_TRUE(check("kept"));

    // A refusal is the newest word: a password still hashing when it came stores nothing.
    std::optional<bool> earlier;
    WQPasswordHandler::setPassword("earlier", kName, [&](bool s) { earlier = s; });
    EXPECT_FALSE(set(""));
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return earlier.has_value(); }, 10));
    EXPECT_FALSE(*earlier);
    EXPECT_EQ(stored(), kept);

    for (const auto& record : {platform::Crypto::sha256Hex(std::string_view("")),
                               WQPasswordHandler::makeRecord("", 1000).value_or("")}) {
        defaults().setString(kKey, record);
        EXPECT_FALSE(check("")) << record;
        EXPECT_EQ(WQPasswordHandler::verify("", record), WQPasswordHandler::Verdict::noMatch);
        EXPECT_EQ(stored(), record) << "read, not rewritten";
    }
}

TEST_F(PasswordHandlerTest, NothingMatchesWithoutARecordOrWithOneOfUnknownForm) {
    EXPECT_FALSE(WQPasswordHandler::hasPassword(kName));
    EXPECT_FALSE(check(""));
    EXPECT_FALSE(check("anything"));
    EXPECT_FALSE(stored()) << "a check stores nothing";

    // An upper-case digest is no digest this program ever wrote.
    std::string upper = platform::Crypto::sha256Hex(std::string_view("secret"));
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    defaults().setString(kKey, upper);
    EXPECT_TRUE(WQPasswordHandler::hasPassword(kName));
    EXPECT_FALSE(check("secret"));
    EXPECT_EQ(stored(), upper);
}

TEST_F(PasswordHandlerTest, AnEarlierPlainDigestIsAcceptedOnceAndReplacedBySaltedRecord) {
    const std::string legacy = platform::Crypto::sha256Hex(std::string_view("old secret"));
    defaults().setString(kKey, legacy);

    EXPECT_FALSE(check("wrong"));
    EXPECT_EQ(stored(), legacy) << "a wrong password upgrades nothing";

    EXPECT_TRUE(check("old secret"));
    const std::string upgraded = stored().value_or("");
    EXPECT_TRUE(WQPasswordHandler::parseRecord(upgraded)) << upgraded;
    EXPECT_TRUE(check("old secret")) << "the same password, now against the salted record";
    EXPECT_FALSE(check("wrong"));
    EXPECT_EQ(stored(), upgraded);
}

TEST_F(PasswordHandlerTest, AnUpgradeNeverOverwritesARecordStoredWhileItHashed) {
    const std::string legacy = platform::Crypto::sha256Hex(std::string_view("old"));
    defaults().setString(kKey, legacy);
    std::optional<bool> matched;
    WQPasswordHandler::checkPassword("old", kName, [&](bool m) { matched = m; });
    // Meanwhile (before the main queue runs again) someone sets a new password.
    auto replacement = WQPasswordHandler::makeRecord("new", 1000);
    ASSERT_TRUE(replacement);
    defaults().setString(kKey, *replacement);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return matched.has_value(); }, 10));
    EXPECT_TRUE(*matched);
    EXPECT_EQ(stored(), replacement);
}

TEST_F(PasswordHandlerTest, TheLatestOfTwoPasswordsSetAtOnceWins) {
    std::optional<bool> first, second;
    WQPasswordHandler::setPassword("first", kName, [&](bool s) { first = s; });
    WQPasswordHandler::setPassword("second", kName, [&](bool s) { second = s; });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return first && second; }, 10));
    EXPECT_FALSE(*first);
    EXPECT_TRUE(*second);
    EXPECT_TRUE(check("second"));
    EXPECT_FALSE(check("first"));
}

TEST_F(PasswordHandlerTest, RecordsAreReadStrictly) {
    const std::string salt(32, 'a'), key(64, 'b');
    struct Case {
        std::string text;
        bool valid;
    } cases[] = {
        {"pbkdf2-sha256$1000$" + salt + "$" + key, true},
        {"pbkdf2-sha256$10000000$" + salt + "$" + key, true},
        {"pbkdf2-sha256$10000001$" + salt + "$" + key, false},  // would keep a worker busy for long
        {"pbkdf2-sha256$0$" + salt + "$" + key, false},
        {"pbkdf2-sha256$0100$" + salt + "$" + key, false},
        {"pbkdf2-sha256$-5$" + salt + "$" + key, false},
        {"pbkdf2-sha256$1e3$" + salt + "$" + key, false},
        {"pbkdf2-sha1$1000$" + salt + "$" + key, false},
        {"pbkdf2-sha256$1000$" + salt + "$" + key + "$", false},
        {"pbkdf2-sha256$1000$" + salt + "$" + key.substr(2), false},
        {"pbkdf2-sha256$1000$" + std::string(32, 'A') + "$" + key, false},
        {"pbkdf2-sha256$1000$" + std::string(31, 'a') + "$" + key, false},
        {"pbkdf2-sha256$1000$$" + key, false},
        {"pbkdf2-sha256$1000$" + salt, false},
        {"", false},
        {std::string(64, 'a'), false},  // a legacy digest is not a salted record
    };
    for (const auto& c : cases) EXPECT_EQ(WQPasswordHandler::parseRecord(c.text).has_value(), c.valid) << c.text;

    EXPECT_TRUE(WQPasswordHandler::isLegacyDigest(std::string(64, 'f')));
    EXPECT_FALSE(WQPasswordHandler::isLegacyDigest(std::string(63, 'f')));
    EXPECT_FALSE(WQPasswordHandler::isLegacyDigest(std::string(64, 'F')));
    EXPECT_FALSE(WQPasswordHandler::isLegacyDigest(std::string(64, 'g')));

    // A record is checked with its own iteration count.
    auto quick = WQPasswordHandler::makeRecord("pw", 1000);
    ASSERT_TRUE(quick);
    EXPECT_EQ(WQPasswordHandler::verify("pw", *quick), WQPasswordHandler::Verdict::match);
    EXPECT_EQ(WQPasswordHandler::verify("pW", *quick), WQPasswordHandler::Verdict::noMatch);
    EXPECT_EQ(WQPasswordHandler::verify("pw", platform::Crypto::sha256Hex(std::string_view("pw"))),
              WQPasswordHandler::Verdict::matchWithLegacyDigest);
}
