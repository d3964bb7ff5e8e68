#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace files {

// The JSON value of a document's text in the interchange form, as srvtool
// reads a .json file. Text that is not JSON, including a number too large
// for a double, raises UserError "<name>: not a JSON document (<why>)".
nlohmann::json ParseJsonText(std::string_view text, const std::string& name);

}  // namespace files
