#pragma once

// Runs devsim for one test: its first output line names the device's pty;
// its standard input stays open for control commands and closing it ends
// devsim.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

class Devsim {
public:
    explicit Devsim(const std::vector<std::string>& args) {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) throw std::runtime_error("pipe");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::close(in[0]);
            ::close(in[1]);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv{const_cast<char*>(DEVSIM_PATH)};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(DEVSIM_PATH, argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        m_in = in[1];
        m_out = out[0];
        std::istringstream line(readLine());
        std::string name;
        line >> name >> m_path;
    }
    ~Devsim() {
        if (m_in >= 0) ::close(m_in);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (m_out >= 0) ::close(m_out);
    }
    Devsim(const Devsim&) = delete;
    Devsim& operator=(const Devsim&) = delete;

    const std::string& path() const { return m_path; }

    // Sends a control command ("kelt fault busy") and returns devsim's answer line.
    std::string control(const std::string& command) {
        const std::string line = command + "\n";
        if (::write(m_in, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "write failed";
        return readLine();
    }

private:
    std::string readLine() {
        // Waits at most five seconds for the whole line, so that a silent
        // devsim fails the test instead of hanging it.
        std::string line;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < end) {
            pollfd item{m_out, POLLIN, 0};
            if (::poll(&item, 1, 100) <= 0) continue;
            char c;
            if (::read(m_out, &c, 1) != 1 || c == '\n') break;
            line += c;
        }
        return line;
    }

    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_path;
};
