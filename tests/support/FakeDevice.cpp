#include "support/FakeDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    char cell[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(cell, sizeof cell, i ? " %02X" : "%02X", bytes[i]);
        text += cell;
    }
    return text.empty() ? "nothing" : text;
}

}  // namespace

FakeDevice::StepBuilder& FakeDevice::StepBuilder::Answer(Bytes bytes) {
    std::lock_guard lock(m_device.m_mutex);
    m_device.m_steps[m_index].answer = std::move(bytes);
    return *this;
}

FakeDevice::StepBuilder& FakeDevice::StepBuilder::After(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_device.m_mutex);
    m_device.m_steps[m_index].delay = delay;
    return *this;
}

FakeDevice::StepBuilder& FakeDevice::StepBuilder::Silent() {
    std::lock_guard lock(m_device.m_mutex);
    m_device.m_steps[m_index].answer.clear();
    return *this;
}

FakeDevice::StepBuilder& FakeDevice::StepBuilder::HangUp() {
    std::lock_guard lock(m_device.m_mutex);
    m_device.m_steps[m_index].hangUp = true;
    return *this;
}

FakeDevice::FakeDevice() {
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("no pipe");
}

FakeDevice::~FakeDevice() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    Wake();
    if (m_thread.joinable()) m_thread.join();
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

FakeDevice::StepBuilder FakeDevice::OnRequest(Bytes request) {
    Add({std::move(request), {}, {}, false});
    std::lock_guard lock(m_mutex);
    return StepBuilder(*this, m_steps.size() - 1);
}

FakeDevice::StepBuilder FakeDevice::Send(Bytes answer) {
    Add({{}, std::move(answer), {}, false});
    std::lock_guard lock(m_mutex);
    return StepBuilder(*this, m_steps.size() - 1);
}

void FakeDevice::Add(Step step) {
    {
        std::lock_guard lock(m_mutex);
        m_steps.push_back(std::move(step));
    }
    Wake();
}

void FakeDevice::Start() {
    if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
}

bool FakeDevice::Finished(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, limit,
                       [&] { return m_stepsDone == m_steps.size() || !m_mismatch.empty(); });
    return m_stepsDone == m_steps.size() && m_mismatch.empty();
}

bool FakeDevice::WaitReceived(std::size_t count, std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return m_received.size() >= count; });
}

Bytes FakeDevice::Received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::string FakeDevice::Mismatch() const {
    std::lock_guard lock(m_mutex);
    return m_mismatch;
}

std::size_t FakeDevice::StepsDone() const {
    std::lock_guard lock(m_mutex);
    return m_stepsDone;
}

void FakeDevice::Wake() {
    const char byte = 0;
    // A full pipe already holds a wake-up.
    (void)::write(m_wake[1], &byte, 1);
}

bool FakeDevice::Collect(Clock::time_point until) {
    const int master = m_pty.Master();
    if (master < 0) return false;
    int timeout = -1;
    if (until != Clock::time_point::max()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        timeout = static_cast<int>(std::max<long long>(left.count(), 0));
    }
    pollfd items[2] = {{master, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    const int ready = ::poll(items, 2, timeout);
    if (ready < 0 && errno != EINTR) return false;
    if (items[1].revents & POLLIN) {
        char drain[64];
        while (::read(m_wake[0], drain, sizeof drain) > 0) {
        }
    }
    if (items[0].revents & POLLIN) {
        std::uint8_t chunk[4096];
        const ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n > 0) {
            std::lock_guard lock(m_mutex);
            m_received.insert(m_received.end(), chunk, chunk + n);
            m_changed.notify_all();
        }
    } else if (items[0].revents & (POLLHUP | POLLERR)) {
        // No one holds the port open (not yet, or between a close and the
        // next open): the master reports a hang-up until then.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::lock_guard lock(m_mutex);
    return !m_stopping;
}

void FakeDevice::Run() {
    const auto forever = Clock::time_point::max();
    for (std::size_t index = 0;; ++index) {
        Step step;
        // The next step, collecting whatever comes meanwhile.
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                if (m_stopping) return;
                if (index < m_steps.size() && m_mismatch.empty()) {
                    step = m_steps[index];
                    break;
                }
            }
            if (!Collect(forever)) return;
        }
        // Its request.
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                const std::size_t available = m_received.size() - m_matched;
                const std::size_t compared = std::min(available, step.request.size());
                const auto start = m_received.begin() + static_cast<std::ptrdiff_t>(m_matched);
                if (!std::equal(step.request.begin(), step.request.begin() + compared, start)) {
                    m_mismatch = "step " + std::to_string(index + 1) + ": expected " +
                                 Hex(step.request.data(), step.request.size()) + ", got " +
                                 Hex(m_received.data() + m_matched, available);
                    m_changed.notify_all();
                    break;
                }
                if (compared == step.request.size()) {
                    m_matched += compared;
                    break;
                }
            }
            if (!Collect(forever)) return;
        }
        if (!Mismatch().empty()) continue;  // collects until the device is stopped
        // Its delay, still collecting.
        const auto answerAt = Clock::now() + step.delay;
        while (Clock::now() < answerAt) {
            if (!Collect(answerAt)) return;
        }
        try {
            if (!step.answer.empty()) m_pty.Send(step.answer);
        } catch (const std::exception&) {
            std::lock_guard lock(m_mutex);
            m_mismatch = "step " + std::to_string(index + 1) + ": the answer could not be sent";
            m_changed.notify_all();
            continue;
        }
        if (step.hangUp) m_pty.CloseMaster();
        {
            std::lock_guard lock(m_mutex);
            ++m_stepsDone;
            m_changed.notify_all();
        }
        if (step.hangUp) return;
    }
}

}  // namespace testsupport
