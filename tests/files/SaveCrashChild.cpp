// The saving child of the crash test: saves one kind of file over the same
// path again and again, alternating its two versions, until it is killed.
//
//   save_crash_child KIND FOLDER REPORT_FD
//
// It first saves both versions once and copies each, as it stands on the
// disk, to FOLDER/../expected-KIND-0 and -1, then writes "R" to REPORT_FD.
// After that it writes "F" to REPORT_FD whenever a flush to the disk begins
// (the program puts its own fsync in front of the C library's) and "S"
// after every completed save, so that the test can kill it inside a flush.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/syscall.h>
#include <unistd.h>

#include "SaveCrashWork.h"

namespace {

int g_report = -1;

void report(char c) {
    if (g_report < 0) return;
    while (::write(g_report, &c, 1) < 0 && errno == EINTR) {
    }
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace

extern "C" int fsync(int fd) {
    report('F');
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

int main(int argc, char** argv) {
    savecrash::Kind kind;
    if (argc != 4 || !savecrash::parseKind(argv[1], kind)) {
        std::fprintf(stderr, "usage: save_crash_child document|settings|report FOLDER REPORT_FD\n");
        return 2;
    }
    const std::string folder = argv[2];
    const std::string target = folder + "/" + savecrash::targetName(kind);
    const std::string expected = std::filesystem::path(folder).parent_path() / ("expected-" + std::string(argv[1]) + "-");
    try {
        for (int version = 0; version < 2; ++version) {
            savecrash::save(kind, folder, version);
            std::ofstream(expected + std::to_string(version), std::ios::binary) << readAll(target);
        }
        g_report = std::atoi(argv[3]);
        report('R');
        for (int version = 0;; version ^= 1) {
            savecrash::save(kind, folder, version);
            report('S');
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "save_crash_child: %s\n", e.what());
        return 1;
    }
}
