// The program with a real web chat client (Converse.js on Prosody, as in the real-client tests)
// against the same client in a bare WebKitGTK window that shows the page's notifications itself
// (bench/bare_chat_window.cpp), both on one loopback chat server and one notification server:
//   message -> notification   a contact's send to the desktop notification on the bus
//   reply -> contact          an inline reply on the bus to the contact's receipt (the program
//                             only: WebKit's own notifications have no reply field)
// Each round measures both hosts, alternating which goes first; the figures are the medians, and
// the median, minimum and maximum of the per-round ratio program/bare.
// Run under a display and a session bus, with the tests built (it uses their harness):
//   xvfb-run -a -s "-screen 0 1600x1000x24" dbus-run-session -- build/bench/real_client_bench [ROUNDS]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FakeNotificationServer.h"
#include "RealClient.h"
#include "Standin.h"

using testsupport::ChatServer;
using testsupport::FakeNotificationServer;
using testsupport::HostedProgram;
using testsupport::Peers;

namespace {

double now() {
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);  // the clock the peers' records carry
    return double(time.tv_sec) + double(time.tv_nsec) / 1e9;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "real_client_bench: %s\n", message.c_str());
    return 1;
}

struct Host {
    const char* name;
    std::string jid;
    std::unique_ptr<testsupport::ProgramHome> home;
    std::unique_ptr<HostedProgram> process;
    std::vector<double> notifyMs;
};

class Bench {
public:
    Bench(Peers& peers, FakeNotificationServer& notifications) : peers_(peers), notifications_(notifications) {}

    // `host` gets a message from `contact`; the milliseconds from its send to its notification on
    // the bus, and that notification. Negative when none came.
    double messageToNotification(Host& host, const std::string& contact, const std::string& text,
                                 FakeNotificationServer::Notification* shown) {
        const size_t before = notifications_.notificationCount(), mark = peers_.mark();
        peers_.send(contact, text, host.jid);
        // The notification server is another thread of this process: looked at in short steps.
        const double deadline = now() + 30;
        while (notifications_.notificationCount() <= before) {
            if (now() > deadline) return -1;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        const double arrived = now();
        auto sent = peers_.waitFor(
            [&](const testsupport::PeerRecord& record) { return record.type == "sent" && record.text("body") == text; }, 30,
            mark);
        if (!sent) return -1;
        if (shown) *shown = notifications_.notifications()[before];
        return (arrived - sent->time) * 1000;
    }

    // The user answers `shown` inline; the milliseconds until `contact` has it. Negative when the
    // contact does not get it.
    double replyToContact(const FakeNotificationServer::Notification& shown, const std::string& contact,
                          const std::string& text) {
        const size_t mark = peers_.mark();
        const double start = now();
        notifications_.reply(shown.id, text);
        auto received = peers_.waitFor(
            [&](const testsupport::PeerRecord& record) {
                return record.type == "received" && record.text("contact") == contact && record.text("body") == text;
            },
            30, mark);
        return received ? (received->time - start) * 1000 : -1;
    }

private:
    Peers& peers_;
    FakeNotificationServer& notifications_;
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    if (!std::getenv("DISPLAY") || !std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        return fail("run it under a display and a session bus (xvfb-run -a dbus-run-session -- ...)");

    ChatServer chat({"me", "you", "ann", "bob"});
    if (!chat.ok()) return fail(chat.error());
    Peers peers(chat, {"ann", "bob"});
    if (!peers.ok()) return fail(peers.error());
    auto notifications = FakeNotificationServer::start(FakeNotificationServer::capabilitiesWithInlineReply());
    if (!notifications) return fail("no notification server");

    // Both sign in by themselves (the page's "?jid=...&password=...") and run without debug lines.
    testsupport::StandinServer configuration(testsupport::defaultConfigurationFor(
        chat.pageURL(peers.observerPort(), "jid=me@localhost&password=secret")));
    if (!configuration.ok()) return fail(configuration.error());

    Host program{"program", "me@localhost", std::make_unique<testsupport::ProgramHome>(), nullptr, {}};
    Host bare{"bare", "you@localhost", std::make_unique<testsupport::ProgramHome>(), nullptr, {}};
    const size_t mark = peers.mark();
    program.process = HostedProgram::parlivo(configuration, program.home->options({}));
    bare.process = HostedProgram::launch(
        {PARLIVO_BUILD_DIR "/bench/bare_chat_window", chat.pageURL(peers.observerPort(), "jid=you@localhost&password=secret")},
        bare.home->options({}));
    for (Host* host : {&program, &bare})
        if (!peers.waitFor([&](const testsupport::PeerRecord& record) {
                return record.type == "session" && record.text("state") == "connected" && record.text("jid") == host->jid;
            }, 120, mark))
            return fail(std::string(host->name) + " did not sign in:\n" + peers.describe(mark) + host->process->output());

    Bench bench(peers, *notifications);
    // The first notification of each host sets up what the later ones reuse.
    for (Host* host : {&program, &bare})
        if (bench.messageToNotification(*host, "bob", std::string("warm-up ") + host->name, nullptr) < 0)
            return fail(std::string(host->name) + " showed no notification:\n" + host->process->output());

    std::vector<double> ratios, replyMs;
    for (int round = 0; round < rounds; ++round) {
        Host* order[2] = {&program, &bare};
        if (round % 2) std::swap(order[0], order[1]);
        // Ann and Bob take turns, so each reply answers a chat that is not on screen (the one
        // before opened the other): the answered chat's editor comes up with the click.
        const std::string contact = round % 2 ? "bob" : "ann";
        FakeNotificationServer::Notification shown;
        for (Host* host : order) {
            const double ms = bench.messageToNotification(
                *host, contact, host->name + std::string(" round ") + std::to_string(round), host == &program ? &shown : nullptr);
            if (ms < 0) return fail(std::string(host->name) + ": no notification in round " + std::to_string(round));
            host->notifyMs.push_back(ms);
        }
        ratios.push_back(program.notifyMs.back() / bare.notifyMs.back());
        const double reply = bench.replyToContact(shown, contact, "reply " + std::to_string(round));
        if (reply < 0) return fail("the reply of round " + std::to_string(round) + " did not reach the contact");
        replyMs.push_back(reply);
    }

    std::printf("%d rounds, interleaved\n", rounds);
    std::printf("message -> notification  bare %.1f ms  program %.1f ms (medians)\n", median(bare.notifyMs),
                median(program.notifyMs));
    std::printf("  ratio program/bare per round: median %.2f  min %.2f  max %.2f\n", median(ratios),
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()));
    std::printf("reply -> contact         program %.1f ms median  min %.1f  max %.1f\n", median(replyMs),
                *std::min_element(replyMs.begin(), replyMs.end()), *std::max_element(replyMs.begin(), replyMs.end()));
    program.process.reset();
    bare.process.reset();
    return 0;
}
