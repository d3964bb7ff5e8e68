#include "devices/rv/Readings.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include "common/AtomicFile.h"
#include "common/Locale.h"
#include "common/MathError.h"
#include "common/NumberText.h"
#include "common/WinError.h"
#include "devices/rv/RvPageState.h"

namespace rv {

float ReadingsFilter::step(float v) {
    m_x2 = m_x1;
    m_y2 = m_y1;
    m_x1 = m_x0;
    m_y1 = m_y0;
    m_x0 = v;
    if (m_warmUp == 2) {
        m_warmUp = 1;
        m_y0 = v;
    } else if (m_warmUp == 1) {
        m_warmUp = 0;
        m_y0 = m_y1 = m_y2 = (m_x0 + m_x1) * 0.5f;
    } else {
        m_y0 = b0 * m_x0 + b1 * m_x1 + b2 * m_x2 - a1 * m_y1 - a2 * m_y2;
    }
    return m_y0;
}

// ---------------------------------------------------------------- store

bool ReadingsStore::take(std::int32_t code) {
    if (m_paused) return false;
    const float y = m_filter.step(static_cast<float>(code));
    m_raw.push_back(code);
    m_filtered.push_back(y);
    return true;
}

void ReadingsStore::clear() {
    m_raw.clear();
    m_filtered.clear();
    m_raw.shrink_to_fit();
    m_filtered.shrink_to_fit();
    m_filter.reset();
    ++m_generation;
}

void ReadingsStore::append(const ReadingsParse& loaded) {
    const std::size_t n = std::min(loaded.raw.size(), loaded.filtered.size());
    m_raw.insert(m_raw.end(), loaded.raw.begin(), loaded.raw.begin() + static_cast<std::ptrdiff_t>(n));
    m_filtered.insert(m_filtered.end(), loaded.filtered.begin(),
                      loaded.filtered.begin() + static_cast<std::ptrdiff_t>(n));
}

// ---------------------------------------------------------------- zoom

bool zoomsX(ZoomButton button) { return button == ZoomButton::Broader || button == ZoomButton::Narrower; }

AxisRange zoomed(ZoomButton button, AxisRange r) {
    const double range = r.max - r.min;
    switch (button) {
    case ZoomButton::Closer:
    case ZoomButton::Narrower: return {r.min + range / 4, r.max - range / 4};
    case ZoomButton::Further:
    case ZoomButton::Broader: return {r.min - range / 2, r.max + range / 2};
    }
    return r;
}

// ---------------------------------------------------------------- the file

namespace {

// "%G" in the C locale: the file's decimal point is "." whatever the user's is.
void appendG(std::string& out, double value) {
    std::array<char, 64> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::general, 6);
    for (const char* p = buf.data(); p != res.ptr; ++p)
        out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(*p))));
}

std::string invalidFloat(std::string_view text) {
    return "'" + std::string(text) + "' is not a valid floating point value";
}

// One field of a line: empty is 0; a leading "-" is taken off and the rest
// negated. Throws the conversion error.
double fieldValue(std::string_view field) {
    if (field.empty()) return 0.0;
    const bool negative = field.front() == '-';
    if (negative) field.remove_prefix(1);
    const std::optional<double> v = parseUserNumber(field);
    if (!v) throw UserError(invalidFloat(field));
    return negative ? -*v : *v;
}

// The field `index` of a line split at ";"; empty when the line has fewer.
std::string_view field(std::string_view line, int index) {
    for (int i = 0; i < index; ++i) {
        const std::size_t semi = line.find(';');
        if (semi == std::string_view::npos) return {};
        line.remove_prefix(semi + 1);
    }
    return line.substr(0, line.find(';'));
}

}  // namespace

std::string formatReadings(const std::vector<double>& raw, const std::vector<double>& filtered) {
    const std::size_t n = std::min(raw.size(), filtered.size());
    std::string out;
    out.reserve(n * 24);
    for (std::size_t i = 0; i < n; ++i) {
        out += std::to_string(static_cast<int>(i));
        out += ';';
        appendG(out, raw[i]);
        out += ';';
        appendG(out, filtered[i]);
        out += '\n';
    }
    return out;
}

