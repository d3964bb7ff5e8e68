#pragma once

// What a page controller's HandleResult hands back once the page's worker
// has finished a slot: which request it was, how it ended, and what the
// page must show beyond the fields its state repaints by itself. Every
// device page and the Nivor dialog (and srvtool, which drives the same
// controllers) read this one shape; a field a family never fills keeps its
// default.

#include <cstdint>
#include <optional>
#include <string>

// Console lines of a parameter read and write, the same on every page that
// has them.
inline constexpr const char* kParametersRead = "Параметры считаны";
inline constexpr const char* kParametersWritten = "Параметры записаны";

struct PageResult {
    // The request's code; -1 when the worker skipped it.
    std::int32_t code = -1;
    // What the request asked for within its code, -1 when nothing: the Kelt
    // slot's sub-command (the port position for an open), the register an
    // RV exchange went to, the command a Nivor exchange sent.
    int detail = -1;
    // The slot succeeded or was skipped (the worker's notification).
    bool ok = false;
    // The failure's text when not ok.
    std::string error;
    // Requests the page waits for are still pending: it stays busy.
    bool busy = false;
    // An open request finished: the port selector's position now (0 when
    // the port did not open).
    std::optional<int> port;

    // The ОРБ-КЕЛТ adapter's amplitude and whether it is one the link can
    // work with (shown green), when the request measured it.
    struct Amplitude {
        int value = 0;
        bool good = false;
    };
    std::optional<Amplitude> amplitude;

    // A Nivor measurement started: the poll timer starts its second anew.
    bool restartTimer = false;

    // The start of every result: the slot's code and how it ended.
    template <class Item>
    static PageResult For(const Item& slot, bool success) {
        PageResult result;
        result.code = slot.code;
        result.ok = success;
        if (!success) result.error = slot.error;
        return result;
    }
};

// The end of a result of a page that stays busy until nothing is pending:
// frees the front slot of `queue` and says in `busy` and in the result
// whether the page still waits.
template <class Queue>
PageResult FinishResult(Queue& queue, PageResult result, bool& busy) {
    queue.Pop();
    if (queue.Pending() == 0) busy = false;
    result.busy = busy;
    return result;
}
