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

namespace {

// The first line of a sysfs attribute, "" when it cannot be read.
std::string Attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

}  // namespace

std::string ComPort::ComList::MachineHint(const std::string& name, const DeviceDirs& dirs) {
    std::error_code error;
    // A by-id name is a link to the tty's node; the node's name is the tty's.
    fs::path node(name);
    const fs::path target = fs::read_symlink(node, error);
    if (!error && fs::path(name).parent_path().lexically_normal() == fs::path(dirs.byId).lexically_normal())
        node = target;
    const fs::path device = fs::canonical(fs::path(dirs.sysClassTty) / node.filename() / "device", error);
    if (error) return {};
    // The tty hangs below its USB interface, which hangs below the USB
    // device, the one that carries the ids: a few levels up at most.
    fs::path usb = device;
    for (int level = 0; level < 4 && !fs::exists(usb / "idVendor", error); ++level) {
        if (!usb.has_relative_path()) return {};
        usb = usb.parent_path();
    }
    const std::string vendor = Attribute(usb / "idVendor");
    const std::string product = Attribute(usb / "idProduct");
    if (vendor.empty() || product.empty()) return {};
    std::string hint = "USB " + vendor + ":" + product;
    for (const char* attribute : {"manufacturer", "product"}) {
        const std::string text = Attribute(usb / attribute);
        if (!text.empty()) hint += " " + text;
    }
    const std::string serial = Attribute(usb / "serial");
    if (!serial.empty()) hint += ", серийный номер " + serial;
    return hint;
}

ComPort::ComList::ComList() : ComList([] {
    std::vector<std::string> candidates = MachineDevices(DeviceDirs{});
    if (const char* extra = std::getenv("RVSERVICE_PORTS")) {
        for (std::string& port : SplitPorts(extra)) candidates.push_back(std::move(port));
    }
    return candidates;
}()) {
    std::vector<std::pair<std::string, std::string>> hints;
    for (const std::string& name : m_names) hints.emplace_back(name, MachineHint(name, DeviceDirs{}));
    SetHints(hints);
}

}  // namespace comprt
