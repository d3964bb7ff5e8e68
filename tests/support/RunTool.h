#pragma once

// Runs a built program of the project and captures what it printed.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs `program` with `args`, stdin from /dev/null.
inline ToolResult runTool(const std::string& program, const std::vector<std::string>& args) {
    char errName[] = "/tmp/rvtool-stderr-XXXXXX";
    const int errFd = mkstemp(errName);
    if (errFd >= 0) close(errFd);
    std::string command = shellQuote(program);
    for (const auto& a : args) command += " " + shellQuote(a);
    command += " </dev/null 2>" + shellQuote(errName);
    ToolResult result;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) result.out.append(buf, n);
        const int status = pclose(pipe);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::ifstream err(errName);
    std::stringstream text;
    text << err.rdbuf();
    result.err = text.str();
    std::remove(errName);
    return result;
}

// A file in a fresh temporary directory, removed with the object.
class TempFile {
public:
    explicit TempFile(const std::string& name, const std::string& content = {}) {
        char dir[] = "/tmp/rvtest-XXXXXX";
        m_dir = mkdtemp(dir) ? dir : "/tmp";
        m_path = m_dir + "/" + name;
        if (!content.empty()) std::ofstream(m_path, std::ios::binary) << content;
    }
    ~TempFile() {
        std::remove(m_path.c_str());
        rmdir(m_dir.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_dir, m_path;
};
