#include "products/system.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int descriptor(FileHandle file)
{
    return static_cast<int>(file);
}

const int interrupts[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t interruptSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : interrupts)
        sigaddset(&set, signal);
    return set;
}

// Only async-signal-safe calls: unlink, sigaction, raise. The signal is
// blocked while the handler runs, so the raised one ends the process with
// the default action as soon as the handler returns, and the parent sees
// death by that signal.
extern "C" void removeUnfinishedAndDie(int signal)
{
    removeUnfinished([](const char* name) { unlink(name); });
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(signal, &defaultAction, nullptr);
    raise(signal);
}

void installHandlers()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    struct sigaction action {};
    action.sa_handler = removeUnfinishedAndDie;
    action.sa_mask = interruptSet();
    for (int signal : interrupts) {
        struct sigaction old {};
        // A signal ignored from the start (nohup, a background job) stays
        // ignored; another handler (a test harness's) is left alone too.
        if (sigaction(signal, nullptr, &old) == 0 && !(old.sa_flags & SA_SIGINFO) &&
            old.sa_handler == SIG_DFL)
            sigaction(signal, &action, nullptr);
    }
}

}  // namespace

bool mayReplaceFile(const std::string& name)
{
    // Opening for writing without truncation asks exactly what writing the
    // name would need; O_NONBLOCK keeps a FIFO from waiting for a reader.
    const int fd = open(name.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno == ENOENT;
}

FileHandle createNewFile(const std::string& name, bool& taken)
{
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    taken = fd < 0 && errno == EEXIST;
    return fd < 0 ? noFile : fd;
}

void copyPermissions(FileHandle file, const std::string& model)
{
    struct stat status {};
    if (stat(model.c_str(), &status) == 0 && S_ISREG(status.st_mode))
        fchmod(descriptor(file), status.st_mode & 07777);
}

bool writeFileAt(FileHandle file, const char* data, std::size_t size, std::uint64_t offset)
{
    while (size > 0) {
        const ssize_t written = pwrite(descriptor(file), data, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += static_cast<std::uint64_t>(written);
    }
    return true;
}

bool syncFile(FileHandle file)
{
    return fsync(descriptor(file)) == 0;
}

bool closeFile(FileHandle file)
{
    return ::close(descriptor(file)) == 0;
}

bool replaceFile(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool removeFile(const std::string& name)
{
    return unlink(name.c_str()) == 0;
}

unsigned long currentProcessId()
{
    return static_cast<unsigned long>(getpid());
}

// The mask before holdInterrupts, so that signals blocked by whoever
// started the program stay blocked.
static sigset_t maskBeforeHold;

void holdInterrupts()
{
    installHandlers();
    const sigset_t set = interruptSet();
    sigprocmask(SIG_BLOCK, &set, &maskBeforeHold);
}

void releaseInterrupts()
{
    sigprocmask(SIG_SETMASK, &maskBeforeHold, nullptr);
}
