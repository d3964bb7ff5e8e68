#include "StoredPort.h"

#include <algorithm>
#include <exception>

#include "common/Console.h"
#include "link/RegKey.h"

int StoredPort::Load(int count) {
    m_loaded = true;
    int stored = 0;
    try {
        RegKey key;
        key.Open();
        stored = key.ReadInt(m_name, 0);
    } catch (const std::exception& error) {
        m_console.message(error.what());
    }
    return stored >= 0 && stored < count ? stored : 0;
}

void StoredPort::Save(int position) {
    if (!m_loaded) return;
    try {
        RegKey key;
        key.Open();
        key.WriteInt(m_name, std::max(position, 0));
    } catch (const std::exception& error) {
        m_console.message(error.what());
    }
}
