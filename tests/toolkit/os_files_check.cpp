// The system file calls of toolkit/os_files.h on real files, with the meaning the program
// relies on, the same on Linux and on Windows. A plain program without Qt, so that the Windows
// build runs by itself under Wine. Prints each check and exits with 1 when one failed.

#include "toolkit/os_files.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

// The name of a day's log: the program's files have non-ASCII names.
const std::string kDayLog = "07-12-2026 ANEM\xC3\x94METRO 1.txt";

std::string failures;

void expect(bool ok, const std::string& what) {
    if (!ok)
        failures += "\n    " + what + " (errno " + std::to_string(errno) + ")";
}

bool put(const std::string& path, const std::string& bytes, int flags = O_TRUNC) {
    const int fd = os::open(path.c_str(), O_WRONLY | O_CREAT | os::kCloseOnExec | flags, 0644);
    const bool written =
        fd >= 0 && os::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    return os::close(fd) == 0 && written;
}

std::string contents(int fd) {
    std::string bytes;
    char buffer[64];
    for (ssize_t n; (n = os::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, std::size_t(n));
    return bytes;
}

std::string contents(const std::string& path) {
    const int fd = os::open(path.c_str(), O_RDONLY | os::kCloseOnExec);
    const std::string bytes = fd >= 0 ? contents(fd) : "<not opened>";
    os::close(fd);
    return bytes;
}

bool exists(const std::string& path) {
    os::Stat info{};
    return os::stat(path.c_str(), &info) == 0;
}

void keepsBytesUnderUtf8Name(const std::string& dir) {
    const std::string path = dir + "/" + kDayLog;
    expect(put(path, "a\r\nb\n", O_APPEND | O_EXCL), "created");
    expect(put(path, "c\r\n", O_APPEND), "appended");
    expect(contents(path) == "a\r\nb\nc\r\n", "read back: " + contents(path));
    os::Stat info{};
    const bool statted = os::stat(path.c_str(), &info) == 0;
    expect(statted && S_ISREG(info.st_mode) && info.st_size == 8,
           "stat size " + std::to_string(info.st_size));
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const long long ageNs = std::chrono::nanoseconds(now).count() - os::modifiedNs(info);
    expect(ageNs > -5'000'000'000LL && ageNs < 60'000'000'000LL,
           "modified " + std::to_string(ageNs) + " ns ago");
}

void renamesOverAnOpenFile(const std::string& dir) {
    const std::string target = dir + "/ConfigALL \xC3\xA7.txt";
    expect(put(target, "old"), "old file");
    const int reader = os::open(target.c_str(), O_RDONLY | os::kCloseOnExec);
    expect(put(dir + "/.novo", "new"), "new file");
    expect(os::rename((dir + "/.novo").c_str(), target.c_str()) == 0, "renamed over it");
    expect(contents(target) == "new", "target now " + contents(target));
    expect(contents(reader) == "old", "the open descriptor still reads the old file");
    expect(!exists(dir + "/.novo"), "source name gone");
    os::close(reader);
}

void deletesAnOpenFile(const std::string& dir) {
    const std::string path = dir + "/apagar \xC3\x94.txt";
    const int fd = os::open(path.c_str(), O_RDWR | O_CREAT | os::kCloseOnExec, 0600);
    expect(os::unlink(path.c_str()) == 0, "deleted while open");
    expect(os::write(fd, "x", 1) == 1, "open descriptor still writes");
    expect(os::close(fd) == 0, "closed");
    expect(!exists(path), "name gone");
    expect(put(path, "again", O_EXCL), "name free for a new file");
}

void readsAndWritesAtOffsets(const std::string& dir) {
    const int fd = os::open((dir + "/enviado").c_str(), O_RDWR | O_CREAT | os::kCloseOnExec, 0600);
    expect(os::pwrite(fd, "0123456789", 10, 0) == 10, "pwrite at 0");
    expect(os::pwrite(fd, "ab", 2, 4) == 2, "pwrite at 4");
    char got[5] = {};
    const ssize_t count = os::pread(fd, got, 4, 3);
    expect(count == 4 && std::string(got) == "3ab6", "pread at 3: " + std::string(got));
    expect(os::pread(fd, got, 4, 10) == 0, "pread at the end reads nothing");
    expect(os::fsync(fd) == 0 && os::fdatasync(fd) == 0, "synced");
    os::close(fd);
}

void appendsAfterPreadAndCutsBack(const std::string& dir) {
    const int fd =
        os::open((dir + "/fila.lp").c_str(), O_RDWR | O_CREAT | O_APPEND | os::kCloseOnExec, 0600);
    expect(os::write(fd, "line1\n", 6) == 6, "first write");
    char got[3] = {};
    expect(os::pread(fd, got, 2, 0) == 2, "pread at 0");
    expect(os::write(fd, "line2\n", 6) == 6, "second write");
    expect(contents(dir + "/fila.lp") == "line1\nline2\n", "appended at the end");
    const int copy = os::dup(fd);
    expect(copy >= 0 && os::fdatasync(copy) == 0 && os::close(copy) == 0, "dup synced");
    expect(os::ftruncate(fd, 6) == 0, "cut back");
    os::Stat info{};
    expect(os::fstat(fd, &info) == 0 && info.st_size == 6, "size after the cut");
    os::close(fd);
}

void makesTemporaryFiles(const std::string& dir) {
    std::string first = dir + "/.anemometros.XXXXXX";
    std::string second = first;
    const int a = os::mkstemp(first.data());
    const int b = os::mkstemp(second.data());
    expect(a >= 0 && b >= 0 && first != second, "two new names: " + first + " " + second);
    expect(os::write(a, "t", 1) == 1 && exists(first) && exists(second), "both there");
    os::close(a);
    os::close(b);
    std::string noPattern = dir + "/x";
    expect(os::mkstemp(noPattern.data()) < 0 && errno == EINVAL, "a name without XXXXXX");
}

void listsFolder(const std::string& dir) {
    const std::string sub = dir + "/lista";
    expect(os::mkdir(sub.c_str(), 0777) == 0, "folder made");
    expect(os::mkdir(sub.c_str(), 0777) != 0 && errno == EEXIST, "made twice");
    expect(put(sub + "/" + kDayLog, "") && os::mkdir((sub + "/PASTA \xC3\x87").c_str(), 0777) == 0,
           "entries made");
    std::vector<os::FolderEntry> found = os::listFolder(sub.c_str());
    std::sort(found.begin(), found.end(), [](auto& x, auto& y) { return x.name < y.name; });
    expect(found.size() == 2 && found[0].name == kDayLog && !found[0].folder &&
               found[1].name == "PASTA \xC3\x87" && found[1].folder,
           "listed " + std::to_string(found.size()) + " entries");
    expect(os::listFolder((dir + "/nenhuma").c_str()).empty(), "a missing folder lists nothing");
}

void failsAsPosixDoes(const std::string& dir) {
    const std::string path = dir + "/" + kDayLog;
    expect(os::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666) < 0 && errno == EEXIST,
           "O_EXCL on an existing file");
    expect(os::open((dir + "/nenhum").c_str(), O_RDONLY) < 0 && errno == ENOENT, "missing file");
    expect(os::open(dir.c_str(), O_WRONLY) < 0 && errno == EISDIR, "a folder opened to write");
    os::Stat info{};
    expect(os::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode), "a folder's stat");
    expect(!os::realpath((dir + "/nenhum").c_str()) && errno == ENOENT, "realpath of nothing");
    const std::optional<std::string> resolved =
        os::realpath((dir + "/lista/../" + kDayLog).c_str());
    expect(resolved && resolved->ends_with("/" + kDayLog) &&
               resolved->find("..") == std::string::npos,
           "realpath: " + resolved.value_or("<none>"));
    expect(os::realpath(dir.c_str()) == os::realpath((dir + "/").c_str()), "no '/' at the end");
}

