#pragma once
// Whole-file writes that a crash or a full disk can never tear: the bytes go to a temporary
// file in the same folder, are flushed to disk, and the temporary file is renamed over the target.
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace wl {

// Throws std::runtime_error naming the file and the system error when any step fails;
// the old file is then left as it was and the temporary file is removed.
// A replaced file keeps its permission bits; a new one is readable and writable by its owner only.
// A file without any write permission is refused (EACCES) rather than replaced, as a write in
// place would be. A symbolic link is followed: the file it names is replaced, the link stays.
void WriteFileAtomic(const std::filesystem::path& file, std::string_view bytes);

// Whether the bytes are flushed to the disk before the rename. Without the flush a reader still
// sees the old or the new file, never a torn one, but a power loss may lose the new bytes: only
// for files that are rewritten all the time and rebuilt from other data (the drawn wallpaper).
enum class FileFlush { ToDisk, None };
void WriteFileAtomic(const std::filesystem::path& file, std::string_view bytes, FileFlush flush);

// Whether a file name is one WriteFileAtomic gives its temporary files: the target's name,
// ".tmp-" and six letters or digits.
bool IsAtomicTempName(std::string_view fileName);

// Removes the temporary files that saves cut short by a crash or a kill left in the folder (not in
// its subfolders): regular files named as IsAtomicTempName says and last changed at least minAge
// ago, so that a save another process of ours is making right now keeps its file. Errors are
// ignored; returns how many were removed.
int RemoveLeftoverTempFiles(const std::filesystem::path& folder,
                            std::chrono::seconds minAge = std::chrono::seconds(60));

// Reads a whole file; throws std::runtime_error naming the file when it cannot be read.
// maxBytes guards against absurd inputs (0 = no limit).
std::string ReadWholeFile(const std::filesystem::path& file, std::size_t maxBytes = 0);

}  // namespace wl
