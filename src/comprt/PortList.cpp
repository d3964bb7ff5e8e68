#include "comprt/ComPort.h"

#include <memory>

// The program-wide port list, the same on every platform; each platform
// builds it its own way (ComList.cpp, ComList_win.cpp). A file of its own so
// that a program may bring its own list and port (the fuzz targets do).

namespace comprt {

namespace {

std::mutex g_listMutex;
std::unique_ptr<ComPort::ComList> g_list;

}  // namespace

const ComPort::ComList& ComPort::PortList() {
    Lock lock(g_listMutex);
    if (!g_list) g_list = std::make_unique<ComList>();
    return *g_list;
}

void ComPort::ReplacePortList(ComList list) {
    Lock lock(g_listMutex);
    g_list = std::make_unique<ComList>(std::move(list));
}

}  // namespace comprt
