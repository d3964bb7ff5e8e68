#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

#include "common/Noncopyable.h"

// Whole files: read in one call, replaced as a whole or not at all.

// The whole content of `path`. A file that cannot be opened or read raises
// win_error with the system's code and text (ENOENT for a missing one).
std::string ReadWholeFile(const std::string& path);

// Replaces a file as a whole or not at all: documents, reports, exports and
// the settings store all save through it. The bytes go to a new file beside
// the target, are flushed to the disk, and only then take the target's name;
// the folder is flushed last so that the new name itself is on the disk. A
// full disk or a crash while writing leaves the old file intact.
//
// The new file is ".<name>.<pid>-<n>-<random>.tmp" beside the target: hidden,
// and never with the target's extension, so no opener or file dialog takes
// it for the document. A program killed while saving leaves it behind; the
// next save of the same target removes every such file that no running save
// holds (each save keeps its new file locked, on Windows open, until the
// rename).
//
// Every failure raises win_error with the system's text and leaves no new
// file behind. A target that is a symbolic link is replaced where the link
// points. A replaced file keeps its permission bits; a new one gets
// `newFileMode` less the umask.
class AtomicFile : Noncopyable {
public:
    static constexpr mode_t kDefaultMode = 0666;

    // Creates the new file; fails when the target is a folder or its folder
    // takes no file.
    explicit AtomicFile(const std::string& path, mode_t newFileMode = kDefaultMode);
    // Without commit() the new file goes away and the target stays as it was.
    ~AtomicFile();

    void write(std::string_view bytes);
    // Flushes the new file and puts it in the target's place.
    void commit();

private:
    void discard() noexcept;
    void releaseLock() noexcept;
    [[noreturn]] void failAndDiscard(int code);

    std::string m_target;
    std::string m_temp;
#ifdef _WIN32
    void* m_file = nullptr;  // HANDLE of the new file, open until the rename
#else
    int m_fd = -1;
    int m_lockFd = -1;  // the same open file, holding its lock until the rename
#endif
};

// The whole content of `path`, replaced as AtomicFile does.
void ReplaceFile(const std::string& path, std::string_view bytes, mode_t newFileMode = AtomicFile::kDefaultMode);
