#pragma once

// Runs devsim for a test: its stdin and stdout are pipes, so the test reads
// the "NAME PATH" lines, sends control commands and waits for their "ok".
// Closing stdin (the destructor) stops devsim.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

class DevsimProcess {
public:
    // `args` go to devsim after --link (a fresh directory of links).
    DevsimProcess(const std::string& program, std::vector<std::string> args = {}) {
        char dir[] = "/tmp/devsim-XXXXXX";
        if (!mkdtemp(dir)) throw std::runtime_error("no temporary directory");
        m_dir = dir;
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
        args.insert(args.begin(), {"--link", m_dir});
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_in = in[1];
        m_out = out[0];
        // One line per device, then the simulators serve.
        for (std::string line; !(line = readLine()).empty();) {
            const auto space = line.find(' ');
            m_paths[line.substr(0, space)] = line.substr(space + 1);
            if (line.rfind("nivor ", 0) == 0 || m_paths.size() >= expected(args)) break;
        }
    }
    ~DevsimProcess() {
        close(m_in);
        int status = 0;
        for (int i = 0; i < 50 && waitpid(m_pid, &status, WNOHANG) == 0; ++i) usleep(20000);
        if (waitpid(m_pid, &status, WNOHANG) == 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
        close(m_out);
        for (const auto& [name, path] : m_paths) unlink(path.c_str());
        rmdir(m_dir.c_str());
    }
    DevsimProcess(const DevsimProcess&) = delete;
    DevsimProcess& operator=(const DevsimProcess&) = delete;

    const std::string& path(const std::string& name) const { return m_paths.at(name); }

    // Sends "NAME KEY VALUE" and returns devsim's answer ("ok" or "error …"),
    // skipping the "NAME PATH" lines of hang-ups.
    std::string control(const std::string& command) {
        const std::string line = command + "\n";
        if (write(m_in, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "no devsim";
        for (;;) {
            const std::string answer = readLine();
            if (answer.empty() || answer == "ok" || answer.rfind("error", 0) == 0) return answer;
        }
    }

private:
    static std::size_t expected(const std::vector<std::string>& args) {
        for (std::size_t i = 0; i + 1 < args.size(); ++i)
            if (args[i] == "--only") {
                std::size_t n = 1;
                for (char c : args[i + 1]) n += c == ',';
                return n;
            }
        return 3;
    }

    // One line of devsim's output, waiting at most five seconds.
    std::string readLine() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            const auto eol = m_buffer.find('\n');
            if (eol != std::string::npos) {
                std::string line = m_buffer.substr(0, eol);
                m_buffer.erase(0, eol + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return {};
            pollfd item{m_out, POLLIN, 0};
            if (poll(&item, 1, static_cast<int>(left.count())) <= 0) continue;
            char chunk[256];
            const ssize_t n = read(m_out, chunk, sizeof chunk);
            if (n <= 0) return {};
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    std::string m_dir;
    pid_t m_pid = -1;
    int m_in = -1, m_out = -1;
    std::string m_buffer;
    std::map<std::string, std::string> m_paths;
};
