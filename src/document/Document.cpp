#include "document/Document.h"

#include <stdexcept>

#include "common/Console.h"

Document::Document(Console& console) : m_console(console), m_state(std::make_shared<DocumentState>()) {}

Document::~Document() = default;

bool Document::create(int typeCode) {
    close();
    m_console.clear();
    m_state->options.resetToDefaults();
    m_device = CreateDevice(typeCode, m_console);
    return m_device != nullptr;
}

bool Document::load(DocumentContent content) {
    if (!m_device || m_device->Type() != content.typeCode) {
        auto device = CreateDevice(content.typeCode, m_console);
        if (!device) return false;
        m_device = std::move(device);
    }
    m_device->SetIdent(content.ident);
    if (content.hasSettings)
        m_device->SetSettings(content.settings.data(), static_cast<int>(content.settings.size()));
    m_device->SetLines(content.lines, 0);
    m_state->options = content.options;
    m_state->currentLines = std::move(content.lines);
    m_packages = std::move(content.packages);
    recalcAll();
    return true;
}

void Document::close() {
    m_device.reset();
    m_packages.clear();
    m_state->currentLines.clear();
    m_fileName.clear();
}

int Document::entryType() const { return m_device ? EntryTypeOfCode(m_device->Type()) : -1; }

PackagePtr Document::addPackage(PackageType type, Method method) {
    if (!m_device) return nullptr;
    PackagePtr package = CreatePackage(entryType(), m_state);
    if (!package) return nullptr;
    package->type = type;
    package->method = method;
    package->created = SystemTime::now();
    m_packages.push_back(package);
    return package;
}

void Document::deletePackage(int index) {
    if (index < 0 || index >= static_cast<int>(m_packages.size())) throw std::out_of_range("package index");
    m_packages.erase(m_packages.begin() + index);
}

void Document::recalcAll() {
    for (const PackagePtr& package : m_packages) package->recalcAll();
}

void Document::tabChanged() {
    if (m_device) {
        m_device->GetLines(m_state->currentLines);
        m_state->options.pulseWeight = m_device->PulseWeight();
    }
    recalcAll();
}
