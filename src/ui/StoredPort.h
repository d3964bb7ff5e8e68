#pragma once

#include <string>
#include <vector>

class Console;
class QComboBox;

// The port a device page or the Nivor dialog remembers between runs: its
// port selector's position, a number in the settings store (the value name
// given, "DornComPort" for instance), and beside it the port's name as the
// port list shows it, a string under the same name with "Name" after it
// ("DornComPortName"). The name is the stable one where the machine has it
// (a /dev/serial/by-id link), so a page finds its adapter again when the
// list's order has changed. One rule for all of them:
// - Load reads both when the page starts its worker. A stored name that
//   the list holds chooses that port; otherwise (no name stored, as by
//   older settings, or a name the list no longer holds) the position
//   does, and a position the selector does not have (or none stored)
//   gives the first item.
// - Save writes the position given and the name at it ("" for no port); a
//   page that never loaded (never shown) writes nothing, so it cannot
//   overwrite what another run stored.
// - A store that cannot be opened, read or written says so in the console;
//   the page goes on with the first item.
// When to save is each page's own: the RV page at every opening of its
// port, the others when they go away.
class StoredPort {
public:
    StoredPort(const char* valueName, Console& console) : m_name(valueName), m_console(console) {}

    // The stored position within a selector whose item `first + k` is port
    // names[k] (first = 1 where item 0 stands for no port, 0 otherwise).
    int Load(const std::vector<std::string>& names, int first);
    void Save(int position);
    bool loaded() const { return m_loaded; }

private:
    const char* m_name;
    Console& m_console;
    bool m_loaded = false;
    std::vector<std::string> m_names;
    int m_first = 0;
};

// Puts the program's port list into a port selector after the items it
// already has: each item shows the port's name; what the machine tells of
// the device (a USB adapter's vendor, product and serial number) is the
// item's tooltip.
void AddPortItems(QComboBox& selector);
