// The document file read a package at a time: the same document, JSON text
// and file bytes as reading the whole file, the same refusals of a damaged
// file, in every version and across entry blocks.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "FileBytes.h"
#include "OldFileBytes.h"
#include "common/Console.h"
#include "document/Document.h"
#include "files/DocumentFile.h"
#include "files/JsonDocument.h"

namespace {

using nlohmann::json;

const char kBadFormat[] = "Неправильный формат файла";

Bytes& packageHeader(Bytes& b, unsigned type, unsigned method, std::uint32_t entries) {
    b.u8(type).u8(method);
    for (unsigned w : {2024u, 5u, 3u, 15u, 10u, 30u, 0u, 0u}) b.u16(w);
    return b.u32(entries);
}

// Kelt records of varied values; every seventh has no temperature, so its
// reduction fails and the reference flow is zeroed, and every fifth no time.
Bytes& keltEntries(Bytes& b, int count) {
    for (int i = 0; i < count; ++i) {
        const double t = i % 7 == 3 ? std::numeric_limits<double>::quiet_NaN() : 10.0 + i % 30;
        b.f64(t).f64(5.0 + i % 11).f64(i % 5 == 0 ? 0.0 : 30.0 + i % 13).f64(20.0 + i % 3);
        b.i32(100 + i).i32(i % 9).i32(i % 4).u8(i % 2).u8(i % 3 == 0);
    }
    return b;
}

// A file of `version` (3 to 5): type code 25 or Kelt family 1, two lines,
// and one package per method byte, of `count` entries each, then an empty one.
std::string keltFile(std::uint32_t version, int count) {
    Bytes b;
    b.text("3BPP").u32(version);
    b.u8(version == 3 ? 1 : 25).u32(4242).u8(3);
    b.u8(0).u8(1).u8(1).f64(20.0).f64(1.0).f64(5.0).f64(0.001);
    b.u32(2).f64(0.1).f64(0.02).f64(40.0).f64(0.11).f64(-0.01).f64(32768.0);
    const unsigned methods[] = {0, 1, 2, 0xFF};
    b.u32(5);
    for (unsigned method : methods) keltEntries(packageHeader(b, method % 2, method, static_cast<std::uint32_t>(count)), count);
    packageHeader(b, 1, 2, 0);
    b.u32(version == 3 ? 4 : 0);
    if (version == 3) b.i32(7);
    return b.data;
}

std::string version1File() {
    OldHeader h;
    h.records = 3;
    Bytes b;
    b.text("3BPP").u32(1).raw(oldHeader(h).data);
    for (int i = 0; i < 3; ++i) {
        OldRecord r;
        r.t = 15.0 + i;
        r.pulses1 = 100 + i;
        oldRecord(b, r);
    }
    return b.data;
}

struct Streamed {
    std::string text;
    void operator()(std::string_view piece) { text += piece; }
};

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

TEST(DocumentStreamTest, ReadingAPackageAtATimeGivesWhatReadingTheWholeFileGives) {
    TempDir dir;
    const std::pair<const char*, std::string> kFiles[] = {
        {"version 5 across entry blocks", keltFile(5, 4100)},
        {"version 4", keltFile(4, 30)},
        {"version 3", keltFile(3, 30)},
        {"version 1", version1File()},
    };
    const json extra = {{"console", {"a line"}}};
    for (const auto& [name, bytes] : kFiles) {
        SCOPED_TRACE(name);
        const std::string path = dir.file("doc.srv");
        writeFile(path, bytes);
        Console console;

        // As opened: the JSON text and the file bytes.
        Document whole(console);
        files::ReadDocument(path, whole);
        json expected = files::DocumentToJson(whole);
        expected["console"] = extra["console"];
        Document streamed(console);
        files::DocumentFileReader reader(path);
        reader.open(streamed);
        EXPECT_TRUE(streamed.packages().empty());
        Streamed text;
        files::WriteDocumentJson(streamed, extra, reader, std::ref(text));
        EXPECT_EQ(text.text, expected.dump(2));

        Document toFile(console);
        files::DocumentFileReader fileReader(path);
        fileReader.open(toFile);
        files::WriteDocument(dir.file("out.srv"), toFile, fileReader);
        EXPECT_EQ(readFile(dir.file("out.srv")), files::DocumentBytes(whole));

        // After a tab change: recalculated once more with the device's lines.
        whole.tabChanged();
        Document again(console);
        files::DocumentFileReader againReader(path);
        againReader.open(again);
        again.tabChanged();
        againReader.recalcAgainWith(&again.state());
        Streamed againText;
        files::WriteDocumentJson(again, json::object(), againReader, std::ref(againText));
        EXPECT_EQ(againText.text, files::DocumentToJson(whole).dump(2));

        // The document's own packages as a stream give its JSON too.
        files::DocumentPackages own(whole);
        Streamed ownText;
        files::WriteDocumentJson(whole, json::object(), own, std::ref(ownText));
        EXPECT_EQ(ownText.text, files::DocumentToJson(whole).dump(2));
    }
}

// A write that fails while a large block is being written in two halves
// raises its error once the other half is done with the block.
TEST(DocumentStreamTest, AWriteThatFailsMidBlockRaisesItsError) {
    TempDir dir;
    const std::string path = dir.file("doc.srv");
    writeFile(path, keltFile(5, 4100));
    Console console;
    Document doc(console);
    files::DocumentFileReader reader(path);
    reader.open(doc);
    // The first piece is handed on while this thread is still in its half.
    const auto failing = [](std::string_view) { throw std::runtime_error("disk full"); };
    EXPECT_EQ(errorOf([&] { files::WriteDocumentJson(doc, json::object(), reader, failing); }), "disk full");
}

// Every field of every family holding values whose text is easy to get
// wrong: the streamed JSON writes each value itself, the tree through dump.
TEST(DocumentStreamTest, EveryFieldIsStreamedAsTheTreeDumpsIt) {
    const double kDoubles[] = {0.0, -0.0, 15.0, -90.0, 999999999999999.0, 1e15, 1e20, 1e-5, 5.1000000000000005,
                               std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity()};
    const std::int32_t kIntegers[] = {0, -1, std::numeric_limits<std::int32_t>::min(),
                                      std::numeric_limits<std::int32_t>::max()};
    for (int code : {1, 25, 0}) {
        SCOPED_TRACE("type " + std::to_string(code));
        Console console;
        Document doc(console);
        ASSERT_TRUE(doc.create(code));
        PackageBase& package = *doc.addPackage(PackageType::Calibration, Method::Volume);
        for (int row = 0; row < 12; ++row) {
            package.appendBlankEntry();
            for (int id = 0; id < kFieldCount; ++id) {
                const int k = row + id;
                switch (FieldKindOf(id)) {
                    case FieldKind::Double: package.setField(row, id, &kDoubles[k % std::size(kDoubles)]); break;
                    case FieldKind::Int32: package.setField(row, id, &kIntegers[k % std::size(kIntegers)]); break;
                    case FieldKind::Bool: {
                        const std::uint8_t flag = k % 2;
                        package.setField(row, id, &flag);
                        break;
                    }
                }
            }
        }
        files::DocumentPackages own(doc);
        Streamed text;
        files::WriteDocumentJson(doc, json::object(), own, std::ref(text));
        EXPECT_EQ(text.text, files::DocumentToJson(doc).dump(2));
    }
}

TEST(DocumentStreamTest, AFileCutAnywhereIsRefusedBeforeAnythingIsRead) {
    TempDir dir;
    for (std::uint32_t version : {3u, 5u}) {
        const std::string bytes = keltFile(version, 2);
        Console console;
        Document doc(console);
        ASSERT_TRUE(doc.create(20));
        const std::string before = files::DocumentToJson(doc).dump();
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            SCOPED_TRACE("version " + std::to_string(version) + ", " + std::to_string(length) + " bytes");
            writeFile(dir.file("cut.srv"), bytes.substr(0, length));
            files::DocumentFileReader reader(dir.file("cut.srv"));
            EXPECT_EQ(errorOf([&] { reader.open(doc); }), kBadFormat);
            EXPECT_EQ(files::DocumentToJson(doc).dump(), before);
        }
    }
}

TEST(DocumentStreamTest, AFileThatCannotBeOpenedRaisesTheSystemsError) {
    TempDir dir;
    Console console;
    Document doc(console);
    for (const std::string& path : {dir.file("missing.srv"), dir.path()}) {
        SCOPED_TRACE(path);
        const std::string error = errorOf([&] { files::ReadDocument(path, doc); });
        EXPECT_NE(error, "no error");
        EXPECT_EQ(errorOf([&] { files::DocumentFileReader reader(path); }), error);
    }
}

}  // namespace
