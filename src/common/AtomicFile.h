#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

#include "common/Noncopyable.h"

// Replaces a file as a whole or not at all: documents, reports, exports and
// the settings store all save through it. The bytes go to a new file beside
// the target, are flushed to the disk, and only then take the target's name;
// the folder is flushed last so that the new name itself is on the disk. A
// full disk or a crash while writing leaves the old file intact.
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
    [[noreturn]] void failAndDiscard(int code);

    std::string m_target;
    std::string m_temp;
    int m_fd = -1;
};

// The whole content of `path`, replaced as AtomicFile does.
void ReplaceFile(const std::string& path, std::string_view bytes, mode_t newFileMode = AtomicFile::kDefaultMode);
