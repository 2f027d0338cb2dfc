// PortMonitor on Linux: inotify on the folders where ports appear, and a timerfd that ends a
// burst, both behind one epoll descriptor.
//
// inotify rather than the kernel's netlink uevents: it also sees udev's links (which come after
// the kernel's event), a pseudo-terminal's node in /dev/pts and the links an operator or a test
// makes, it needs no privilege, and it works on a fake tree in a temporary folder.
//
// Only entry names that can matter wake a notice: tty* in <dev>, anything in by-id and by-path,
// the very name of a named port and of what it resolves to. Reads and writes of a terminal give
// IN_ACCESS and IN_MODIFY on its node, so those are never asked for.
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <system_error>

#include "serial/port_monitor.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// What a folder's entries and the folder itself may do that changes a port. IN_ATTRIB: udev
// fixing a node's owner and mode, which decides whether it can be opened.
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

struct NameFilter {
    std::string text;
    bool prefix = false;  // text begins the name; with an empty text, any name

    bool Matches(const std::string& name) const {
        return prefix ? name.compare(0, text.size(), text) == 0 : name == text;
    }
};

// Entries of one folder that matter.
struct Interest {
    fs::path folder;
    NameFilter names;
};

// The interest itself, or, while its folder does not exist, the nearest folder above it that
// does, for the creation of the next folder on the way.
Interest Reachable(Interest wanted) {
    std::error_code error;
    while (!fs::is_directory(wanted.folder, error) && wanted.folder.has_relative_path()) {
        wanted.names = {wanted.folder.filename().string(), false};
        wanted.folder = wanted.folder.parent_path();
    }
    return wanted;
}

// Where a chain of links ends, whether or not anything is there now.
fs::path FinalTarget(fs::path path) {
    for (int hop = 0; hop < 40; ++hop) {  // as many as the kernel follows
        std::error_code error;
        const fs::path target = fs::read_symlink(path, error);
        if (error) break;  // no link (or nothing at all): the chain ends here
        path = (target.is_absolute() ? target : path.parent_path() / target).lexically_normal();
    }
    return path;
}

std::string Describe(const char* call, const std::string& what, int error) {
    std::string text = call;
    if (!what.empty()) text += " " + what;
    return text + ": " + std::system_category().message(error);
}

}  // namespace

struct PortMonitor::Impl {
    PortMonitorSettings settings;
    std::vector<fs::path> named;  // absolute
    int inotify = -1;
    int timer = -1;
    int epoll = -1;
    std::map<int, std::vector<NameFilter>> watches;  // by watch descriptor
    std::string failure;
    bool pending = false;  // a burst is going on
    Clock::time_point first;
    Clock::time_point due;

    ~Impl() {
        for (int fd : {epoll, timer, inotify})
            if (fd >= 0) close(fd);
    }

    bool Start() {
        inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotify < 0) return Fail("inotify_init1");
        timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (timer < 0) return Fail("timerfd_create");
        epoll = epoll_create1(EPOLL_CLOEXEC);
        if (epoll < 0) return Fail("epoll_create1");
        for (int fd : {inotify, timer}) {
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.fd = fd;
            if (epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) != 0) return Fail("epoll_ctl");
        }
        Rearm();
        return true;
    }

    bool Fail(const char* call) {
        failure = Describe(call, "", errno);
        if (epoll >= 0) close(epoll);
        epoll = -1;
        return false;
    }

    std::vector<Interest> Interests() const {
        std::vector<Interest> wanted;
        if (named.empty()) {
            std::error_code error;
            const fs::path dev = fs::absolute(settings.roots.dev, error);
            wanted.push_back({dev, {"tty", true}});
            wanted.push_back({dev / "serial" / "by-id", {"", true}});
            wanted.push_back({dev / "serial" / "by-path", {"", true}});
        }
        for (const fs::path& path : named) {
            wanted.push_back({path.parent_path(), {path.filename().string(), false}});
            // A link's target can go and come back while the link stays.
            if (const fs::path target = FinalTarget(path); target != path) {
                wanted.push_back({target.parent_path(), {target.filename().string(), false}});
            }
        }
        return wanted;
    }

    // Watches what matters now: folders come and go, and a named link may point elsewhere.
    void Rearm() {
        std::map<int, std::vector<NameFilter>> next;
        std::string problems;
        for (const Interest& wanted : Interests()) {
            const Interest reach = Reachable(wanted);
            const int wd = inotify_add_watch(inotify, reach.folder.c_str(), kWatchMask);
            if (wd < 0) {
                if (!problems.empty()) problems += "; ";
                problems += Describe("inotify_add_watch", reach.folder.string(), errno);
                continue;
            }
            next[wd].push_back(reach.names);
        }
        for (const auto& [wd, names] : watches) {
            // Fails for a watch the kernel dropped with its folder; nothing to undo then.
            if (next.count(wd) == 0) inotify_rm_watch(inotify, wd);
        }
        watches = std::move(next);
        failure = std::move(problems);
    }

    // Reads every waiting event; true when one of them matters.
    bool Drain() {
        bool relevant = false;
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t length = read(inotify, buffer, sizeof buffer);
            if (length < 0 && errno == EINTR) continue;
            if (length <= 0) break;  // EAGAIN: all read
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if (event->mask & IN_Q_OVERFLOW) {
                    relevant = true;  // events were lost: anything may have changed
                    continue;
                }
                const auto found = watches.find(event->wd);
                if (found == watches.end()) continue;  // a watch given up since
                if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                    relevant = true;
                    continue;
                }
                if (event->len == 0) continue;  // the folder's own attributes
                const std::string name = event->name;
                for (const NameFilter& names : found->second) {
                    if (names.Matches(name)) relevant = true;
                }
            }
        }
        if (relevant) Rearm();
        return relevant;
    }

    void ArmTimer(Clock::duration after) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(after).count();
        itimerspec expiry{};
        expiry.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
        expiry.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
        if (expiry.it_value.tv_sec == 0 && expiry.it_value.tv_nsec == 0) expiry.it_value.tv_nsec = 1;
        timerfd_settime(timer, 0, &expiry, nullptr);  // cannot fail with a valid time
    }
};

PortMonitor::PortMonitor(const PortMonitorSettings& settings) : impl_(std::make_unique<Impl>()) {
    impl_->settings = settings;
    for (const std::string& path : settings.namedPaths) {
        std::error_code error;
        impl_->named.push_back(fs::absolute(path, error).lexically_normal());
    }
    impl_->Start();
}

PortMonitor::~PortMonitor() = default;

PortWaitObject PortMonitor::WaitObject() const {
    return impl_->epoll;
}

bool PortMonitor::TakeNotice() {
    Impl& m = *impl_;
    if (m.epoll < 0) return false;
    const bool changed = m.Drain();
    uint64_t expirations;
    while (read(m.timer, &expirations, sizeof expirations) > 0) {
    }
    const Clock::time_point now = Clock::now();
    if (changed) {
        if (!m.pending) m.first = now;
        m.pending = true;
        m.due = std::min(now + m.settings.quiet, m.first + m.settings.longest);
    }
    if (!m.pending) return false;
    if (now < m.due) {
        m.ArmTimer(m.due - now);
        return false;
    }
    m.pending = false;
    return true;
}

std::string PortMonitor::Failure() const {
    return impl_->failure;
}
