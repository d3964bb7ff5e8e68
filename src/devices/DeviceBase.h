#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "devices/Ident.h"
#include "common/Line.h"

class Console;

// Device families, as other parts number them.
enum class Family { Dorn = 0, Kelt = 1, RV = 2 };

// Device type codes: 0 RV, 1 … 17 Dorn models 0 … 16, 18 … 36 Kelt models 0 … 18.
constexpr int kRvCode = 0;
constexpr int kFirstDornCode = 1;
constexpr int kLastDornCode = 17;
constexpr int kFirstKeltCode = 18;
constexpr int kLastKeltCode = 36;

// Entry type of a code: 1 Kelt, 0 Dorn, 2 RV, and 0 for any other code.
int EntryTypeOfCode(int code);
// Family of a code; a code outside the ranges counts as Dorn.
Family FamilyOfCode(int code);

// The device model of a document: tells which family and model the
// measurements belong to, turns approximation lines into the device's
// coefficients and back, and keeps the device's identity and settings.
// The values live in the family's page state; the GUI shows that state.
class DeviceBase {
public:
    virtual ~DeviceBase() = default;

    virtual int Type() const = 0;
    // Replaces the container's content with the coefficients on the page.
    virtual void GetLines(files::Lines& lines) const = 0;
    // Shows the coefficients of the lines; `negative` is 1 when the first
    // line's slope is negative (only the RV model uses it).
    virtual void SetLines(const files::Lines& lines, int negative) = 0;
    virtual void GetIdent(Ident& ident) const = 0;
    virtual void SetIdent(const Ident& ident) = 0;
    // Size of the settings block; with a buffer, also fills it.
    virtual int GetSettings(std::uint8_t* buffer) const = 0;
    // False, with nothing changed, when `size` is too small for the block.
    virtual bool SetSettings(const std::uint8_t* buffer, int size) = 0;
    virtual std::string Name() const = 0;
    // Pulse weight of the pulse output in m3 per pulse.
    virtual double PulseWeight() const = 0;

    // Number of trailing columns of a package table left out: 3 for a Dorn
    // model without pulse output in a verification package, else 0.
    int HiddenColumns(bool verificationPackage) const;
};

// The device model of a type code, or null for a code outside 0 … 36.
// Range messages of the model go to `console`, which must outlive it.
std::unique_ptr<DeviceBase> CreateDevice(int typeCode, Console& console);
