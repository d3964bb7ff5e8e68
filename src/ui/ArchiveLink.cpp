#include "ArchiveLink.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include "archive/Location.h"
#include "archive/Sender.h"

ArchiveLink::ArchiveLink(Report report, QObject* parent)
    : QObject(parent),
      m_report(std::move(report)),
      m_url(archive::ConfiguredArchiveUrl()),
      m_queuePath(archive::QueuePath()) {
    // Saves a killed or offline run left queued go out without waiting for
    // the next save.
    if (!m_url.empty() && QFileInfo(QString::fromStdString(m_queuePath)).size() > 0)
        QTimer::singleShot(3000, this, [this] { recorder(); });
}

ArchiveLink::~ArchiveLink() = default;

archive::Recorder& ArchiveLink::recorder() {
    if (!m_recorder) {
        QPointer<ArchiveLink> self(this);
        m_recorder = std::make_unique<archive::Recorder>(
            archive::Recorder::Options{m_url, m_queuePath}, [self](const std::string& text) {
                // On the archive's thread: the console is the window's.
                const QString line = QString::fromStdString(text);
                QMetaObject::invokeMethod(
                    self.data(), [self, line] { if (self) self->m_report(line); }, Qt::QueuedConnection);
            });
    }
    return *m_recorder;
}

void ArchiveLink::recordSave(const QString& path) {
    if (m_url.empty()) return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_report(QStringLiteral("Архив: сохранённый файл не прочитан: ") + file.errorString());
        return;
    }
    const QByteArray bytes = file.readAll();
    recorder().submit(archive::MakeSubmission(path.toStdString(), bytes.toStdString()));
}

void ArchiveLink::flush() {
    if (m_recorder) m_recorder->flush();
}
