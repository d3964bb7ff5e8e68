#pragma once

#include <nlohmann/json.hpp>

class Document;

namespace files {

// The document's JSON interchange form, used by the command-line tool.
//
// Input keys: `type`; `ident` {`serial`, `du`}; `options` {`function`,
// `manual`, `byEntries`, `refTemp`, `maxAutoErr`, `sectionScatter`,
// `pulseWeight`}; `lines` [{`a`, `b`, `upper`}]; `settings` (hex, optional);
// `packages` [{`type`, `method`, `created`, `entries` [...]}]. Of an entry only
// the fields a document file stores count; the rest is recomputed.

// Opens the JSON form into `doc` as Open does. Throws UserError with a line
// that names the faulty key; `doc` is untouched then.
void ReadJsonDocument(const nlohmann::json& json, Document& doc);

// The document with every field of every entry, each package's `name`, and
// the device model's view (`device`).
nlohmann::json DocumentToJson(const Document& doc);

}  // namespace files
