#pragma once

#include <string>
#include <string_view>

namespace files {

// Replaces a file as a whole or not at all. The bytes go to a new file beside
// the target, are flushed to the disk, and only then take the target's name,
// so a full disk or a crash while writing leaves the old file intact. Every
// failure raises win_error with the system's text and leaves no new file
// behind. A target that is a symbolic link is replaced where the link points.
class AtomicFile {
public:
    // Creates the new file; fails when the target's folder takes no file.
    explicit AtomicFile(const std::string& path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(std::string_view bytes);
    // Flushes the new file and puts it in the target's place.
    void commit();

private:
    void discard() noexcept;

    std::string m_target;
    std::string m_temp;
    int m_fd = -1;
};

// The whole content of `path`, replaced as AtomicFile does.
void ReplaceFile(const std::string& path, std::string_view bytes);

}  // namespace files
