#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <cstdint>
#include <functional>
#else
#include <termios.h>
#endif

#include "common/Noncopyable.h"
#include "common/WinError.h"

namespace comprt {

// Scoped guard of a port's read section.
using Lock = std::lock_guard<std::mutex>;

// The texts the port raises as message errors (UserError).
inline constexpr const char* kPortNotOpen = "COM-порт не открыт";
inline constexpr const char* kNoAnswer = "Прибор не отвечает";

// The code a short write reports: the write-fault number (29), so a short
// write shows the same code as every other failed write of a serial line.
inline constexpr std::uint32_t kWriteFault = 29;

// Timeouts of one transfer, in milliseconds, with the meaning of the classic
// COM port timeout record:
// - a read ends when all bytes have arrived, or when readTotalConstant +
//   readTotalMultiplier * count has passed since it began (both 0: no limit),
//   or, once a byte has arrived, when the next one does not come within
//   readInterval (0: no interval limit);
// - readInterval = kMaxTimeout with both read totals 0 returns at once with
//   what has already arrived;
// - a write is bounded by writeTotalConstant + writeTotalMultiplier * count
//   (both 0: no limit); what is not written by then is a short write.
struct Timeouts {
    static constexpr std::uint32_t kMaxTimeout = 0xFFFFFFFFu;

    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;

    bool operator==(const Timeouts&) const = default;
};

// Line control values of Open.
enum class DtrControl : std::uint8_t { Disable = 0, Enable = 1, Handshake = 2 };
enum class RtsControl : std::uint8_t { Disable = 0, Enable = 1, Handshake = 2, Toggle = 3 };

// Codes of EscapeFunction (the numbers the device protocols use).
inline constexpr int kSetXoff = 1;
inline constexpr int kSetXon = 2;
inline constexpr int kSetRts = 3;
inline constexpr int kClrRts = 4;
inline constexpr int kSetDtr = 5;
inline constexpr int kClrDtr = 6;
inline constexpr int kSetBreak = 8;
inline constexpr int kClrBreak = 9;

// Whether a name begins with the letters "com" in any case.
bool IsComStyle(std::string_view name);

// What a page says when its port goes away under it, and when it is back.
inline constexpr const char* kPortGonePrefix = "Порт отключён: ";
inline constexpr const char* kPortBack = "Порт снова подключён";
// "Порт отключён: <name>".
std::string PortGoneText(std::string_view name);

// Whether a system error code of a transfer says that the device itself is
// gone (an unplugged adapter, a pseudo-terminal whose other side closed),
// not that one transfer failed: EIO, ENXIO and ENODEV on POSIX; on Windows
// the codes a removed USB adapter's driver answers with.
bool IsVanishedCode(std::uint32_t code);

// A transfer met a port that has gone away. Its text is PortGoneText(name).
class PortGone : public UserError {
public:
    explicit PortGone(std::string name) : UserError(PortGoneText(name)), m_name(std::move(name)) {}
    const std::string& name() const { return m_name; }

private:
    std::string m_name;
};

// One serial port, used by exactly one worker thread. Every operation blocks
// until it is done; reads are bounded by the timeouts set at Open (or later),
// writes by the write timeouts (none by default).
//
// A closed port refuses every transfer with the message error kPortNotOpen.
// Failed system calls raise win_error with the system's error code (errno;
// GetLastError on Windows).
class ComPort : Noncopyable {
public:
    // The program's list of port names. Port indices kept by the pages and
    // the settings store are 1-based positions in it; 0 means no port.
    class ComList {
    public:
        static constexpr std::size_t kMaxNames = 256;
        static constexpr std::size_t kFallbackCount = 20;

#ifdef _WIN32
        // The COMn names of the machine's device namespace (QueryDosDevice),
        // then COM1 … COM20 when there are none.
        ComList();

        // One call of the device-name query: QueryDosDeviceW(nullptr, buffer,
        // size), or a stand-in in tests. The characters written; 0 with the
        // system's last error set on failure.
        using DosDeviceQuery = std::function<std::uint32_t(wchar_t* buffer, std::uint32_t size)>;
        // The names the query gives, in its order. A buffer found too small
        // (ERROR_INSUFFICIENT_BUFFER) is doubled from 8192 characters up to
        // 65536; any other failure, or too small a buffer at the end, gives
        // no names. Names that are not plain ASCII are left out (no COM name
        // has other characters).
        static std::vector<std::string> DosDeviceNames(const DosDeviceQuery& query);
#else
        // Where the machine's serial devices are looked for.
        struct DeviceDirs {
            std::string sysClassTty = "/sys/class/tty";
            std::string dev = "/dev";
            std::string byId = "/dev/serial/by-id";
        };

