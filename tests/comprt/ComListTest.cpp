#include "comprt/ComPort.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using comprt::ComPort;
using ComList = comprt::ComPort::ComList;
namespace fs = std::filesystem;

TEST(ComList, AcceptsComNamesWithUpToNineDigitsAndDevicePaths) {
    const struct {
        const char* name;
        bool accepted;
    } cases[] = {
        {"COM3", true},
        {"com12", true},
        {"CoM256", true},
        {"COM", true},
        {"COM123456789", true},
        {"COM1234567890", false},  // ten digits
        {"COMX", false},
        {"COM1A", false},
        {"COM 1", false},
        {"LPT1", false},
        {"CNCA0", false},
        {"CO", false},
        {"", false},
        {"/dev/ttyUSB0", true},
        {"/dev/pts/7", true},
        {"ttyUSB0", false},  // a device is named by its full path
    };
    for (const auto& c : cases) EXPECT_EQ(ComList::Accepts(c.name), c.accepted) << c.name;
}

TEST(ComList, KeepsOrderDropsRejectedAndRepeatedNames) {
    const ComList list({"COM10", "LPT1", "COM2", "/dev/pts/4", "COM10", "COMX"});
    EXPECT_EQ(list.Names(), (std::vector<std::string>{"COM10", "COM2", "/dev/pts/4"}));
    EXPECT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.Name(1), "COM2");
    EXPECT_EQ(list.Text(), "COM10\nCOM2\n/dev/pts/4\n");
    EXPECT_THROW(list.Name(3), std::out_of_range);
}

TEST(ComList, FallsBackToTwentyComNames) {
    for (const auto& candidates : {std::vector<std::string>{}, std::vector<std::string>{"LPT1", "CNCA0"}}) {
        const ComList list(candidates);
        ASSERT_EQ(list.Count(), 20u);
        EXPECT_EQ(list.Name(0), "COM1");
        EXPECT_EQ(list.Name(19), "COM20");
        // 111 bytes with one terminator per name, as the names with line feeds.
        EXPECT_EQ(list.Text().size(), 111u);
    }
}

TEST(ComList, TakesAtMost256Names) {
    std::vector<std::string> many;
    for (int i = 0; i < 300; ++i) many.push_back("COM" + std::to_string(i));
    const ComList list(many);
    EXPECT_EQ(list.Count(), 256u);
    EXPECT_EQ(list.Name(255), "COM255");
}

TEST(ComList, SplitsThePortsVariable) {
    EXPECT_EQ(ComList::SplitPorts("/dev/pts/3::/tmp/bench/rv:"),
              (std::vector<std::string>{"/dev/pts/3", "/tmp/bench/rv"}));
    EXPECT_TRUE(ComList::SplitPorts("").empty());
}

TEST(ComList, ExtraPortsFromTheEnvironmentComeLast) {
    ::setenv("RVSERVICE_PORTS", "/tmp/devsim-a:/tmp/devsim-b", 1);
    const ComList list;
    ::unsetenv("RVSERVICE_PORTS");
    ASSERT_GE(list.Count(), 2u);
    EXPECT_EQ(list.Name(list.Count() - 2), "/tmp/devsim-a");
    EXPECT_EQ(list.Name(list.Count() - 1), "/tmp/devsim-b");
}

TEST(ComPort, DevicePathOfAPortName) {
    const struct {
        const char* name;
        const char* path;
    } cases[] = {
        {"COM1", "/dev/ttyS0"},   {"com12", "/dev/ttyS11"}, {"COM007", "/dev/ttyS6"},
        {"COM", ""},              {"COM0", ""},             {"/dev/pts/5", "/dev/pts/5"},
        {"ttyUSB0", "/dev/ttyUSB0"},
    };
    for (const auto& c : cases) EXPECT_EQ(ComPort::DevicePath(c.name), c.path) << c.name;
}

// A made-up machine: sysfs entries and device nodes (links to /dev/null, a
// character device) in a temporary folder.
class FakeMachine : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::path(::testing::TempDir()) / ("machine-" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        m_dirs.sysClassTty = (m_root / "sys").string();
        m_dirs.dev = (m_root / "dev").string();
        m_dirs.byId = (m_root / "dev/serial/by-id").string();
        fs::create_directories(m_dirs.byId);
        fs::create_directories(m_dirs.sysClassTty);
    }
    void TearDown() override { fs::remove_all(m_root); }

    // A tty; `type` is the serial core's port type (-1: no such attribute).
    void AddTty(const std::string& name, bool hasDevice, bool hasNode, int type = -1) {
        const fs::path entry = fs::path(m_dirs.sysClassTty) / name;
        fs::create_directories(entry);
        if (hasDevice) fs::create_directories(entry / "device");
        if (type >= 0) std::ofstream(entry / "type") << type << "\n";
        if (hasNode) fs::create_symlink("/dev/null", fs::path(m_dirs.dev) / name);
    }

    fs::path m_root;
    ComList::DeviceDirs m_dirs;
};

