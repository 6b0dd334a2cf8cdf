#include "URLTask.h"

#include <future>

namespace testsupport {

TaskOutcome runTask(platform::URLSession& session, platform::URLRequest request,
                    const std::function<void()>& whileRunning) {
    std::promise<TaskOutcome> done;
    session.dataTask(std::move(request), [&done](auto data, auto response, auto error) {
        done.set_value(TaskOutcome{std::move(data), std::move(response), std::move(error)});
    });
    if (whileRunning) whileRunning();
    return done.get_future().get();
}

}  // namespace testsupport
