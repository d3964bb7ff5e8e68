// Makes a picture of the archive window over a few hundred records of bench
// documents: archive_screenshot OUT.png (offscreen or on a display).

#include <QApplication>
#include <QTemporaryDir>

#include "ArchiveWindow.h"
#include "archive/SampleDocuments.h"  // tests/archive

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    QTemporaryDir dir;
    const std::string url = dir.filePath("archive.sqlite").toStdString();
    {
        archive::Archive a(url);
        std::vector<std::pair<archive::Submission, archive::PreparedDocument>> docs;
        const int codes[] = {25, 21, 3, 30, 7, 19};
        const char* users[] = {"ivanov", "petrova", "sidorov"};
        for (int i = 0; i < 120; ++i) {
            archive::Submission s;
            const int code = codes[i % 6];
            const auto serial = static_cast<std::uint32_t>(21040000 + i * 113);
            s.bytes = SampleDocumentBytes({.typeCode = code, .serial = serial, .du = static_cast<std::uint8_t>(i % 8),
                                           .packages = 1 + i % 4, .entries = 6 + i % 15, .seed = i,
                                           .year = 2025, .month = 1 + i % 12, .day = 1 + i % 27});
            s.path = "/home/lab/Поверка/" + std::to_string(serial) + ".srv";
            s.savedMs = 1'735'700'000'000 + i * 3'600'000LL * 50;
            s.user = users[i % 3];
            s.host = "bench-" + std::to_string(1 + i % 2);
            archive::PreparedDocument p = archive::Prepare(s.bytes);
            docs.emplace_back(std::move(s), std::move(p));
        }
        a.storeMany(docs);
    }
    TArchiveForm window(url, dir.filePath("queue.sqlite").toStdString(), {});
    window.resize(1280, 600);
    window.show();
    window.bnFindClick();
    app.processEvents();
    return window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
