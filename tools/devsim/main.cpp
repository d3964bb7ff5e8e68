// devsim: the simulated bench. One pseudo-terminal per simulated device; the
// program under test opens the pty's slave side as its serial port.
//
//   devsim [--only NAME,...] [--link DIR] [--ignore-stdin]
//          [--NAME-fault FAULT] [--NAME KEY=VALUE]...
//
// At start devsim prints one line "NAME PATH" per device (PATH is DIR/NAME
// with --link, a symlink that stays valid across hang-ups; else the pty's
// own path), then the line "ready" once every port exists, and flushes: a
// caller waits for "ready" rather than guessing how many lines will come.
// It serves until SIGTERM or SIGINT, or until its standard input ends
// (unless --ignore-stdin), so a test that dies takes its devsim with it.
//
// Control commands on standard input, one per line, each answered on stdout
// by "ok" or "error <reason>" once it has taken effect:
//   NAME fault FAULT     none|silent|short|badsum|garbage|hangup|busy|error
//   NAME KEY VALUE       a device setting (see --help for the keys)
//   NAME vanish          the port goes away as an unplugged adapter does:
//                        the pty is closed (a program holding it sees the
//                        line hung up) and its link removed
//   NAME return          the port comes back: a fresh pty, "NAME PATH"
// After a hang-up the device gets a fresh pty; devsim prints "NAME PATH"
// again and moves the link.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "Devices.h"

namespace devsim {
namespace {

// The devices devsim knows, in the order of its output lines.
struct DeviceEntry {
    const char* name;
    std::unique_ptr<SimDevice> (*make)();
};
const DeviceEntry kDevices[] = {
    {"dorn", makeDornSim},
    {"rv", makeRvSim},
    {"nivor", makeNivorSim},
    {"kelt", makeKeltSim},
};

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

struct Pending {
    Clock::time_point due;
    Bytes bytes;
    bool hangup = false;
};

// One device on its pseudo-terminal.
class Line {
public:
    Line(std::unique_ptr<SimDevice> device, std::string link)
        : m_device(std::move(device)), m_link(std::move(link)) {
        openPty();
    }
    ~Line() { closePty(); }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    SimDevice& device() { return *m_device; }
    // -1 while the port has vanished; poll() passes over it then.
    int master() const { return m_master; }
    bool present() const { return m_master >= 0; }

    // The port goes away: what was still to be sent is lost with it.
    void vanish() {
        m_pending.clear();
        closePty();
        if (!m_link.empty()) {
            std::error_code ignored;
            std::filesystem::remove(m_link, ignored);
        }
    }
    // The port is back on a fresh pty (and under its link again).
    void comeBack() { openPty(); }
    std::string shownPath() const { return m_link.empty() ? m_slavePath : m_link; }

    void readInput(Clock::time_point now) {
        std::uint8_t buffer[512];
        for (;;) {
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0) {
                Output out;
                m_device->receive(now, std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(n)), out);
                schedule(now, out);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            return;
        }
    }

    // Sends what is due; true when the line was hung up and replaced.
    bool sendDue(Clock::time_point now) {
        while (!m_pending.empty() && m_pending.front().due <= now) {
            Pending item = std::move(m_pending.front());
            m_pending.pop_front();
            writeAll(item.bytes);
            if (item.hangup) {
                m_pending.clear();
                closePty();
                openPty();
                return true;
            }
        }
        return false;
    }

    std::optional<Clock::time_point> nextDue() const {
        if (m_pending.empty()) return std::nullopt;
        return m_pending.front().due;
    }

private:
    void schedule(Clock::time_point now, Output& out) {
        Clock::time_point at = std::max(now, m_pending.empty() ? now : m_pending.back().due);
        for (auto& item : out.items()) {
            at += item.delay;
            m_pending.push_back({at, std::move(item.bytes), item.hangup});
        }
    }

    void writeAll(const Bytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) {
                pollfd item{m_master, POLLOUT, 0};
                ::poll(&item, 1, 100);
                continue;
            }
            return;  // the line is gone; what is left is lost as on a real line
        }
    }

    void openPty() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            throw std::runtime_error(std::string("no pseudo-terminal: ") + std::strerror(errno));
        m_slavePath = ::ptsname(m_master);
        // devsim keeps the slave open itself: without any slave the master
        // reports a hang-up to poll() all the time. Raw, so that nothing the
        // device sends is echoed or translated before the program opens it.
        m_slave = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_slave >= 0) {
            termios tio{};
            if (::tcgetattr(m_slave, &tio) == 0) {
                ::cfmakeraw(&tio);
                tio.c_cflag |= CLOCAL | CREAD;
                ::tcsetattr(m_slave, TCSANOW, &tio);
            }
        }
        if (!m_link.empty()) {
            const std::string temp = m_link + ".new";
            std::filesystem::remove(temp);
            std::filesystem::create_symlink(m_slavePath, temp);
            std::filesystem::rename(temp, m_link);
        }
    }

    void closePty() {
        if (m_slave >= 0) ::close(m_slave);
        if (m_master >= 0) ::close(m_master);
        m_slave = m_master = -1;
    }

    std::unique_ptr<SimDevice> m_device;
    std::string m_link;
    std::string m_slavePath;
    int m_master = -1;
    int m_slave = -1;
    std::deque<Pending> m_pending;
};

