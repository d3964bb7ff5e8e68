#pragma once

#include <QByteArray>

#include <memory>
#include <string>

#include "document/Limits.h"

class DeviceBase;
class PackageBase;
class QGuiApplication;

namespace pdf {

// The protocol of one package as an A4 PDF: the same content as the HTML
// report (identity, approximation settings, the lines in force, the entries
// and, for a verification package, the limits and the verdict), then the
// error graph with the limit envelope. The text is real text in embedded
// fonts. A QGuiApplication must exist (GuiForTools makes one).
QByteArray ProtocolPdfBytes(const DeviceBase& device, const PackageBase& package, const Limits& limits);
// Writes it, replacing the file as a whole; a failure raises win_error.
void WriteProtocolPdf(const std::string& path, const DeviceBase& device, const PackageBase& package,
                      const Limits& limits);

// "report.html" → "report.pdf": the PDF's name beside the HTML report.
std::string PdfPathFor(const std::string& reportPath);

// For a command-line tool: a QGuiApplication on the offscreen platform
// (unless QT_QPA_PLATFORM names another) when the program has none, for
// the lifetime of the object.
class GuiForTools {
public:
    GuiForTools();
    ~GuiForTools();
    GuiForTools(const GuiForTools&) = delete;
    GuiForTools& operator=(const GuiForTools&) = delete;

private:
    std::unique_ptr<QGuiApplication> m_app;
};

}  // namespace pdf
