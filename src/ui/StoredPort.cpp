#include "StoredPort.h"

#include <QComboBox>

#include <algorithm>
#include <exception>

#include "common/Console.h"
#include "comprt/ComPort.h"
#include "link/RegKey.h"

namespace {

std::string NameValue(const char* positionValue) { return std::string(positionValue) + "Name"; }

}  // namespace

int StoredPort::Load(const std::vector<std::string>& names, int first) {
    m_loaded = true;
    m_names = names;
    m_first = first;
    int stored = 0;
    std::string name;
    try {
        RegKey key;
        key.Open();
        stored = key.ReadInt(m_name, 0);
        name = key.ReadString(NameValue(m_name));
    } catch (const std::exception& error) {
        m_console.message(error.what());
    }
    if (!name.empty()) {
        const auto it = std::find(names.begin(), names.end(), name);
        if (it != names.end()) return first + static_cast<int>(it - names.begin());
    }
    const int count = first + static_cast<int>(names.size());
    return stored >= 0 && stored < count ? stored : 0;
}

void StoredPort::Save(int position) {
    if (!m_loaded) return;
    position = std::max(position, 0);
    const int index = position - m_first;
    const std::string name =
        index >= 0 && index < static_cast<int>(m_names.size()) ? m_names[static_cast<std::size_t>(index)] : "";
    try {
        RegKey key;
        key.Open();
        key.WriteInt(m_name, position);
        key.WriteString(NameValue(m_name), name);
    } catch (const std::exception& error) {
        m_console.message(error.what());
    }
}

void AddPortItems(QComboBox& selector) {
    const comprt::ComPort::ComList& list = comprt::ComPort::PortList();
    for (std::size_t i = 0; i < list.Count(); ++i) {
        selector.addItem(QString::fromStdString(list.Name(i)));
        const std::string& hint = list.Hint(i);
        if (!hint.empty())
            selector.setItemData(selector.count() - 1, QString::fromStdString(hint), Qt::ToolTipRole);
    }
}