TEST_F(FakeMachine, ListsPresentSerialDevicesInNaturalOrder) {
    AddTty("ttyS10", true, true, 4);
    AddTty("ttyS2", true, true, 4);
    AddTty("ttyS3", true, true, 0);       // no UART found at this address
    AddTty("ttyUSB0", true, true);
    AddTty("ttyACM0", true, true);
    AddTty("tty5", false, true);          // a virtual console: no device
    AddTty("ttyUSB1", true, false);       // no node in /dev
    fs::create_symlink("../../ttyUSB0", fs::path(m_dirs.byId) / "usb-FTDI_FT232R_A1B2-if00-port0");

    const std::string dev = fs::path(m_dirs.dev).lexically_normal().string();
    EXPECT_EQ(ComList::MachineDevices(m_dirs),
              (std::vector<std::string>{dev + "/ttyACM0", dev + "/ttyS2", dev + "/ttyS10",
                                        m_dirs.byId + "/usb-FTDI_FT232R_A1B2-if00-port0"}));
}

TEST_F(FakeMachine, NoSerialDevicesGivesAnEmptyList) {
    AddTty("tty1", false, true);
    EXPECT_TRUE(ComList::MachineDevices(m_dirs).empty());
    fs::remove_all(m_root);
    EXPECT_TRUE(ComList::MachineDevices(m_dirs).empty());
}

// Without a readable port type (many kernels let only root read it) the list
// must not open the device to ask its driver: a tty raises DTR and RTS when
// it is opened, which would poke whatever is attached. A tty still on the
// 8250 driver's legacy placeholder is left out, one a bus claimed is kept.
TEST_F(FakeMachine, UnreadablePortTypeIsDecidedWithoutOpeningTheDevice) {
    const fs::path platform = m_root / "devices/platform/serial8250";
    const fs::path pnp = m_root / "devices/pnp0/00:05";
    fs::create_directories(platform);
    fs::create_directories(pnp);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    for (const auto& [name, bus] : {std::pair{"ttyS4", platform}, std::pair{"ttyS5", pnp}}) {
        const fs::path entry = fs::path(m_dirs.sysClassTty) / name;
        fs::create_directories(entry);
        fs::create_directory_symlink(bus, entry / "device");
        std::ofstream(entry / "type");  // there, but gives no number
        // A node of our own (the null device's numbers), so that an open of
        // it shows up in the watch and nowhere else.
        const fs::path node = fs::path(m_dirs.dev) / name;
        if (::mknod(node.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
            ::close(watch);
            GTEST_SKIP() << "device nodes cannot be made here";
        }
        ASSERT_GE(::inotify_add_watch(watch, node.c_str(), IN_OPEN), 0);
    }

    const std::string dev = fs::path(m_dirs.dev).lexically_normal().string();
    EXPECT_EQ(ComList::MachineDevices(m_dirs), std::vector<std::string>{dev + "/ttyS5"});
    char events[4096];
    EXPECT_LT(::read(watch, events, sizeof events), 0) << "a device node was opened";
    ::close(watch);
}

// A USB adapter as sysfs shows it: the tty's device link leads into the
// USB interface, whose parent device carries the ids and the strings.
TEST_F(FakeMachine, UsbAdapterHintComesFromItsDeviceNotItsName) {
    const fs::path usb = m_root / "devices/pci0000:00/usb1/1-2";
    const fs::path port = usb / "1-2:1.0/ttyUSB0";
    fs::create_directories(port);
    std::ofstream(usb / "idVendor") << "0403\n";
    std::ofstream(usb / "idProduct") << "6001\n";
    std::ofstream(usb / "manufacturer") << "FTDI\n";
    std::ofstream(usb / "product") << "FT232R USB UART\n";
    std::ofstream(usb / "serial") << "A1B2C3\n";
    AddTty("ttyUSB0", false, true);
    fs::create_directory_symlink(port, fs::path(m_dirs.sysClassTty) / "ttyUSB0/device");
    // An adapter without a serial number (many cheap ones) and a UART.
    const fs::path plain = m_root / "devices/pci0000:00/usb1/1-3";
    fs::create_directories(plain / "1-3:1.0");
    std::ofstream(plain / "idVendor") << "067b\n";
    std::ofstream(plain / "idProduct") << "2303\n";
    AddTty("ttyUSB1", false, true);
    fs::create_directory_symlink(plain / "1-3:1.0", fs::path(m_dirs.sysClassTty) / "ttyUSB1/device");
    AddTty("ttyS0", true, true, 4);
    const std::string byId = m_dirs.byId + "/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    fs::create_symlink("../../ttyUSB0", byId);

    const std::string dev = fs::path(m_dirs.dev).lexically_normal().string();
    const std::string ftdi = "USB 0403:6001 FTDI FT232R USB UART, серийный номер A1B2C3";
    const struct {
        std::string name;
        std::string hint;
    } cases[] = {
        {byId, ftdi},                      // the stable name
        {dev + "/ttyUSB0", ftdi},          // the same adapter by its path
        {dev + "/ttyUSB1", "USB 067b:2303"},
        {dev + "/ttyS0", ""},              // no USB device
        {"/tmp/devsim/rv", ""},            // not a tty of the machine
        {"COM3", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ComList::MachineHint(c.name, m_dirs), c.hint) << c.name;
}

TEST(ComList, HintsFollowTheNamesTheyBelongTo) {
    ComList list({"/dev/ttyS0", "/dev/ttyUSB0"});
    EXPECT_EQ(list.Hint(1), "");
    list.SetHints({{"/dev/ttyUSB0", "USB 0403:6001"}, {"/dev/ttyACM9", "USB 2341:0043"}});
    EXPECT_EQ(list.Hint(0), "");
    EXPECT_EQ(list.Hint(1), "USB 0403:6001");
    EXPECT_THROW(list.Hint(2), std::out_of_range);
}