void writesStandardError(const std::string&) {
    const std::string line = "os_files_check: standard error\n";
    expect(os::writeStandardError(line.data(), line.size()) == ssize_t(line.size()), "written");
}

} // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path base =
        fs::temp_directory_path() / ("os_files_check-" + std::to_string(std::random_device{}()));
    const std::u8string utf8 = base.u8string();
    const std::string dir(utf8.begin(), utf8.end());
    if (os::mkdir(dir.c_str(), 0700) != 0) {
        std::printf("FAIL no folder %s\n", dir.c_str());
        return 1;
    }
    const std::pair<const char*, std::function<void(const std::string&)>> checks[] = {
        {"bytes kept under a UTF-8 name", keepsBytesUnderUtf8Name},
        {"rename over an open file", renamesOverAnOpenFile},
        {"delete an open file", deletesAnOpenFile},
        {"pread and pwrite at offsets", readsAndWritesAtOffsets},
        {"append after pread, then cut back", appendsAfterPreadAndCutsBack},
        {"temporary files", makesTemporaryFiles},
        {"folder listing", listsFolder},
        {"errors as POSIX gives them", failsAsPosixDoes},
        {"standard error", writesStandardError},
    };
    int failed = 0;
    for (const auto& [name, run] : checks) {
        failures.clear();
        run(dir);
        std::printf("%s %s%s\n", failures.empty() ? "PASS" : "FAIL", name, failures.c_str());
        failed += failures.empty() ? 0 : 1;
    }
    std::printf("login name: %s\n", os::loginName().c_str());
    std::error_code ignored;
    fs::remove_all(base, ignored);
    return failed == 0 ? 0 : 1;
}
