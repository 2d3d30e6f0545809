#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// A private folder for the files a fuzz target reads back, made once per process and removed
// at exit, so that parallel fuzzers never share a file and nothing is left behind.
class ScratchFolder {
public:
    static const ScratchFolder& instance() {
        static const ScratchFolder folder;
        return folder;
    }

    QString path(const char* fileName) const {
        return QString::fromLocal8Bit(folder_) + u'/' + QString::fromLatin1(fileName);
    }

    // Replaces the file with exactly these bytes; a fuzz target cannot go on without it.
    static void write(const QString& path, const QByteArray& bytes) {
        const QByteArray name = path.toLocal8Bit();
        std::FILE* file = std::fopen(name.constData(), "wb");
        if (file == nullptr ||
            std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), file) !=
                static_cast<std::size_t>(bytes.size()) ||
            std::fclose(file) != 0)
            std::abort();
    }

    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

private:
    // Memory, not disk, when there is a choice: a disk file truncated and rewritten at every
    // run is flushed by ext4 each time, which slows fuzzing tenfold.
    static std::string baseFolder() {
        const char* tmp = std::getenv("TMPDIR");
        if (tmp != nullptr && *tmp != '\0')
            return tmp;
        std::error_code ignored;
        return std::filesystem::is_directory("/dev/shm", ignored) ? "/dev/shm" : "/tmp";
    }

    ScratchFolder() {
        std::string pattern = baseFolder() + "/anemo-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        folder_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    std::string folder_;
};
