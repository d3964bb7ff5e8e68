#include "document/DeviceTree.h"

#include <array>

namespace {

// Codes 35 and 36 are valid Kelt codes but are not offered here.
constexpr std::array<DeviceTreeRow, 43> kRows = {{
    {"Ralvo (РВ)", 0, false},
    {"ДОРН-Т(ТИ)", -1, false},
    {"ДОРН-Т", 1, true},
    {"ДОРН-ТИ1", 2, true},
    {"ДОРН-ТИ2", 3, true},
    {"ДОРН-Т1(Т2)", -1, false},
    {"ДОРН-Т1-ххх-М", 4, true},  // the three "х" are Cyrillic here
    {"ДОРН-Т1-xxx-П (КЕЛТ3-ЧИ1.00-xxx)", 5, true},
    {"ДОРН-Т2-xxx-М", 6, true},
    {"ДОРН-Т2-xxx-П", 7, true},
    {"ДОРН-ТИ1(ТИ2)", -1, false},
    {"ДОРН-ТИ1-xxx-М", 8, true},
    {"ДОРН-ТИ1-xxx-П (КЕЛТ3-ЧИ1.02-xxx)", 9, true},
    {"ДОРН-ТИ2-xxx-0М", 10, true},
    {"ДОРН-ТИ2-xxx-0П", 11, true},
    {"ДОРН-ТИ2-xxx-1М", 12, true},
    {"ДОРН-ТИ2-xxx-1П (КЕЛТ3-ЧИ2.01-xxx)", 13, true},
    {"ДОРН-ТИ2-xxx-2М", 14, true},
    {"ДОРН-ТИ2-xxx-2П", 15, true},
    {"ДОРН-ТИ2-xxx-3М", 16, true},
    {"ДОРН-ТИ2-xxx-3П (КЕЛТ3-ЧИ2.03-xxx)", 17, true},
    {"КЕЛТ-ЧИ2-xxx", 18, false},
    {"КЕЛТ-ЧИх.1х-xxx", -1, false},  // Cyrillic "х" in "ЧИх.1х", Latin "xxx"
    {"КЕЛТ1-ЧИ1.xx-xxx", 19, true},
    {"КЕЛТ2-ЧИ1.xx-xxx", 20, true},
    {"КЕЛТ1-ЧИ2.11-xxx", 21, true},
    {"КЕЛТ2-ЧИ2.11-xxx", 22, true},
    {"КЕЛТ1-ЧИ2.12-xxx", 23, true},
    {"КЕЛТ2-ЧИ2.12-xxx", 24, true},
    {"КЕЛТ-ЧИ2.23", -1, false},
    {"КЕЛТ1-ЧИ2.23-xxx", 25, true},
    {"КЕЛТ2-ЧИ2.23-xxx", 26, true},
    {"КЕЛТ-ЧИ2.34(44,54)", -1, false},
    {"КЕЛТ1-ЧИ2.34(44,54)-xxx", 27, true},
    {"КЕЛТ2-ЧИ2.34(44,54)-xxx", 28, true},
    {"КЕЛТ3-ЧИ2.34(44,54)-xxx", 29, true},
    {"КЕЛТ-ЧИ2.45(35,55)", -1, false},
    {"КЕЛТ1-ЧИ2.45(35)-xxx", 30, true},
    {"КЕЛТ2-ЧИ2.45(35)-xxx", 31, true},
    {"КЕЛТ3-ЧИ2.45(35)-xxx", 32, true},
    {"КЕЛТ-ЧИ2.46(56)", -1, false},
    {"КЕЛТ1-ЧИ2.46(56)-xxx", 33, true},
    {"КЕЛТ2-ЧИ2.46(56)-xxx", 34, true},
}};

}  // namespace

std::span<const DeviceTreeRow> DeviceTreeRows() { return kRows; }
