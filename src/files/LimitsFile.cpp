#include "files/LimitsFile.h"

#include <fstream>
#include <sstream>

#include "common/MathError.h"

namespace files {

Limits ReadLimitsFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UserError(path + ": файл пределов не открыт");
    std::ostringstream text;
    text << in.rdbuf();
    try {
        return ParseLimits(text.str());
    } catch (const UserError& e) {
        throw UserError(path + ": " + e.what());
    }
}

}  // namespace files
