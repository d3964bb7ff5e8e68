#pragma once

// devsim's RV meter for the RV widget tests (programs made with DEVSIM).

#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "comprt/ComPort.h"
#include "link/RegKey.h"
#include "support/Devsim.h"

namespace widgettest {

// Starts devsim's meter and puts its port at the end of the program's port
// list; `path` gets the port and `portItem` its place in the list. An error
// text when either fails.
inline QString startSimulatedRv(std::unique_ptr<testsupport::Devsim>& devsim, std::string& path, int& portItem) {
    try {
        devsim = std::make_unique<testsupport::Devsim>(DEVSIM_PATH, std::vector<std::string>{"--only", "rv"});
        path = devsim->path("rv");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    qputenv("RVSERVICE_PORTS", QByteArray::fromStdString(path));
    comprt::ComPort::ReplacePortList(comprt::ComPort::ComList());
    const std::vector<std::string>& names = comprt::ComPort::PortList().Names();
    const auto found = std::find(names.begin(), names.end(), path);
    if (found == names.end()) return QStringLiteral("the meter's port is not in the port list");
    portItem = static_cast<int>(found - names.begin());
    return {};
}

// A settings file of the running test in `dir`, with the meter's port
// remembered as the RV page's port.
inline void rememberRvPort(const QTemporaryDir& dir, int portItem) {
    const QString file = dir.filePath(QStringLiteral("settings-%1.json").arg(QTest::currentTestFunction()));
    RegKey::SetFileLocation(file.toStdString());
    RegKey key;
    key.Open();
    key.WriteInt("RvComPort", portItem);
}

}  // namespace widgettest
