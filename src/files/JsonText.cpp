#include "files/JsonText.h"

#include "common/MathError.h"

namespace files {

nlohmann::json ParseJsonText(std::string_view text, const std::string& name) {
    try {
        return nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& e) {
        // Not only parse_error: a number beyond a double is out_of_range.
        throw UserError(name + ": not a JSON document (" + std::string(e.what()) + ")");
    }
}

}  // namespace files
