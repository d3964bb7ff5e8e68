// A small file whose counts claim billions of elements is refused without
// large allocations: the reader reserves at most 256 elements of a list in
// advance and grows only with the data that is really there.

#include <gtest/gtest.h>

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <atomic>
#include <cstdlib>
#include <new>
#include <sstream>

#include "FileBytes.h"
#include "common/Console.h"
#include "document/Document.h"
#include "files/DocumentFile.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<std::size_t> g_allocated{0};
std::atomic<std::size_t> g_largest{0};

}  // namespace

void* operator new(std::size_t size) {
    if (g_counting) {
        g_allocated += size;
        std::size_t largest = g_largest;
        while (size > largest && !g_largest.compare_exchange_weak(largest, size)) {
        }
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
// The replaced operator new takes its memory from malloc.
void operator delete(void* p) noexcept { std::free(p); }  // NOLINT
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

Bytes options(Bytes b) { return b.u8(0).u8(1).u8(1).f64(20).f64(1).f64(5).f64(0.01); }

struct Huge {
    const char* name;
    std::string bytes;
};

TEST(AllocationTest, CountsOfBillionsAllocateNoMoreThanAFewMegabytes) {
    const std::uint32_t kBillions = 0xFFFFFFFF;
    Bytes head;
    head.text("3BPP").u32(5).u8(18).u32(1).u8(0);
    head = options(head);
    Bytes entry;  // one Kelt entry record
    entry.zeros(46);

    Bytes lines = head;
    lines.u32(kBillions);
    for (int i = 0; i < 10; ++i) lines.f64(1).f64(2).f64(3);
    Bytes packages = head;
    packages.u32(0).u32(kBillions);
    for (int i = 0; i < 10; ++i) packages.u8(0).u8(0).zeros(16).u32(0);
    Bytes entries = head;
    entries.u32(0).u32(1).u8(0).u8(0).zeros(16).u32(kBillions);
    for (int i = 0; i < 5; ++i) entries.raw(entry.data);
    Bytes all = head;
    all.u32(kBillions).f64(1).f64(2).f64(3);
    const Huge kFiles[] = {
        {"line count", lines.data},
        {"package count", packages.data},
        {"entry count", entries.data},
        {"line count with few lines", all.data},
    };

    for (const Huge& file : kFiles) {
        SCOPED_TRACE(file.name);
        ASSERT_LT(file.bytes.size(), 1000u);
        Console console;
        Document doc(console);
        std::istringstream in(file.bytes, std::ios::binary);
        g_allocated = 0;
        g_largest = 0;
        g_counting = true;
        std::string error;
        try {
            files::ReadDocument(in, doc);
        } catch (const std::exception& e) {
            error = e.what();
        }
        g_counting = false;
        EXPECT_EQ(error, "Неправильный формат файла");
        EXPECT_LT(g_allocated.load(), 4u << 20);
        EXPECT_LT(g_largest.load(), 64u << 10);
        EXPECT_GT(g_allocated.load(), 0u);  // the counter did see the reader's work
    }
}

}  // namespace
