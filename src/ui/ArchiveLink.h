#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

namespace archive {
class Recorder;
}

// The main window's link to the calibration archive. Each save hands the
// written file to the archive's own thread and goes on; that thread's
// messages reach the console on the window's thread. The thread starts with
// the first save, or shortly after start when saves of an earlier run wait
// in the queue.
class ArchiveLink : public QObject {
    Q_OBJECT
public:
    using Report = std::function<void(const QString& text)>;

    explicit ArchiveLink(Report report, QObject* parent = nullptr);
    ~ArchiveLink() override;

    // The archive in force (empty when it is off) and the local queue.
    std::string url() const { return m_url; }
    std::string queuePath() const { return m_queuePath; }

    // A document file was saved at `path`: its bytes as written are
    // recorded. Never waits on a database; a file that cannot be read back
    // is left out with a console line.
    void recordSave(const QString& path);
    // Waits until every save handed over has been queued and one attempt
    // to send them has ended (tests).
    void flush();

private:
    archive::Recorder& recorder();

    Report m_report;
    std::string m_url, m_queuePath;
    std::unique_ptr<archive::Recorder> m_recorder;
};
