#pragma once

// The Kelt frames: what goes on the wire for each sub-command and what its
// answer must look like, as pure functions over bytes (no port, no globals).
// The worker (KeltThread) does the I/O and keeps the order of the steps; the
// parameter blocks carried inside the frames are KeltBlocks'. Failures are
// UserErrors with the protocol's texts; a busy transducer fails with an
// empty text.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "devices/kelt/KeltBlocks.h"
#include "link/FrameLog.h"

// The decoded answer of sub-command 23.
struct KeltSignal {
    double temperature = 0;  // °C
    int flags = 0;           // bit 2: no signal; bits 0-1: quality
    double frequency = 0;    // Hz; 0 when there is no signal
    // Bits 1-2 equal 2: the transducer does not know the frequency.
    bool frequencyUnknown() const { return (flags & 6) == 2; }
};

namespace kelt {

// Sub-commands of an exchange (the `sub` of a request). On the older
// protocol (models 0 … 8) a sub-command that sends a byte of its own sends
// exactly its number; the newer protocol (models 9 … 18) maps it to one of
// the NewerCommand bytes.
enum Sub : std::uint8_t {
    kAmplitude = 0,  // the adapter's signal amplitude
    kReadBlock1 = 1,
    kWriteBlock1 = 2,
    kSpare3 = 3,  // never posted; the older protocol identifies the transducer first
    kSpare4 = 4,  // never posted; identifies, sends no byte of its own
    kBattery = 5,
    kWriteBlock1Alt = 6,  // encoded like kWriteBlock1 but never posted
    kSpare7 = 7,          // never posted; identifies, sends no byte of its own
    kDeviceType = 8,      // also the identification step of every exchange
    kFirmware = 9,
    kSpare10 = 10,  // never posted; identifies, sends no byte of its own
    kLevel0 = 11,   // the adapter's signal threshold levels 0 … 3
    kLevel1 = 12,
    kLevel2 = 13,
    kLevel3 = 14,
    kAdapterQuery = 15,  // is the adapter there, and which one: opens every older exchange
    kReadBlock2 = 16,
    kWriteBlock2 = 17,
    kWriteBlock2Alt = 18,  // encoded like kWriteBlock2 but never posted
    kReadCorrection = 19,
    kWriteCorrection = 20,
    kWriteCorrectionAlt = 21,  // never posted; sends no byte of its own
    kTemperature = 22,
    kSignal = 23,  // temperature, signal quality and frequency
    kReadBlock3 = 24,
    kWriteBlock3 = 25,
    kWriteBlock3Alt = 26,  // encoded like kWriteBlock3 but never posted
    kReadBlock4 = 27,
    kWriteBlock4 = 28,
    kWriteBlock4Alt = 29,  // encoded like kWriteBlock4 but never posted
    kReadBlock5 = 30,
    kWriteBlock5 = 31,
};

// The command bytes of the newer protocol.
enum NewerCommand : std::uint8_t {
    kNewerRead = 1,       // read the parameter block
    kNewerWrite = 2,      // write the parameter block (a whole frame)
    kNewerIdentify = 8,   // device type
    kNewerFirmware = 9,   // firmware checksum and version
    kNewerMeasure = 11,   // kTemperature, or the temperature/frequency record of kSignal
};

// Bytes of the wire that are not sub-commands.
inline constexpr std::uint8_t kBusyEcho = 255;        // older protocol: the transducer is busy
inline constexpr std::uint8_t kModel0Adapter = 255;   // adapter query answer of an adapter for model 0 only
inline constexpr std::uint8_t kWakeUp = 255;          // newer protocol, models 9 … 11: sent before and after identifying
inline constexpr std::uint8_t kType3Block3Write = 26;  // command of a block 3 write to a device of type 3
// A type-3 transducer takes its block 3 write with the checksum's low byte
// lowered by this much.
inline constexpr std::uint8_t kType3ChecksumLowering = 39;

inline constexpr const char* kExchangeError = "Ошибка обмена";
inline constexpr const char* kChecksumError = "Ошибка контрольной суммы";
inline constexpr const char* kAdapterModel0Only = "Адаптер поддерживает только КЕЛТ-ЧИ2-xxx";
inline constexpr const char* kAdapterNo23 = "Адаптер не поддерживает КЕЛТ1(2)-ЧИ2.23-xxx";
inline constexpr const char* kUnknownDevice = "Неизвестная версия прибора";
inline constexpr const char* kWrongKelt = "Неправильный тип КЕЛТ";
inline constexpr const char* kWrongDevice = "Неправильный тип прибора";

using Frame = std::vector<std::uint8_t>;

// --- assembly ----------------------------------------------------------------

// [command, block …, checksum of the block (most significant byte first)].
Frame BlockFrame(std::uint8_t command, std::span<const std::uint8_t> block);

// The frame of sub-command 20: [20, correction + 7, 30 zero bytes, checksum
// of the 31 bytes after the command]; `halfDegrees` -7 … 7.
Frame CorrectionFrame(int halfDegrees);

// The frame of a block 3 write on the older protocol, as the transducer
// echoes it: [W, block, counter byte, checksum of the 37 bytes after W],
// with W = 26 and the counter as read from a type-3 transducer, else W = 25
// and the counter one up.
Frame Block3WriteFrame(const Block3& block, std::uint8_t counter, bool type3);

// The frame as a type-3 transducer takes it: the checksum's low byte (the
// last byte) lowered by 39 modulo 256, with no borrow from the high byte.
Frame LowerType3Checksum(Frame frame);

// The write frame a sub-command sends on the older protocol, its block
// encoded from `values` (failing before anything is sent): block 1 with
// command 2 for kWriteBlock1 and kWriteBlock1Alt, block 2 with command 17 for
// kWriteBlock2 and kWriteBlock2Alt; nothing for the others (block 3 needs the
// transducer's counter: Block3WriteFrame).
std::optional<Frame> OlderWriteFrame(std::uint8_t sub, const KeltBlockValues& values, int model);

// The write frame of the newer protocol, command 2: block 3 for kWriteBlock3
// and kWriteBlock3Alt, block 4 for kWriteBlock4 and kWriteBlock4Alt, block 5
// for kWriteBlock5; nothing for the others.
std::optional<Frame> NewerWriteFrame(std::uint8_t sub, const KeltBlockValues& values, int model);

// --- the older protocol's rules by sub-command ----------------------------------

// The adapter's own commands (amplitude, levels, query): an echo of 255 is
// their answer, not a busy transducer.
bool IsAdapterCommand(std::uint8_t sub);
// Level commands and the query keep the short read timeout.
bool KeepsShortTimeout(std::uint8_t sub);
// Sub-commands that identify the transducer (command 8) first.
bool OlderIdentifies(std::uint8_t sub);
// The byte a sub-command sends as its command after the identification: the
// sub-command itself, or nothing for those that send a frame instead.
std::optional<std::uint8_t> OlderCommandByte(std::uint8_t sub);

// The adapter's answer to the query. True when two version bytes follow (a
// full adapter); false for an adapter of model 0 only, which refuses the
// firmware and the newer-device sub-commands.
bool CheckAdapterAnswer(std::uint8_t answer, std::uint8_t sub);
// The second version byte: below 2 the adapter cannot reach the devices of
// block 3 (sub-commands 23 … 26).
void CheckAdapterVersion(std::uint8_t version, std::uint8_t sub);

// The echo of a byte on the older protocol: 255 means busy (an empty error
// text) except for the adapter's own commands; any other difference is an
// exchange error.
void CheckOlderEcho(std::uint8_t echo, std::uint8_t sent, std::uint8_t sub);
// The echo of a byte on the newer protocol: it must equal the byte sent.
void CheckEcho(std::uint8_t echo, std::uint8_t sent);

// The device type of the identification answer against the sub-command
// (older protocol, types 1 … 4 usable). True when the type is 3.
bool CheckOlderType(int type, std::uint8_t sub);
// The device type against the model (newer protocol, types 5 … 9).
void CheckNewerType(int type, int model);

// --- the newer protocol -----------------------------------------------------------

// The command byte a sub-command sends on the newer protocol (kNewerWrite
// for the writes); nothing for a sub-command that ends after identifying.
std::optional<std::uint8_t> NewerCommandByte(std::uint8_t sub);

// --- answers -------------------------------------------------------------------

// An answer that ends with the checksum of what precedes it: the data part,
// or a failure "Ошибка контрольной суммы".
std::span<const std::uint8_t> CheckedData(std::span<const std::uint8_t> answer);

// The 33-byte answer of sub-command 19: the correction in half degrees
// ((data byte 0 AND 15) - 7).
int DecodeCorrection(std::span<const std::uint8_t, 33> answer);

// Decodes the 6-byte answer of sub-command 23 (checksum checked).
KeltSignal DecodeSignal(std::span<const std::uint8_t, 6> answer);

// --- the frame log -------------------------------------------------------------

// The name of a sub-command's exchange in the frame log ("чтение блока 2");
// "обмен" for one never posted.
const char* SubName(std::uint8_t sub);

// The frame log's verdicts on what comes back, by the rule the worker
// applies to it:
// - the adapter's answer to the query: 15, or 255 from an adapter for model
//   0 only, which refuses some sub-commands (a device error then);
// - an echo on the older protocol: 255 from a busy transducer is a device
//   error, except for the adapter's own commands; else it must equal `sent`;
// - an echo on the newer protocol, or a frame read back: equal to `sent`;
// - an answer that ends with its checksum (CheckedData), `expected` bytes;
// - an answer with nothing to check (the amplitude, the adapter's version):
//   its length only.
framelog::Verdict JudgeAdapterAnswer(std::span<const std::uint8_t> answer, std::uint8_t sub);
framelog::Verdict JudgeOlderEcho(std::span<const std::uint8_t> echo, std::uint8_t sent, std::uint8_t sub);
framelog::Verdict JudgeEcho(std::span<const std::uint8_t> echo, std::span<const std::uint8_t> sent);
framelog::Verdict JudgeChecked(std::span<const std::uint8_t> answer, std::size_t expected);
framelog::Verdict JudgeLength(std::span<const std::uint8_t> answer, std::size_t expected);

}  // namespace kelt
