// srvtool: the document and device jobs of the service tool from the command
// line. Output is JSON on stdout; every failure prints one line on stderr
// and exits with a non-zero status, with nothing on stdout.

#include <iostream>

#include "Tool.h"

int main(int argc, char** argv) {
    CLI::App app{"srvtool: documents and devices of the flow transducer service tool"};
    app.require_subcommand(1);
    for (srvtool::CommandGroup group : srvtool::commandGroups()) group(app);
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
