// libFuzzer target for the settings store: every input is the settings file
// as the store finds it. Opening a key, reading numbers and strings of any
// name and writing them back must work whatever the file holds: a damaged
// file reads as defaults and the next write replaces it (keeping the old
// bytes as "<file>.damaged"). Any exception escaping the store, a crash or a
// sanitizer report is a finding, and so is a written value that does not
// read back.
//
// Input: [name length][value name…] file bytes…

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "FuzzInput.h"
#include "link/RegKey.h"

namespace {

namespace fs = std::filesystem;

// A folder of this process's own, in memory where the machine has one.
const std::string& folder() {
    static const std::string path = [] {
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        const fs::path dir = base / ("settings-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        return dir.string();
    }();
    return path;
}

bool isUtf8(const std::string& text) {
    try {
        (void)nlohmann::json(text).dump();
        return true;
    } catch (const nlohmann::json::exception&) {
        return false;
    }
}

void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "settings store: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const auto nameBytes = input.bytes(input.choice(16));
    std::string name(reinterpret_cast<const char*>(nameBytes.data()), nameBytes.size());
    // Value names are the program's own texts; the file is what is hostile.
    if (!isUtf8(name)) name = "Name";
    const std::string file = input.restText();

    const std::string location = folder() + "/Сервис.json";
    fs::remove(location + ".damaged");
    {
        std::ofstream out(location, std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
        check(static_cast<bool>(out), "the test cannot write its file");
    }
    RegKey::SetFileLocation(location);

    RegKey key;
    key.Open();
    (void)key.ReadInt(name, 7);
    (void)key.ReadString(name, "default");
    (void)key.ReadInt("SpprComPort", 0);
    (void)key.ReadString("LastFile");

    key.WriteInt("SpprComPort", -5);
    check(key.ReadInt("SpprComPort", 0) == -5, "a written number does not read back");
    key.WriteString(name, file.substr(0, 64));
    const std::string stored = file.substr(0, 64).substr(0, file.substr(0, 64).find('\0'));
    check(key.ReadString(name, "x") == stored, "a written string does not read back");
    // A string of the same name replaces the number; any other name leaves it.
    if (name != "SpprComPort") check(key.ReadInt("SpprComPort", 0) == -5, "a write lost another value");

    RegKey other;
    other.Open("Software\\Соврель\\Сервис\\Другой");
    other.WriteInt(name, 12);
    check(other.ReadInt(name, 0) == 12, "a second key's number does not read back");
    check(key.ReadString(name, "x") == stored, "a second key's write changed the first");
    return 0;
}
