// Document files of versions 1 and 2: a record-oriented layout of Dorn and
// Kelt documents, turned into the version 3 body that the reader knows.

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>
#include <vector>

#include "common/MathError.h"
#include "document/ApprOptions.h"
#include "document/Entries.h"
#include "common/BinaryIo.h"
#include "files/DocumentFile.h"

namespace files {

namespace {

constexpr std::size_t kHeaderSize = 120;
constexpr std::size_t kLinesSize = 512;
constexpr std::size_t kRecordSize = 140;
constexpr std::uint32_t kMaxOldLines = 7;
constexpr std::uint32_t kLastDornModel = 16;

[[noreturn]] void unknownFormat() { throw UserError("Неизвестный формат файла"); }

template <typename T>
T at(const unsigned char* block, std::size_t offset) {
    T value;
    std::memcpy(&value, block + offset, sizeof value);
    return value;
}

void readBlock(std::istream& in, unsigned char* block, std::size_t size) {
    if (!readBytes(in, block, size)) unknownFormat();
}

#pragma pack(push, 1)
// The converter's entry records: exactly the Dorn and Kelt entry records of
// the document file.
struct DornEntry {
    double t, reference, timeRef, time1;
    std::int32_t pulses1, pulses2;
    std::uint8_t off;
};
struct KeltEntry {
    double t, reference, timeRef, time1;
    std::int32_t pulses1, pulses2, section;
    std::uint8_t point, off;
};
#pragma pack(pop)
static_assert(sizeof(DornEntry) == 41 && sizeof(KeltEntry) == 46);

// Pulse weights in m3 per pulse by position.
constexpr double kPulseWeights[] = {0.0001, 0.0005, 0.001, 0.005, 0.01, 0.05, 0.1, 0.5, 1.0};

// The position of the pulse weight in the current list moves by this much
// per diameter group.
std::int32_t diameterGroup(std::uint32_t diameter) { return diameter <= 4 ? 0 : diameter <= 8 ? 1 : 2; }

template <typename Entry>
void writePackage(std::ostream& out, std::uint8_t type, const std::vector<Entry>& entries) {
    writeValue(out, type);
    writeValue(out, std::uint8_t{0});  // Volume
    for (std::uint16_t word : {2003, 1, 3, 1, 0, 0, 0, 0}) writeValue(out, word);
    writeValue(out, static_cast<std::uint32_t>(entries.size()));
    for (const Entry& e : entries) writeValue(out, e);
}

template <typename Entry>
void writePackages(std::ostream& out, const std::vector<Entry>& calibration, const std::vector<Entry>& verification) {
    writeValue(out, static_cast<std::uint32_t>(!calibration.empty() + !verification.empty()));
    if (!calibration.empty()) writePackage(out, 0, calibration);
    if (!verification.empty()) writePackage(out, 1, verification);
}

}  // namespace

void ConvertOldDocument(std::ostream& output, std::istream& input, int version) {
    unsigned char header[kHeaderSize];
    readBlock(input, header, sizeof header);
    const auto model = at<std::uint32_t>(header, 0);
    const auto diameter = at<std::uint32_t>(header, 4);
    const auto serial = at<std::uint32_t>(header, 8);
    const auto outputType = at<std::uint32_t>(header, 16);
    const auto weightPos = at<std::uint32_t>(header, 20);
    const auto keltN = at<std::uint32_t>(header, 24);
    const auto pulseLength = at<std::uint32_t>(header, 28);
    const auto scatter = at<std::uint32_t>(header, 32);
    const auto errLimit = at<std::uint32_t>(header, 36);
    const auto refTemp = at<std::uint32_t>(header, 40);
    const auto function = at<std::uint8_t>(header, 48);
    const auto mode = at<std::uint32_t>(header, 52);
    const auto recordCount = at<std::uint32_t>(header, 116);
    const bool kelt = model > kLastDornModel;

    writeValue(output, static_cast<std::uint8_t>(kelt ? 1 : 0));
    writeValue(output, serial);
    writeValue(output, static_cast<std::uint8_t>(diameter & 0xFF));

    ApprOptions options;
    options.function = kelt ? 0 : static_cast<std::uint8_t>(function + 1);
    options.manual = mode != 1 ? 1 : 0;
    options.byEntries = mode == 3 ? 1 : 0;
    options.refTemp = refTemp * 0.0001;
    options.maxAutoErr = errLimit * 0.01;
    options.sectionScatter = scatter * 0.01;
    const std::uint64_t position = std::min<std::uint64_t>(kelt ? weightPos : std::uint64_t{weightPos} * 2, 8);
    options.pulseWeight = kPulseWeights[position];
    writeValue(output, options);

    if (version == 2) {
        unsigned char lines[kLinesSize];
        readBlock(input, lines, sizeof lines);
        const std::uint32_t n = std::min(at<std::uint32_t>(lines, 0), kMaxOldLines);
        writeValue(output, n);
        for (std::uint32_t i = 0; i < n; ++i) {
            writeValue(output, at<double>(lines, 16 + 8 * i));
            writeValue(output, at<double>(lines, 144 + 8 * i));
            writeValue(output, at<double>(lines, 272 + 8 * i));
        }
    } else {
        writeValue(output, std::uint32_t{0});
    }

    // Records are read one by one: memory grows only with the records that
    // are really there.
    std::vector<DornEntry> dornCalibration, dornVerification;
    std::vector<KeltEntry> keltCalibration, keltVerification;
    unsigned char record[kRecordSize];
    for (std::uint32_t r = 0; r < recordCount; ++r) {
        readBlock(input, record, sizeof record);
        if (record[121] & 0x01) continue;  // unused record
        const bool verification = (record[123] & 0x80) != 0;
        const std::uint8_t flags = record[120];
        if (kelt) {
            KeltEntry e{};
            e.t = at<double>(record, 8);
            e.reference = at<double>(record, 16);
            e.timeRef = at<double>(record, 24);
            e.time1 = at<double>(record, 32);
            e.pulses1 = at<std::int32_t>(record, 124);
            e.pulses2 = at<std::int32_t>(record, 128);
            e.section = static_cast<std::int32_t>(static_cast<std::uint32_t>(at<std::int32_t>(record, 132)) + 1u);
            e.point = flags & 0x01;
            e.off = (flags >> 1) & 0x01;
            (verification ? keltVerification : keltCalibration).push_back(e);
        } else {
            DornEntry e{};
            e.t = at<double>(record, 8);
            e.reference = at<double>(record, 16);
            e.timeRef = at<double>(record, 24);
            e.time1 = at<double>(record, 32);
            e.pulses1 = at<std::int32_t>(record, 124);
            e.pulses2 = at<std::int32_t>(record, 128);
            e.off = (flags >> 1) & 0x01;
            (verification ? dornVerification : dornCalibration).push_back(e);
        }
    }
    if (kelt) writePackages(output, keltCalibration, keltVerification);
    else writePackages(output, dornCalibration, dornVerification);

    const std::int32_t group = diameterGroup(diameter);
    if (kelt) {
        // The version 3 Kelt model number skips one place from model 20 on.
        const std::int32_t keltModel = static_cast<std::int32_t>(model - 17 + (model >= 20 ? 1 : 0));
        writeValue(output, std::uint32_t{32});
        writeValue(output, keltModel);
        writeValue(output, static_cast<std::int32_t>(outputType != 0 ? 1 : 0));
        writeValue(output, static_cast<std::int32_t>(weightPos - 2 * group));
        writeValue(output, static_cast<std::int32_t>(keltN == 0 ? 1 : keltN / 10000));
        writeValue(output, pulseLength * 0.0001);
        writeValue(output, std::int32_t{0});  // temperature correction
        writeValue(output, std::int32_t{0});
    } else {
        writeValue(output, std::uint32_t{8});
        writeValue(output, static_cast<std::int32_t>(model));
        writeValue(output, static_cast<std::int32_t>(weightPos - group));
    }
}

}  // namespace files
