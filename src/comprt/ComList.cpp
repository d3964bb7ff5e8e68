#include "comprt/ComPort.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace comprt {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Natural order: "ttyS2" before "ttyS10", "ttyACM0" before "ttyS0".
bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei])) ++ei;
            while (ej < b.size() && IsDigit(b[ej])) ++ej;
            const std::string_view na = std::string_view(a).substr(i, ei - i);
            const std::string_view nb = std::string_view(b).substr(j, ej - j);
            const std::size_t za = na.find_first_not_of('0'), zb = nb.find_first_not_of('0');
            const std::string_view ta = za == std::string_view::npos ? "" : na.substr(za);
            const std::string_view tb = zb == std::string_view::npos ? "" : nb.substr(zb);
            if (ta.size() != tb.size()) return ta.size() < tb.size();
            if (ta != tb) return ta < tb;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

bool IsCharacterDevice(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

// The 8250 driver hangs the ports of its legacy table on a placeholder
// platform device named "serial8250". A tty still there is a slot that no bus
// (PnP, ACPI, PCI) claimed: on a PC, an address with no UART behind it.
bool LegacySlot(const fs::path& sysEntry) {
    std::error_code error;
    const fs::path device = fs::read_symlink(sysEntry / "device", error);
    return !error && device.filename() == "serial8250";
}

// A port of the serial core (the legacy 8250 UARTs above all) has a tty
// whether or not the hardware is there; the kernel reports port type 0 when
// it found none. Other drivers make a tty only for a device that exists.
bool UartPresent(const fs::path& sysEntry) {
    std::error_code error;
    if (!fs::exists(sysEntry / "type", error)) return true;
    std::ifstream typeFile(sysEntry / "type");
    int type = -1;
    if (typeFile >> type) return type != 0;
    // Many kernels let only root read the attribute. Opening the device to
    // ask the driver instead would raise DTR and RTS on whatever is attached
    // to the line (a tty raises them at open), so the tty's place in the
    // device tree decides: legacy slots are left out, the rest kept.
    return !LegacySlot(sysEntry);
}

// The entries of a folder; none when it cannot be read. The port list must
// come out of a half-readable /sys or /dev without an exception.
std::vector<fs::path> ListFolder(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) entries.push_back(it->path());
    return entries;
}

}  // namespace

std::vector<std::string> ComPort::ComList::MachineDevices(const DeviceDirs& dirs) {
    std::error_code error;
    std::vector<std::string> ttys;
    for (const fs::path& sysEntry : ListFolder(dirs.sysClassTty)) {
        // Only ttys of a driver: consoles and pseudo-terminals have no device.
        if (!fs::exists(sysEntry / "device", error)) continue;
        const std::string name = sysEntry.filename().string();
        const fs::path device = fs::path(dirs.dev) / name;
        if (!IsCharacterDevice(device)) continue;
        if (!UartPresent(sysEntry)) continue;
        ttys.push_back(name);
    }
    std::sort(ttys.begin(), ttys.end(), NaturalLess);

    // The by-id links name a device by vendor and serial number, so the name
    // a user picked stays right when the kernel numbers devices differently.
    std::map<std::string, std::string> byId;
    std::vector<fs::path> links = ListFolder(dirs.byId);
    std::sort(links.begin(), links.end());
    for (const fs::path& link : links) {
        std::error_code linkError;
        fs::path target = fs::read_symlink(link, linkError);
        if (linkError) continue;
        if (target.is_relative()) target = link.parent_path() / target;
        byId.emplace(target.lexically_normal().string(), link.string());
    }

    std::vector<std::string> devices;
    for (const std::string& name : ttys) {
        const std::string path = (fs::path(dirs.dev) / name).lexically_normal().string();
        const auto stable = byId.find(path);
        devices.push_back(stable != byId.end() ? stable->second : path);
    }
    return devices;
}

ComPort::ComList::ComList() : ComList([] {
    std::vector<std::string> candidates = MachineDevices(DeviceDirs{});
    if (const char* extra = std::getenv("RVSERVICE_PORTS")) {
        for (std::string& port : SplitPorts(extra)) candidates.push_back(std::move(port));
    }
    return candidates;
}()) {}

}  // namespace comprt
