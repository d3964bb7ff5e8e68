#pragma once

// A scripted device on the far end of a fresh pseudo-terminal, for tests of
// anything that talks through comprt::ComPort. The code under test opens
// SlavePath(); the device runs its script on its own thread:
//
//     FakeDevice device;
//     device.OnRequest({0x05, 0x01}).Answer({0x06, 0x42}).After(20ms);
//     device.OnRequest({0x05, 0x02}).Silent();
//     device.Start();
//     ... port.Open(device.SlavePath(), ...) and talk ...
//     EXPECT_TRUE(device.Finished());
//
// Steps run in the order they were added. A step waits until the bytes it
// expects have arrived (an empty request: it does not wait), waits its delay,
// then sends its answer (none when silent) and, if asked, hangs up. Bytes that
// differ from the expected request stop the script: the device answers
// nothing more, and Mismatch() says what came instead. Whatever arrives after
// the last step is collected too, so a test can check that nothing more was
// sent.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/PtyPair.h"

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

class FakeDevice {
public:
    struct Step {
        Bytes request;                        // expected from the port
        Bytes answer;                         // sent back; empty: silent
        std::chrono::milliseconds delay{0};   // between request and answer
        bool hangUp = false;                  // close the line after answering
    };

    // Builds the step just added.
    class StepBuilder {
    public:
        StepBuilder& Answer(Bytes bytes);
        StepBuilder& After(std::chrono::milliseconds delay);
        StepBuilder& Silent();
        StepBuilder& HangUp();

    private:
        friend class FakeDevice;
        StepBuilder(FakeDevice& device, std::size_t index) : m_device(device), m_index(index) {}
        FakeDevice& m_device;
        std::size_t m_index;
    };

    FakeDevice();
    // Stops the script wherever it is and closes the line.
    ~FakeDevice();
    FakeDevice(const FakeDevice&) = delete;
    FakeDevice& operator=(const FakeDevice&) = delete;

    const std::string& SlavePath() const { return m_pty.SlavePath(); }

    // Add a step and build it in place: use these before Start. While the
    // script runs, add whole steps with Add.
    StepBuilder OnRequest(Bytes request);
    // A step that expects nothing: sends `answer` once the steps before it
    // are done (an unsolicited message, or bytes for a read alone).
    StepBuilder Send(Bytes answer);
    void Add(Step step);

    void Start();

    // Waits up to `limit` until every step has run; false when the script
    // stopped at a mismatch or did not get that far in time.
    bool Finished(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Waits up to `limit` until at least `count` bytes have come from the
    // port in all (for a test that must act while the device "thinks").
    bool WaitReceived(std::size_t count,
                      std::chrono::milliseconds limit = std::chrono::seconds(10));

    // Everything the port sent, in order.
    Bytes Received() const;
    // Empty while the script matched; otherwise a description of the step
    // and of the bytes that came instead.
    std::string Mismatch() const;
    // Steps that have run to their end.
    std::size_t StepsDone() const;

private:
    void Run();
    // Reads what the master has into m_received; false when the line ended
    // or the device is stopping. Waits at most until `until`.
    bool Collect(std::chrono::steady_clock::time_point until);
    void Wake();

    PtyPair m_pty;
    int m_wake[2] = {-1, -1};  // a byte here interrupts the device's waits
    std::thread m_thread;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Step> m_steps;
    Bytes m_received;
    std::size_t m_matched = 0;  // bytes of m_received consumed by requests
    std::size_t m_stepsDone = 0;
    std::string m_mismatch;
    bool m_stopping = false;
};

}  // namespace testsupport
