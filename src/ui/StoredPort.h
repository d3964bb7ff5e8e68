#pragma once

class Console;

// The port a device page or the Nivor dialog remembers between runs: its
// port selector's position, one number in the settings store. One rule for
// all of them:
// - Load reads the position when the page starts its worker; a position the
//   selector does not have (or none stored) gives the first item.
// - Save writes the position given; a page that never loaded (never shown)
//   writes nothing, so it cannot overwrite what another run stored.
// - A store that cannot be opened, read or written says so in the console;
//   the page goes on with the first item.
// When to save is each page's own: the RV page at every opening of its
// port, the others when they go away.
class StoredPort {
public:
    StoredPort(const char* valueName, Console& console) : m_name(valueName), m_console(console) {}

    // The stored position within a selector of `count` items.
    int Load(int count);
    void Save(int position);
    bool loaded() const { return m_loaded; }

private:
    const char* m_name;
    Console& m_console;
    bool m_loaded = false;
};
