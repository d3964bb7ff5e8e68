#pragma once

#include <memory>

#include "devices/DeviceBase.h"
#include "devices/kelt/KeltPageState.h"

// The device model of Kelt documents: up to five segments with their
// boundary frequencies, checked against the transducer's range and shown on
// the page.
class Kelt : public DeviceBase {
public:
    static constexpr int kSettingsSize = 32;

    Kelt(Console& console, int model);

    KeltPageState& page() { return *m_page; }
    const KeltPageState& page() const { return *m_page; }

    int Type() const override;
    void GetLines(files::Lines& lines) const override;
    void SetLines(const files::Lines& lines, int negative) override;
    void GetIdent(Ident& ident) const override;
    void SetIdent(const Ident& ident) override;
    int GetSettings(std::uint8_t* buffer) const override;
    bool SetSettings(const std::uint8_t* buffer, int size) override;
    std::string Name() const override;
    double PulseWeight() const override;

private:
    Console& m_console;
    std::unique_ptr<KeltPageState> m_page;
};