        // The machine's serial devices, then the ports named by the
        // environment variable RVSERVICE_PORTS (paths separated by ":");
        // COM1 … COM20 when that gives nothing.
        ComList();
#endif
        // The accepted names among `candidates`, in their order, without
        // repeats, at most kMaxNames; COM1 … COM20 when none is accepted.
        explicit ComList(const std::vector<std::string>& candidates);

        std::size_t Count() const { return m_names.size(); }
        // Name at the 0-based position i (std::out_of_range beyond Count()).
        const std::string& Name(std::size_t i) const { return m_names.at(i); }
        // What the machine tells of the device at position i (a USB
        // adapter's vendor, product and serial number), "" when nothing.
        const std::string& Hint(std::size_t i) const;
        // Gives the names hints, by name; names without one keep "".
        void SetHints(const std::vector<std::pair<std::string, std::string>>& hints);
        // All names, each followed by a line feed.
        const std::string& Text() const { return m_text; }
        const std::vector<std::string>& Names() const { return m_names; }

        // Whether a name may stand in the list: a COM-style name (the letters
        // "com" in any case) only with at most nine decimal digits after it
        // and nothing else; otherwise only an absolute device path.
        static bool Accepts(std::string_view name);

#ifndef _WIN32
        // The serial devices present on the machine: ttys that belong to a
        // driver and exist as character devices, legacy UARTs that the
        // kernel found no hardware for left out, in natural name order
        // (ttyS2 before ttyS10); each under its /dev/serial/by-id name when
        // there is one. No device is opened on the way (an open would raise
        // DTR and RTS on the line).
        static std::vector<std::string> MachineDevices(const DeviceDirs& dirs);
#endif
#ifndef _WIN32
        // A USB adapter's identity as sysfs shows it: "USB <vendor>:<product>"
        // with the manufacturer's and product's own names and the serial
        // number where the device has them, "" for a device that is no USB
        // device or not one of the machine's ttys. `name` is a list name: a
        // by-id link or a path under dirs.dev. Nothing is opened.
        static std::string MachineHint(const std::string& name, const DeviceDirs& dirs);
#endif
        // The entries of a ":"-separated list (empty entries dropped).
        static std::vector<std::string> SplitPorts(std::string_view list);

    private:
        std::vector<std::string> m_names;
        std::vector<std::string> m_hints;  // by position; empty until SetHints
        std::string m_text;
    };

    ComPort() = default;
    ~ComPort();

    // The one program-wide list, built on first use (the program asks for it
    // at start, before any page exists) and never refreshed afterwards.
    static const ComList& PortList();
    // Puts `list` in place of the program-wide list. For tests and for a
    // program that builds its list itself; only while no port is in use.
    static void ReplacePortList(ComList list);

    // The device a port name opens. Windows: "\\.\" and the name. Elsewhere:
    // an absolute path as it is, COMn as /dev/ttyS(n-1), any other name
    // under /dev; empty for COM and COM0.
    static std::string DevicePath(std::string_view name);

    // Closes the port if open, then opens the device of `name` for exclusive
    // use. A device that is absent, is not a device at all or is held by
    // another program (or another ComPort): kPortNotOpen.
    void OpenDevice(const std::string& name);
    // OpenDevice, then 8 data bits, one stop bit, the given parity (0 none,
    // 1 odd, 2 even, 3 mark, 4 space), DTR and RTS raised, read total
    // timeout `readTimeout` ms and no other timeouts. A rejected setting
    // closes the port and raises win_error.
    void Open(const std::string& name, std::uint32_t baud, std::uint32_t readTimeout,
              std::uint8_t parity);
    // Index 0 or an index above the list's count: Close. Otherwise the named
    // variant with port index-1 of PortList() and no parity.
    void Open(int index, std::uint32_t baud, std::uint32_t readTimeout);
    // Index 0 or below, or above the count: Close. Otherwise port index-1
    // of PortList(), no parity, the given line controls and stop bits (0 one,
    // 2 two; one and a half is refused with 8 data bits), read total
    // constant and multiplier, no other timeouts. The index is as wide as
    // the list is long: the list holds up to 256 names.
    void Open(int index, std::uint32_t baud, std::uint32_t readTotalConstant,
              std::uint32_t readTotalMultiplier, DtrControl dtr, RtsControl rts,
              std::uint8_t stopBits);

