// Holding back the signals a write raises, shared by the platform's file code.
#ifndef VEXOGEO_PLATFORM_POSIX_WRITE_SIGNAL_BLOCK_H
#define VEXOGEO_PLATFORM_POSIX_WRITE_SIGNAL_BLOCK_H

#include <cerrno>
#include <csignal>
#include <ctime>

#include <pthread.h>

namespace Geo::Platform {

// Holds back, on the calling thread, the signals a write raises: SIGXFSZ beyond the file-size
// limit and SIGPIPE on a pipe nobody reads. Their default action ends the process before the
// new file could be removed; blocked, the write fails with EFBIG or EPIPE instead. Only this
// thread's mask changes, so other threads of the host keep their own disposition. A signal the
// write raised is taken back before the old mask returns; one that was pending before belongs to
// the host and stays pending.
class CWriteSignalBlock {
  public:
    CWriteSignalBlock() {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGXFSZ);
        sigaddset(&m_signals, SIGPIPE);
        m_blocked = pthread_sigmask(SIG_BLOCK, &m_signals, &m_previous) == 0;
        sigemptyset(&m_pendingBefore);
        sigpending(&m_pendingBefore);
    }
    ~CWriteSignalBlock() {
        if (!m_blocked)
            return;
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        for (const int signal : {SIGXFSZ, SIGPIPE}) {
            if (sigismember(&pending, signal) != 1 || sigismember(&m_pendingBefore, signal) == 1)
                continue;
            sigset_t one;
            sigemptyset(&one);
            sigaddset(&one, signal);
            const timespec now{0, 0};
            while (sigtimedwait(&one, nullptr, &now) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    CWriteSignalBlock(const CWriteSignalBlock &) = delete;
    CWriteSignalBlock &operator=(const CWriteSignalBlock &) = delete;

  private:
    sigset_t m_signals{};
    sigset_t m_previous{};
    sigset_t m_pendingBefore{};
    bool m_blocked = false;
};

} // namespace Geo::Platform

#endif
