#pragma once

#include <gio/gio.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// A stand-in for a desktop service on the test's session bus: serves the interfaces of an
// introspection document at the paths given, from a thread, main context and bus connection of
// its own (so the code under test may call it from the main thread), and owns a well-known name
// while it runs. Handlers run on the service's thread: state they share with the test needs a
// lock or an atomic.
class FakeBusService {
public:
    struct Object {
        std::string path;
        std::string interface;  // a name from the introspection document
    };
    // Answers a method call: return a value or an error on the invocation (or keep it to answer
    // later, from any thread).
    using MethodHandler = std::function<void(const std::string& path, const std::string& method,
                                             GVariant* parameters, GDBusMethodInvocation* invocation)>;
    // A property's value (a floating or owned reference), or null for none.
    using PropertyHandler = std::function<GVariant*(const std::string& path, const std::string& property)>;

    // Null when there is no session bus or the name could not be owned.
    static std::unique_ptr<FakeBusService> start(const std::string& name, const std::string& introspection,
                                                 const std::vector<Object>& objects, MethodHandler onCall,
                                                 PropertyHandler onProperty = {});
    // Leaves the bus (the name goes with the connection) and stops the thread.
    ~FakeBusService();
    FakeBusService(const FakeBusService&) = delete;
    FakeBusService& operator=(const FakeBusService&) = delete;

    // Sends a signal from the service's connection, so that it comes from the name's owner.
    void emitSignal(const std::string& path, const std::string& interface, const std::string& signal,
                    GVariant* parameters);

    struct Impl;

private:
    explicit FakeBusService(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace testsupport
