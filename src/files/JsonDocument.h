#pragma once

#include <nlohmann/json.hpp>

#include <functional>
#include <string_view>

#include "document/Document.h"
#include "files/DocumentFile.h"

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

// A document's own packages as a stream, each as one block.
class DocumentPackages : public PackageStream {
public:
    explicit DocumentPackages(const Document& doc) : m_doc(doc) {}
    std::size_t packageCount() const override { return m_doc.packages().size(); }
    const PackageBase* nextPackage(std::uint32_t& count) override {
        m_handed = false;
        m_current = nullptr;
        if (m_next >= m_doc.packages().size()) return nullptr;
        m_current = m_doc.packages()[m_next++].get();
        count = static_cast<std::uint32_t>(m_current->entryCount());
        return m_current;
    }
    const PackageBase* nextEntries() override {
        if (m_handed || !m_current || m_current->entryCount() == 0) return nullptr;
        m_handed = true;
        return m_current;
    }

private:
    const Document& m_doc;
    std::size_t m_next = 0;
    const PackageBase* m_current = nullptr;
    bool m_handed = false;
};

// The text of DocumentToJson(doc) with the members of `extra` added, as
// dump(2) prints it, but with the packages of `packages` in place of the
// document's own, written a block of entries at a time: the text is handed
// to `write` in pieces and never held whole.
void WriteDocumentJson(const Document& doc, const nlohmann::json& extra, PackageStream& packages,
                       const std::function<void(std::string_view)>& write);

}  // namespace files
