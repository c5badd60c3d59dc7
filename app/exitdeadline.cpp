#include "app/exitdeadline.h"

#include "config/platform.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {
struct Watch
{
    std::mutex mutex;
    std::condition_variable woken;
    bool over = false; ///< the process got to its very end in time
    std::thread thread;
};
Watch watch;

// Registered with atexit before the toolkit makes any of its own globals, so
// it runs after their teardown: the watch lasts until nothing else is left.
void disarm()
{
    {
        const std::lock_guard<std::mutex> lock(watch.mutex);
        watch.over = true;
    }
    watch.woken.notify_one();
    if (watch.thread.joinable())
        watch.thread.join();
}
} // namespace

void ExitDeadline::install()
{
    static const bool installed = std::atexit(&disarm) == 0;
    Q_UNUSED(installed);
}

void ExitDeadline::arm(int ms, int code)
{
    const std::lock_guard<std::mutex> lock(watch.mutex);
    if (watch.thread.joinable() || watch.over)
        return;
    watch.thread = std::thread([ms, code] {
        std::unique_lock<std::mutex> lock(watch.mutex);
        if (!watch.woken.wait_for(lock, std::chrono::milliseconds(ms), [] { return watch.over; }))
            Platform::endProcessNow(code);
    });
}
