#pragma once

// Runs devsim for a test. devsim's standard input and output are pipes: the
// test waits for its "ready" line (after one "NAME PATH" line per device),
// sends control commands and reads their "ok" or "error ..." answers. The
// ports are symlinks in a fresh folder (--link), so a path stays valid when
// a device hangs up and gets a fresh pty.
//
// The pipes are close-on-exec, so no other child of the test inherits them
// and keeps devsim alive. Destroying the object closes devsim's input (devsim
// ends with it), then kills devsim if it has not ended and reaps it.

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace testsupport {

class Devsim {
public:
    // Starts `program` (devsim) with `args` and returns once devsim said
    // "ready". Throws when it does not start or ends before that.
    explicit Devsim(const std::string& program, std::vector<std::string> args = {}) {
        char dir[] = "/tmp/devsim-XXXXXX";
        if (!::mkdtemp(dir)) throw std::runtime_error("no temporary folder for devsim's ports");
        m_dir = dir;
        args.insert(args.begin(), {"--link", m_dir});
        try {
            Spawn(program, args);
            for (std::string line = ReadLine(); line != "ready"; line = ReadLine()) {
                if (line.empty()) throw std::runtime_error("devsim did not start: " + program);
                NotePath(line);
            }
        } catch (...) {
            Shutdown();
            throw;
        }
    }
    ~Devsim() { Shutdown(); }
    Devsim(const Devsim&) = delete;
    Devsim& operator=(const Devsim&) = delete;

    // The port of the device `name` ("dorn", "rv", "nivor", "kelt").
    const std::string& path(const std::string& name) const {
        const auto it = m_paths.find(name);
        if (it == m_paths.end()) throw std::runtime_error("devsim serves no " + name);
        return it->second;
    }

    // Sends "NAME KEY VALUE" and returns devsim's answer ("ok" or
    // "error ..."); empty when devsim does not answer. "NAME PATH" lines of
    // hang-ups on the way are taken in.
    std::string control(const std::string& command) {
        const std::string line = command + "\n";
        if (!WriteAll(line)) return {};
        for (;;) {
            const std::string answer = ReadLine();
            if (answer.empty() || answer == "ok" || answer.rfind("error", 0) == 0) return answer;
            NotePath(answer);
        }
    }

private:
    // How long devsim may take for one line of output.
    static constexpr std::chrono::seconds kLineLimit{10};

    void Spawn(const std::string& program, const std::vector<std::string>& args) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for devsim");
        m_in = in[1];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            ::close(in[0]);
            throw std::runtime_error("no pipe for devsim");
        }
        m_out = out[0];
        // dup2 onto 0 and 1 clears close-on-exec there only; the pipes' own
        // descriptors close when devsim's program starts.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int failed = ::posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        if (failed != 0) {
            m_pid = -1;
            throw std::runtime_error("cannot start " + program + ": " + std::strerror(failed));
        }
    }

    void Shutdown() {
        if (m_in >= 0) ::close(m_in);
        m_in = -1;
        if (m_pid > 0) {
            int status = 0;
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (::waitpid(m_pid, &status, WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() > end) {
                    ::kill(m_pid, SIGKILL);
                    ::waitpid(m_pid, &status, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            m_pid = -1;
        }
        if (m_out >= 0) ::close(m_out);
        m_out = -1;
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);  // the links, not what they name
    }

    // "NAME PATH"
    void NotePath(const std::string& line) {
        const auto space = line.find(' ');
        if (space != std::string::npos) m_paths[line.substr(0, space)] = line.substr(space + 1);
    }

    // Writes to devsim's input. A devsim that has gone makes the write fail
    // with EPIPE; the SIGPIPE that comes with it is held back and taken here
    // instead of ending the test program.
    bool WriteAll(const std::string& text) {
        sigset_t pipeSignal, previous;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
        bool ok = true;
        for (std::size_t done = 0; ok && done < text.size();) {
            const ssize_t n = ::write(m_in, text.data() + done, text.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else if (n < 0 && errno == EPIPE) {
                const timespec now{};
                ::sigtimedwait(&pipeSignal, nullptr, &now);
                ok = false;
            } else if (!(n < 0 && errno == EINTR))
                ok = false;
        }
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        return ok;
    }

    // One line of devsim's output without its newline; empty when devsim
    // ended or said nothing within kLineLimit.
    std::string ReadLine() {
        const auto end = std::chrono::steady_clock::now() + kLineLimit;
        for (;;) {
            const auto eol = m_buffer.find('\n');
            if (eol != std::string::npos) {
                std::string line = m_buffer.substr(0, eol);
                m_buffer.erase(0, eol + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return {};
            pollfd item{m_out, POLLIN, 0};
            const int ready = ::poll(&item, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno != EINTR) return {};
            if (ready <= 0) continue;
            char chunk[256];
            const ssize_t n = ::read(m_out, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return {};
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    std::string m_dir;
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
    std::map<std::string, std::string> m_paths;
};

}  // namespace testsupport
