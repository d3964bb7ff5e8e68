// srvtool: the document and device jobs of the service tool from the command
// line. Output is JSON on stdout; every failure prints one line on stderr
// and exits with a non-zero status, with nothing on stdout.

#include <iostream>

#include "Tool.h"
#include "Trace.h"

#ifdef _WIN32
#include <windows.h>

namespace {

// The JSON and the messages are UTF-8: a Windows console shows them so
// while srvtool runs and gets its own code page back at the end.
class Utf8Console {
public:
    Utf8Console() : m_saved(::GetConsoleOutputCP()) { ::SetConsoleOutputCP(CP_UTF8); }
    ~Utf8Console() {
        if (m_saved != 0) ::SetConsoleOutputCP(m_saved);
    }
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    UINT m_saved;
};

}  // namespace
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    const Utf8Console console;
#endif
    CLI::App app{"srvtool: documents and devices of the flow transducer service tool"};
    app.require_subcommand(1);
    for (srvtool::CommandGroup group : srvtool::commandGroups()) group(app);
    srvtool::addTraceFlags(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}