ReadingsParse parseReadings(std::string_view text) {
    ReadingsParse result;
    // The regional separator replaces the other one, so a number reads
    // whichever of "." and "," it was written with.
    const char regional = Locale::current().decimalSeparator == ',' ? ',' : '.';
    const char other = regional == ',' ? '.' : ',';
    std::string line;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view raw = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        line.assign(raw);
        std::replace(line.begin(), line.end(), other, regional);
        try {
            const double code = fieldValue(field(line, 1));
            const double filtered = fieldValue(field(line, 2));
            result.raw.push_back(code);
            result.filtered.push_back(filtered);
        } catch (const UserError& e) {
            result.error = e.what();
            break;
        }
    }
    return result;
}

void saveReadings(const std::string& path, const ReadingsStore& store) {
    ReplaceFile(path, formatReadings(store.raw(), store.filtered()));
}

ReadingsParse loadReadings(const std::string& path) {
#ifdef _WIN32
    // The bytes as they are, without the C library's CR LF translation.
    const int fd = ::open(path.c_str(), O_RDONLY | O_BINARY | O_NOINHERIT);
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
    if (fd < 0) comprt::ThrowLastError();
    std::string bytes;
    std::array<char, 65536> buf;
    for (;;) {
        const ssize_t got = ::read(fd, buf.data(), buf.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            ::close(fd);
            throw win_error(win_error::CodeOfErrno(code));
        }
        if (got == 0) break;
        bytes.append(buf.data(), static_cast<std::size_t>(got));
    }
    ::close(fd);
    return parseReadings(bytes);
}

std::string proposedReadingsName(const std::tm& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d_%02d_%02d_%02d", t.tm_mday, t.tm_mon + 1, t.tm_hour, t.tm_min);
    return std::string("Показания_") + buf + ".csv";
}

std::string withReadingsExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return hasExtension ? path : path + ".csv";
}

std::string readingsSavedMessage(const std::string& path) { return "Файл показаний " + path + " сохранен"; }

std::string readingsLoadedMessage(const std::string& path) { return "Файл показаний" + path + " загружен"; }

// ---------------------------------------------------------------- "Анализ"

std::optional<ReadingsAnalysis> analyzeReadings(const std::vector<double>& raw, double axisMin, double axisMax) {
    if (raw.empty() || std::isnan(axisMin) || std::isnan(axisMax)) return std::nullopt;
    const double last = static_cast<double>(raw.size() - 1);
    // Both ends are cut to whole numbers; an axis far outside the samples
    // gives an empty range rather than an integer overflow.
    const double from = std::trunc(std::clamp(std::max(0.0, axisMin), 0.0, last + 1));
    const double to = std::trunc(std::clamp(std::min(last, axisMax), -1.0, last));
    ReadingsAnalysis a;
    a.start = static_cast<int>(from);
    a.end = static_cast<int>(to);
    float sum = 0.0f;
    float noise = 0.0f;
    for (int i = a.start; i < a.end; ++i) {
        const auto k = static_cast<std::size_t>(i);
        // Float additions: GCC's vectoriser dropped the rounding of a
        // double sum narrowed to float at every step.
        sum += static_cast<float>(raw[k]);
        noise += static_cast<float>(std::fabs(raw[k] - raw[k + 1]));
    }
    if (a.end == a.start || sum == 0.0f) return std::nullopt;
    const int n = a.end - a.start;
    a.mean = static_cast<double>(sum) / n;
    a.noise = static_cast<double>(noise) / n;
    a.ratio = std::fabs(noise * 100.0f / sum);
    return a;
}

std::string analysisMessage(const ReadingsAnalysis& a) {
    const auto g = [](double v) { return formatG(v); };
    return "Диапазон: " + std::to_string(a.start) + " - " + std::to_string(a.end) + ", Среднее значение: " +
           g(a.mean) + ", Шум: " + g(a.noise) + ", Шум/Сигнал: " + g(a.ratio) + "%";
}

}  // namespace rv
