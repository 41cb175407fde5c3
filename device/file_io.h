// The files the tool reads and writes for its user: backups, recordings, the simulator's state and
// scenarios. Every one goes through here, so each rule is kept once: what is read is a regular
// file of bounded size, opened without blocking; what is written lands whole or not at all, is
// private to its owner, and never goes through a link or onto a device, pipe or folder. Paths
// are UTF-8 on every platform (Windows converts at its API).
// Run by root in a folder that belongs to another user (a home reached through sudo), whatever is
// made there is given to that folder's owner: no root-owned file or folder is left in a user's
// home to refuse the user's own runs later.
// Defined per OS in device/linux/file_io_posix.cpp and device/windows/file_io_windows.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::device {

// The most a kind of file may hold, and what it is called in the refusal ("a backup").
struct ReadLimit {
  std::uint64_t maxBytes = 0;
  std::string_view what;
};

enum class FileRead {
  Read,     // `bytes` holds the whole file
  Missing,  // there is nothing at the path
  Refused,  // `problem` says why: not a regular file, larger than the limit, unreadable
};

// Reads the regular file at `path`. A folder, pipe, device or socket is refused without reading
// (and a pipe without waiting for a writer), as is a file larger than `limit.maxBytes`; the kind
// is judged on the opened file itself, so nothing swapped in after a look at the name gets read.
FileRead ReadFileBounded(const std::string& path, const ReadLimit& limit,
                         std::vector<std::uint8_t>& bytes, std::string& problem);

// Whether `path` can be written at the end of the run: its folder exists and takes a new file
// (tried for real, and the trial file removed at once), and nothing stands at `path` but a
// regular file. A folder, pipe, device, socket or a link (to anything) is refused. Empty when
// fine; otherwise words that name the file and the reason.
std::string CheckFileTarget(const std::string& path);

// Whether `folder` exists and takes a new file (tried for real, the trial file removed at once).
// Empty when it does; otherwise words that name the folder and the reason.
std::string CheckFolderTakesNewFiles(const std::string& folder);

// Writes `bytes` as `path`, replacing a regular file there: a new private file (owner only) is
// made beside it without following links, written, flushed to the disk, then renamed onto
// `path`, and the folder flushed; `path` holds the old contents or all of the new. Refused as
// CheckFileTarget refuses. False with `error` set.
bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes,
                        std::string& error);

// Writes `bytes` as a new file in `folder`, as WriteFileReplacing does, but never onto anything
// that exists: named `stem + extension`, or `stem-2 + extension`, `stem-3 ...` when the name is
// taken (by another run at the same moment, too). The path made, or nullopt with `error` set.
std::optional<std::string> WriteNewFile(const std::string& folder, const std::string& stem,
                                        const std::string& extension,
                                        std::span<const std::uint8_t> bytes, std::string& error);

// Makes `folder` and the parents it lacks, each private to its owner (0700 on POSIX). A folder
// that exists is taken as it is. False with `error` set.
bool MakePrivateFolder(const std::string& folder, std::string& error);

// "PATH is larger than a backup can be (N bytes or more; at most 128 KiB)": the refusal of a file
// over its limit, worded once for every platform.
std::string FileTooLargeText(const std::string& path, const ReadLimit& limit, std::uint64_t size);

// The folder part of `path` ("" when it names a file in the current folder), by both separators
// on Windows and by '/' elsewhere.
std::string FolderOf(const std::string& path);

}  // namespace corvane::device
