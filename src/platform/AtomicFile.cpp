#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace wl {

namespace {

// The temporary file's name is the target's followed by this and mkostemp's six random letters
// or digits.
constexpr std::string_view kTempSuffix = ".tmp-";
constexpr std::size_t kTempRandomChars = 6;

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& file, int err) {
    throw std::runtime_error(what + " \"" + file.string() + "\": " + std::strerror(err));
}

// Closes the descriptor and removes the temporary file unless the rename went through.
class TempFile {
  public:
    explicit TempFile(const std::filesystem::path& target) {
        path_ = target.string() + std::string(kTempSuffix) + std::string(kTempRandomChars, 'X');
        fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
        if (fd_ < 0) Fail("Cannot create a temporary file for", target, errno);
    }
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!committed_) ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    int Close() {
        int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }
    void Commit() { committed_ = true; }

  private:
    std::string path_;
    int fd_ = -1;
    bool committed_ = false;
};

void WriteAll(int fd, std::string_view bytes, const std::filesystem::path& file) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("Cannot write", file, errno);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// A symbolic link is followed so that the file it names is replaced, not the link.
std::filesystem::path ResolveTarget(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(file, ec)) return file;
    auto resolved = std::filesystem::weakly_canonical(file, ec);
    return ec ? file : resolved;
}

}  // namespace

void WriteFileAtomic(const std::filesystem::path& file, std::string_view bytes) {
    WriteFileAtomic(file, bytes, FileFlush::ToDisk);
}

void WriteFileAtomic(const std::filesystem::path& file, std::string_view bytes, FileFlush flush) {
    const std::filesystem::path target = ResolveTarget(file);

    // A file the user made read-only stays as it is, as an in-place write would leave it
    // (even for a privileged user, who could otherwise write anything).
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0))
        Fail("Cannot write", file, EACCES);

    TempFile tmp(target);
    if (exists) ::fchmod(tmp.fd(), st.st_mode & 07777);
    WriteAll(tmp.fd(), bytes, file);
    if (flush == FileFlush::ToDisk && ::fsync(tmp.fd()) != 0) Fail("Cannot flush", file, errno);
    if (tmp.Close() != 0) Fail("Cannot close", file, errno);
    if (::rename(tmp.path().c_str(), target.c_str()) != 0) Fail("Cannot replace", file, errno);
    // The folder is not flushed: the bytes are on disk before the rename, so a crash leaves the
    // old or the new file, and the rename reaches the disk with the file system's next commit.
    // Flushing the folder as well would make every save of a large store wait for the disk twice.
    tmp.Commit();
}

bool IsAtomicTempName(std::string_view fileName) {
    const std::size_t tail = kTempSuffix.size() + kTempRandomChars;
    if (fileName.size() <= tail) return false;  // the target's own name is never empty
    const std::string_view end = fileName.substr(fileName.size() - tail);
    if (end.substr(0, kTempSuffix.size()) != kTempSuffix) return false;
    for (char c : end.substr(kTempSuffix.size())) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum) return false;
    }
    return true;
}

int RemoveLeftoverTempFiles(const std::filesystem::path& folder, std::chrono::seconds minAge) {
    namespace fs = std::filesystem;
    int removed = 0;
    std::error_code ec;
    const auto latest = fs::file_time_type::clock::now() - minAge;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fileEc;
        if (!IsAtomicTempName(it->path().filename().string())) continue;
        if (!it->is_regular_file(fileEc) || it->is_symlink(fileEc)) continue;
        const auto changed = it->last_write_time(fileEc);
        if (fileEc || changed > latest) continue;
        if (fs::remove(it->path(), fileEc)) ++removed;
    }
    return removed;
}

std::string ReadWholeFile(const std::filesystem::path& file, std::size_t maxBytes) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) Fail("Cannot read", file, errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat st {};
    if (::fstat(fd, &st) != 0) Fail("Cannot read", file, errno);
    if (S_ISDIR(st.st_mode)) Fail("Cannot read", file, EISDIR);
    if (maxBytes && static_cast<std::size_t>(st.st_size) > maxBytes)
        throw std::runtime_error("Cannot read \"" + file.string() + "\": the file is too large (" +
                                 std::to_string(st.st_size) + " bytes)");

    std::string data;
    data.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("Cannot read", file, errno);
        if (n == 0) break;
        data.append(buf, static_cast<std::size_t>(n));
        // The file may grow while it is read (a pipe, a device): the limit holds all the same.
        if (maxBytes && data.size() > maxBytes)
            throw std::runtime_error("Cannot read \"" + file.string() + "\": the file is too large");
    }
    return data;
}

}  // namespace wl