std::string applySetting(SimDevice& device, const std::string& key, const std::string& value) {
    if (key == "fault") {
        const auto fault = parseFault(value);
        if (!fault) return "unknown fault " + value;
        device.setFault(*fault);
        return {};
    }
    if (auto refused = device.set(key, value)) return *refused;
    return {};
}

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> result;
    for (std::string w; in >> w;) result.push_back(w);
    return result;
}

int run(int argc, char** argv) {
    CLI::App app{"devsim: simulated Dorn, Kelt, RV and Nivor devices on pseudo-terminals"};
    std::vector<std::string> only;
    std::string linkDir;
    bool ignoreStdin = false;
    app.add_option("--only", only, "start only these devices")->delimiter(',');
    app.add_option("--link", linkDir, "make DIR/NAME symlinks to the ptys");
    app.add_flag("--ignore-stdin", ignoreStdin, "serve until a signal even when stdin ends");

    std::vector<std::unique_ptr<SimDevice>> devices;
    std::map<std::string, std::string> faults;
    std::map<std::string, std::vector<std::string>> settings;
    for (const auto& entry : kDevices) {
        devices.push_back(entry.make());
        SimDevice& d = *devices.back();
        std::string keys = "settings of " + d.name() + " (KEY=VALUE):";
        for (const auto& s : d.settings()) keys += "\n      " + s;
        app.add_option("--" + d.name() + "-fault", faults[d.name()], "fault of " + d.name());
        app.add_option("--" + d.name(), settings[d.name()], keys);
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    std::vector<std::unique_ptr<Line>> lines;
    for (auto& device : devices) {
        const std::string name = device->name();
        if (!only.empty() && std::find(only.begin(), only.end(), name) == only.end()) continue;
        if (!faults[name].empty()) {
            if (auto err = applySetting(*device, "fault", faults[name]); !err.empty()) {
                std::cerr << name << ": " << err << '\n';
                return 2;
            }
        }
        for (const auto& kv : settings[name]) {
            const auto eq = kv.find('=');
            const std::string err = eq == std::string::npos
                                        ? "expected KEY=VALUE: " + kv
                                        : applySetting(*device, kv.substr(0, eq), kv.substr(eq + 1));
            if (!err.empty()) {
                std::cerr << name << ": " << err << '\n';
                return 2;
            }
        }
        const std::string link = linkDir.empty() ? std::string() : linkDir + "/" + name;
        lines.push_back(std::make_unique<Line>(std::move(device), link));
    }
    for (const auto& line : lines) std::cout << line->device().name() << ' ' << line->shownPath() << '\n';
    std::cout << "ready" << std::endl;

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    std::string stdinBuffer;
    bool stdinOpen = !ignoreStdin;
    while (!g_stop) {
        std::vector<pollfd> fds;
        for (const auto& line : lines) fds.push_back({line->master(), POLLIN, 0});
        if (stdinOpen) fds.push_back({STDIN_FILENO, POLLIN, 0});

        auto now = Clock::now();
        int timeout = 100;
        for (const auto& line : lines)
            if (auto due = line->nextDue()) {
                const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*due - now).count();
                timeout = std::clamp<int>(static_cast<int>(ms), 0, timeout);
            }
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) break;
        now = Clock::now();
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (fds[i].revents & POLLIN) lines[i]->readInput(now);
        if (stdinOpen && (fds.back().revents & (POLLIN | POLLHUP))) {
            char buffer[512];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                if (n == 0 || errno != EINTR) break;  // the controlling side is gone
            } else {
                stdinBuffer.append(buffer, static_cast<std::size_t>(n));
            }
            for (auto eol = stdinBuffer.find('\n'); eol != std::string::npos; eol = stdinBuffer.find('\n')) {
                const auto w = words(stdinBuffer.substr(0, eol));
                stdinBuffer.erase(0, eol + 1);
                if (w.empty()) continue;
                std::string err = "unknown device " + w[0];
                for (const auto& line : lines) {
                    if (line->device().name() != w[0]) continue;
                    if (w.size() == 2 && w[1] == "vanish") {
                        err = line->present() ? "" : "the port has already vanished";
                        if (err.empty()) line->vanish();
                    } else if (w.size() == 2 && w[1] == "return") {
                        err = line->present() ? "the port is there" : "";
                        if (err.empty()) {
                            line->comeBack();
                            std::cout << line->device().name() << ' ' << line->shownPath() << '\n';
                        }
                    } else {
                        err = w.size() != 3 ? "expected: NAME KEY VALUE, NAME vanish or NAME return"
                                            : applySetting(line->device(), w[1], w[2]);
                    }
                }
                std::cout << (err.empty() ? "ok" : "error " + err) << std::endl;
            }
        }
        now = Clock::now();
        for (const auto& line : lines)
            if (line->sendDue(now)) std::cout << line->device().name() << ' ' << line->shownPath() << std::endl;
    }
    return 0;
}

}  // namespace
}  // namespace devsim

int main(int argc, char** argv) {
    try {
        return devsim::run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "devsim: " << e.what() << '\n';
        return 1;
    }
}