    // Restores the line settings found at open and closes. A closed port
    // stays closed. A lost port is forgotten (Lost() is false afterwards).
    void Close();

    // A port goes away under a transfer when the system answers with a
    // hang-up or a vanished-device code (IsVanishedCode): the transfer
    // raises PortGone, the port closes and remembers how it was set up
    // (name, line, timeouts, DTR and RTS as last set) until it is opened or
    // closed again.
    bool Lost() const { return m_lost; }
    // The name the port was opened with (also while lost); "" before.
    const std::string& Name() const { return m_name; }
    // A lost port whose device is there again (Present) is opened again
    // with the settings it had; true when it is open. Never throws: a
    // device that is back but does not open yet stays lost.
    bool Reopen();
    // Whether the device of a port name exists now. POSIX: its path (a
    // by-id link followed) is a character device. Windows: the name is
    // among the machine's COM names.
    static bool Present(const std::string& name);
#ifdef _WIN32
    bool IsOpen() const { return m_port != kInvalidHandle; }
#else
    bool IsOpen() const { return m_port >= 0; }
#endif

    // Reads exactly `count` bytes; fewer within the timeouts: kNoAnswer.
    void Read(void* buffer, std::size_t count);
    // Reads until `maximum` bytes or the timeouts end; returns how many
    // arrived. None: kNoAnswer.
    std::size_t ReadSome(void* buffer, std::size_t maximum);
    // Writes all bytes and waits until the driver has sent them on. Fewer
    // written (hang-up, write timeout): win_error kWriteFault.
    void Write(const void* buffer, std::size_t count);

    // Discards what waits in both directions.
    void Purge();
    // Discards the received bytes not yet read.
    void PurgeInput();

    // Replaces the read total constant only.
    void SetReadTimeout(std::uint32_t milliseconds);
    Timeouts GetTimeouts() const;
    void SetTimeouts(const Timeouts& timeouts);

    // Break state of the transmit line; whether the system accepted it.
    bool SetBreak();
    bool ClearBreak();
    // One line function (kSetXoff … kClrBreak; others: win_error EINVAL). A pseudo-terminal has no modem lines:
    // there DTR and RTS functions are done by definition.
    void EscapeFunction(int code);

private:
    void CheckOpen() const;
    // The line as the last Open set it, with DTR and RTS as last switched.
    struct LineSetup {
        std::uint32_t baud = 0;
        std::uint8_t parity = 0;
        std::uint8_t stopBits = 0;
        DtrControl dtr = DtrControl::Enable;
        RtsControl rts = RtsControl::Enable;
    };
    // A transfer's system error: PortGone (after closing the port) when the
    // code says the device is gone, else win_error with the code.
    [[noreturn]] void FailTransfer(std::uint32_t code);
    // The port went away: closes it and keeps what Reopen needs.
    void Lose();
    // Keeps DTR and RTS as an escape function switched them.
    void NoteEscape(int code);

    std::string m_name;
    LineSetup m_setup;
    bool m_lost = false;
#ifdef _WIN32
    // One overlapped read or write, waited for without limit (the port's
    // timeouts end it); the bytes it moved.
    std::size_t Transfer(bool write, void* buffer, std::size_t count);
    void SetLine(std::uint32_t baud, std::uint8_t parity, std::uint8_t stopBits,
                 DtrControl dtr, RtsControl rts);
    [[noreturn]] void Fail(std::uint32_t code);

    // INVALID_HANDLE_VALUE, without <windows.h> in every user of the port.
    static inline void* const kInvalidHandle = reinterpret_cast<void*>(static_cast<std::intptr_t>(-1));

    void* m_port = kInvalidHandle;  // HANDLE
    void* m_ioEvent = nullptr;  // manual-reset event of every transfer
    Timeouts m_keptTimeouts;    // what a lost port had, for Reopen
    std::mutex m_section;
#else
    void SetLine(std::uint32_t baud, std::uint8_t parity, std::uint8_t stopBits,
                 DtrControl dtr, RtsControl rts);
    void SetModemLine(int bits, bool on);
    void Escape(int code);
    // Close, then win_error with `code`.
    [[noreturn]] void Fail(int code);
    std::size_t Receive(std::uint8_t* buffer, std::size_t count);

    int m_port = -1;
    termios m_saved{};
    bool m_hasSaved = false;
    Timeouts m_timeouts;
    std::mutex m_section;
#endif
};

}  // namespace comprt
