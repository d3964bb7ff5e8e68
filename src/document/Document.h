#pragma once

#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/DeviceBase.h"
#include "document/PackageBase.h"

class Console;

// Everything a document reader gathered before the open document is touched.
// Packages are created on the target document's `sharedState()`.
struct DocumentContent {
    int typeCode = 0;
    Ident ident;
    ApprOptions options;
    files::Lines lines;
    Packages packages;
    std::vector<std::uint8_t> settings;
    bool hasSettings = true;
};

// The one open document: the device model, the packages, the options and
// the characteristic in force. The packages share the options and lines
// through `state()`.
class Document {
public:
    explicit Document(Console& console);
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // Starts a new document of a device type code: the console is cleared,
    // the options reset, a device model made; no packages. False, with the
    // document closed, for a code the factory does not know.
    bool create(int typeCode);
    // Replaces the document by what a reader gathered, as Open does: a new
    // device model only when the type differs, then the device's identity,
    // settings and lines, the options, the lines and the packages, and every
    // package recalculated. The file name is left to the caller. False, with
    // nothing changed, for a type code the factory does not know.
    bool load(DocumentContent content);
    // Ends the document: no device, no packages, no lines, no file name.
    void close();
    bool isOpen() const { return m_device != nullptr; }

    // A new package of the document's entry type, appended; null when no
    // document is open.
    PackagePtr addPackage(PackageType type, Method method);
    void deletePackage(int index);
    void recalcAll();

    // Whenever the selected tab changes: the device model's lines and pulse
    // weight become the document's, then every package is recalculated.
    void tabChanged();

    DeviceBase* device() const { return m_device.get(); }
    // Replaces the device model (the document reader makes a new one when
    // the stored type differs).
    void setDevice(std::unique_ptr<DeviceBase> device) { m_device = std::move(device); }
    Packages& packages() { return m_packages; }
    const Packages& packages() const { return m_packages; }
    DocumentState& state() { return *m_state; }
    const DocumentState& state() const { return *m_state; }
    std::shared_ptr<DocumentState> sharedState() const { return m_state; }
    Console& console() const { return m_console; }

    // Entry type of the device's type code.
    int entryType() const;

    const std::string& fileName() const { return m_fileName; }
    void setFileName(std::string name) { m_fileName = std::move(name); }

private:
    Console& m_console;
    std::shared_ptr<DocumentState> m_state;
    std::unique_ptr<DeviceBase> m_device;
    Packages m_packages;
    std::string m_fileName;
};
