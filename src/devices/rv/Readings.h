#pragma once

// The readings tab of the RV page without a toolkit: the low-pass filter
// that follows the meter's raw ADC code, the samples taken (raw and
// filtered, by X), the zoom steps of the chart's axes, the readings file
// (written and parsed as text) and the analysis of the samples in view.
//
// X and position stay aligned: the sample at position i of the store always
// has X = i. A polled sample goes to X = the number of samples held, so
// samples polled after a file was loaded continue after the loaded ones
// instead of sharing their X values, and the analysis, which indexes by
// position, covers exactly the X range it names.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rv {

// Second-order recursive low-pass filter in single precision. After a reset
// the first output is the first input, the second the mean of the first two
// inputs (which also seeds the output history); the recursion runs from the
// third input on.
class ReadingsFilter {
public:
    static constexpr float b0 = 0.001492f, b1 = 0.002985f, b2 = 0.001492f;
    static constexpr float a0 = 1.0f, a1 = -1.864714f, a2 = 0.870683f;  // a0 is not used

    float step(float v);
    void reset() { m_warmUp = 2; }
    std::uint8_t warmUp() const { return m_warmUp; }

private:
    std::uint8_t m_warmUp = 2;
    float m_x0 = 0, m_x1 = 0, m_x2 = 0;
    float m_y0 = 0, m_y1 = 0, m_y2 = 0;
};

// What a readings file held up to its first bad line.
struct ReadingsParse {
    std::vector<double> raw;
    std::vector<double> filtered;
    // The conversion error of the line that stopped the parse.
    std::optional<std::string> error;
    // That line's number, from 1; 0 while there is no error.
    std::size_t errorLine = 0;
};

// The samples of the readings chart: raw codes and filtered values, both
// at X = position.
class ReadingsStore {
public:
    // A polled code. Dropped (returns false) while the pause flag is set;
    // otherwise filtered and appended at X = size().
    bool take(std::int32_t code);
    // "Очистить" answered Yes: no samples, the filter warms up again, the
    // sample counter is 0.
    void clear();
    // Samples read from a file, appended after those held.
    void append(const ReadingsParse& loaded);

    // Set while the clear question is open: arriving samples are dropped.
    bool paused() const { return m_paused; }
    void setPaused(bool paused) { m_paused = paused; }

    std::size_t size() const { return m_raw.size(); }
    // The X the next polled sample takes.
    double sampleCounter() const { return static_cast<double>(m_raw.size()); }
    const std::vector<double>& raw() const { return m_raw; }
    const std::vector<double>& filtered() const { return m_filtered; }
    // Changes with every clear: a view that drew the samples starts over.
    std::uint64_t generation() const { return m_generation; }
    const ReadingsFilter& filter() const { return m_filter; }

private:
    std::vector<double> m_raw;
    std::vector<double> m_filtered;
    ReadingsFilter m_filter;
    bool m_paused = false;
    std::uint64_t m_generation = 0;
};

// ---------------------------------------------------------------- zoom

struct AxisRange {
    double min = 0;
    double max = 0;
    bool operator==(const AxisRange&) const = default;
};

// CloserADC and FurtherADC act on Y, BroaderADC and NarrowerADC on X.
enum class ZoomButton { Closer, Further, Broader, Narrower };
bool zoomsX(ZoomButton button);
// The axis range after one click: Closer and Narrower take a quarter of the
// range off each end, Further and Broader add half of it to each end.
AxisRange zoomed(ZoomButton button, AxisRange range);

// ---------------------------------------------------------------- the file

// One line per sample, "index;code;filtered": the position, then the raw
// code and the filtered value in "%G" style with as many digits as each
// needs to read back the same (six digits rounded codes of a million and
// more), "." as decimal point whatever the user's separator is; no header.
std::string formatReadings(const std::vector<double>& raw, const std::vector<double>& filtered);

// The lines of a readings file. Lines end in LF or CR LF; fields are split
// at ";" and only the second (raw) and third (filtered) count, a missing or
// empty one as 0. Either "." or "," is the decimal point. A field starting
// with "-" is read without that sign and negated. The first line that is no
// number stops the parse with the conversion error's text; the samples
// before it are kept.
ReadingsParse parseReadings(std::string_view text);

// Writes the samples as formatReadings gives them, replacing the file as a
// whole; failures raise win_error with the system's text.
void saveReadings(const std::string& path, const ReadingsStore& store);
// Reads a readings file; a file that cannot be read raises win_error.
ReadingsParse loadReadings(const std::string& path);

// "Показания_dd_mm_hh_nn.csv" of the given local time.
std::string proposedReadingsName(const std::tm& local);
// A name without extension gets ".csv"; a name with any extension stays.
std::string withReadingsExtension(const std::string& path);

std::string readingsSavedMessage(const std::string& path);
std::string readingsLoadedMessage(const std::string& path);

// ---------------------------------------------------------------- "Анализ"

struct ReadingsAnalysis {
    int start = 0;
    int end = 0;
    double mean = 0;   // sum / (end - start)
    double noise = 0;  // summed |difference of neighbours| / (end - start)
    double ratio = 0;  // |noise sum × 100 / sum|, in single precision
};

// The raw samples between the larger of the first X and the axis minimum
// and the smaller of the last X and the axis maximum (both cut to whole
// numbers). Sums are kept in single precision. Nothing when that range is
// empty or the samples in it sum to 0.
std::optional<ReadingsAnalysis> analyzeReadings(const std::vector<double>& raw, double axisMin, double axisMax);
// "Диапазон: …, Среднее значение: …, Шум: …, Шум/Сигнал: …%".
std::string analysisMessage(const ReadingsAnalysis& analysis);

}  // namespace rv
