// libFuzzer target for the RV meter's replies as the RV page takes them:
// the page's controller over a worker that is never started, as in its unit
// tests. The input chooses the page's requests (every command button, the
// timer's polls, the readings poll) and, for each request the page posts,
// the reply the worker brings back: any number of bytes up to what the
// request expects, optionally with a right CRC (as a reply or as an error
// reply) so that the data reaches the page state. Replies of any register
// arrive for any request. A crash, a sanitizer report or an exception other
// than the page's message errors is a finding.
//
// Input: records [action] then per pending request [flags][count][bytes…].

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "FuzzInput.h"
#include "common/Console.h"
#include "common/Locale.h"
#include "common/MathError.h"
#include "devices/rv/Crc16.h"
#include "devices/rv/RvPageController.h"

namespace {

using rv::RvPageController;
using Command = RvPageController::Command;

constexpr Command kCommands[] = {
    Command::ReadParam,  Command::ReadImpulseOut, Command::ReadCalibr,    Command::SetCalibr,
    Command::Advanced_Info, Command::GetNetAddr,  Command::SetNetAddr,    Command::GetIntegrator,
    Command::SetIntegrator, Command::SetStSt,     Command::ClearMeasure,  Command::ReadTestEmptyPipe,
};
constexpr int kCommandCount = static_cast<int>(std::size(kCommands));

// One of the page's actions; the message errors a click raises are what
// the page shows.
void act(RvPageController& c, int action) {
    try {
        if (action < kCommandCount) {
            c.SimpleCommand(kCommands[action]);
            return;
        }
        switch (action - kCommandCount) {
        case 0:
            for (int i = 0; i < RvPageController::kSystemPollTicks; ++i) c.SystemTimerTimer();
            break;
        case 1:
            c.setObservation(!c.observation());
            for (int i = 0; i < RvPageController::kReadingsPollTicks; ++i) c.SystemTimerTimer();
            break;
        case 2: c.SetImpulseOutClick(); break;
        case 3: c.SetTestEmptyPipeClick(); break;
        case 4: c.CopyTestEmptyPipeClick(); break;
        case 5: c.PanelClick(0); break;
        case 6: c.PanelClick(1); break;
        case 7: c.setActiveSheet(c.activeSheet() == rv::CalibrGrid::Direct ? rv::CalibrGrid::Reverse
                                                                            : rv::CalibrGrid::Direct);
            break;
        default: c.OpenPortButtonClick(); break;
        }
    } catch (const UserError&) {
    }
}
constexpr int kActionCount = kCommandCount + 9;

// The worker's result for the oldest request, taken from the input.
void answer(RVx2Thread& worker, RvPageController& c, FuzzInput& input) {
    RVx2Thread::QueueItem& item = worker.Front();
    const std::uint8_t flags = input.byte();
    if (item.code != rv::kExchange && item.code != rv::kQuietExchange) {
        if (flags & 1) item.error = comprt::kPortNotOpen;
        c.HandleResult((flags & 1) == 0);
        return;
    }
    RVx2Common& p = item.param;
    const auto expected = static_cast<std::size_t>(std::clamp<std::int32_t>(p.replyLength(), 1, rv::kFrameBufferSize));
    const auto bytes = input.bytes(std::min<std::size_t>(input.byte(), expected));
    if ((flags & 1) || bytes.empty()) {
        item.error = comprt::kNoAnswer;
        c.HandleResult(false);
        return;
    }
    // ReadSome overwrites the request with what arrived; the rest stays.
    std::uint8_t* frame = p.buffer();
    std::memcpy(frame, bytes.data(), bytes.size());
    const std::size_t count = bytes.size();
    if ((flags & 6) == 2 && count >= rv::kFrameOverhead) {
        rv::FrameBuffer built{};
        std::memcpy(built.data(), frame, rv::kFrameBufferSize);
        rv::buildFrame(built, frame[0], frame[1], frame[2], count - rv::kFrameOverhead);
        std::memcpy(frame, built.data(), rv::kFrameBufferSize);
    } else if ((flags & 6) == 4 && count >= 5) {
        frame[1] |= 0x80;
        const std::uint16_t crc = rv::Crc16(frame, 3);
        frame[3] = static_cast<std::uint8_t>(crc);
        frame[4] = static_cast<std::uint8_t>(crc >> 8);
    }
    p.setReplyLength(static_cast<std::int32_t>(count));
    c.HandleResult(true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    Locale locale;
    locale.decimalSeparator = input.byte() & 1 ? ',' : '.';
    const ScopedLocale scoped(locale);

    Console console;
    rv::RvPageState page;
    RVx2Thread worker;  // never started: the input plays the worker
    RvPageController c(page, worker, console);
    c.setPortIndex(1);
    c.OpenPortButtonClick();
    c.HandleResult(true);
    for (int round = 0; round < 200 && !input.empty(); ++round) {
        if (worker.Pending() == 0) act(c, input.choice(kActionCount));
        if (worker.Pending() > 0) answer(worker, c, input);
    }
    while (worker.Pending() > 0) {
        worker.Front().error = comprt::kNoAnswer;
        c.HandleResult(false);
    }
    return 0;
}
