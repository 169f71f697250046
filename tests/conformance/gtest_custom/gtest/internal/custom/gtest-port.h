// GoogleTest's hook for embedders, used by the Windows build of the
// conformance tests. Debian's mingw-w64 compilers default to the win32
// thread model, whose C++ library has no std::mutex or
// std::condition_variable; GoogleTest needs them only for its Notification,
// which serves its own threading tests. This one waits by spinning.
#ifndef TAV_CONFORMANCE_GTEST_CUSTOM_PORT_H_
#define TAV_CONFORMANCE_GTEST_CUSTOM_PORT_H_

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : notified_(false) {}
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified_.store(true); }
    void WaitForNotification() {
        while (!notified_.load()) {
        }
    }

private:
    std::atomic<bool> notified_;
};

}  // namespace internal
}  // namespace testing

#endif  // TAV_CONFORMANCE_GTEST_CUSTOM_PORT_H_
