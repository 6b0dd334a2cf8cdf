#pragma once

// One run of the real program against the stand-in page, for the web host's end-to-end tests:
// the server, the program's own folders, the program (debug lines on), and the waits the tests
// share. Everything the tests look at is what the page recorded, what the program printed, what
// the desktop was asked to open, and what the accessibility bus shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Accessibility.h"
#include "Json.h"
#include "Standin.h"

namespace e2e {

using platform::PropertyList;
using testsupport::Accessibility;
using testsupport::HostedProgram;
using testsupport::PageRecord;
using testsupport::ProgramHome;
using testsupport::StandinServer;

inline PropertyList list(std::initializer_list<PropertyList> values) { return PropertyList(PropertyList::Array(values)); }

inline PropertyList dictionary(std::initializer_list<std::pair<const char*, PropertyList>> entries) {
    PropertyList result = PropertyList::dictionary();
    for (const auto& [key, value] : entries) result.set(key, value);
    return result;
}

// A text as the page's own string literal (JSON is JavaScript).
inline std::string js(std::string_view text) { return testsupport::jsonString(text); }

class WebHostRun {
public:
    explicit WebHostRun(StandinServer::Options serverOptions = {}) : server(std::move(serverOptions)) {}
    ~WebHostRun() { stop(); }

    // Starts the program and waits for the page's start-up ("didStartup"); false when it does
    // not come.
    bool start(HostedProgram::Options options = {{"-de"}, {}, {}}) {
        if (!server.ok()) {
            ADD_FAILURE() << "the stand-in server did not start: " << server.error();
            return false;
        }
        startMark = server.mark();
        program = HostedProgram::parlivo(server, home.options(std::move(options)));
        return startedUp(startMark);
    }
    // Starts the program and waits only until it runs (its first window).
    void launch(HostedProgram::Options options = {{"-de"}, {}, {}}) {
        startMark = server.mark();
        program = HostedProgram::parlivo(server, home.options(std::move(options)));
    }
    int stop() {
        accessibility_.reset();
        // The program object stays: a failure message after the stop still shows its output.
        if (!program) return -1;
        return program->stop();
    }

    // The page started up after record `from`: ready, then didStartup.
    bool startedUp(size_t from) {
        if (!server.waitForEvent("didStartup", 90, from)) {
            ADD_FAILURE() << "the page did not start up\n--- program ---\n"
                          << (program ? program->output() : "") << "\n--- server ---\n" << server.log();
            return false;
        }
        return true;
    }

    // A round trip through the program: the page posts "didInit" and the program answers it.
    // Messages reach the program in the order the page posts them, so whatever the page posted
    // before has been handled once the answer is back. Returns the record index after the answer.
    size_t roundTrip() {
        const size_t from = server.mark();
        server.post("eventHandler", "didInit");
        auto answer = server.waitForCall("wqInit.didFinishNativeInit", 60, from);
        EXPECT_TRUE(answer) << "the program did not answer \"didInit\"\n" << (program ? program->output() : "");
        return answer ? answer->index + 1 : server.mark();
    }

    // The page's calls of `name` from record `from` on.
    std::vector<PageRecord> calls(std::string_view name, size_t from) const { return server.calls(name, from); }

    // Runs `script` in the page and returns its value (null when it threw; the failure is added).
    PropertyList eval(std::string_view script) {
        auto record = server.waitForCommand(server.eval(script), 60);
        if (!record || record->type != "evaluated") {
            ADD_FAILURE() << "the page did not run: " << script << "\n" << (record ? record->json : "no record");
            return {};
        }
        return record->value["value"];
    }

    Accessibility& accessibility() {
        if (!accessibility_) accessibility_ = std::make_unique<Accessibility>(program->pid());
        return *accessibility_;
    }

    // The program's main window on the display (xdotool's id), for real input.
    std::string mainWindow() {
        const std::string command = "xdotool search --sync --onlyvisible --pid " + std::to_string(program->pid()) +
                                    " --name 'Parlivo' 2>/dev/null | head -1";
        return run(command);
    }
    // A real click in the middle of the page area of the main window.
    bool clickPage() {
        const std::string window = mainWindow();
        if (window.empty()) return false;
        return std::system(("xdotool mousemove --sync --window " + window + " 500 450 click 1").c_str()) == 0;
    }
    // Keys typed into the main window, as xdotool names them ("ctrl+n").
    bool pressKeys(const std::string& keys) {
        const std::string window = mainWindow();
        if (window.empty()) return false;
        return std::system(("xdotool windowfocus --sync " + window + " key --clearmodifiers " + keys).c_str()) == 0;
    }

    static std::string run(const std::string& command) {
        std::string output;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[256];
            while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
            pclose(pipe);
        }
        while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
        return output;
    }

    StandinServer server;
    ProgramHome home;
    std::unique_ptr<HostedProgram> program;
    size_t startMark = 0;

private:
    std::unique_ptr<Accessibility> accessibility_;
};

}  // namespace e2e
