// Where backups are kept and how their files are written: the per-OS files hold the user's data
// folder and the atomic write (temporary file, flushed to the disk, renamed over the target).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace corvane::app::cli {

// $XDG_DATA_HOME/corvane-update/backups (else ~/.local/share/...), on Windows
// %LOCALAPPDATA%\corvane-update\backups. Empty, with `error` set, when the folder is not known.
std::string DefaultBackupFolder(std::string& error);

// Writes `bytes` to `path` so that `path` afterwards holds either nothing new or all of them: a
// temporary file beside it is written and flushed to the disk, then renamed over `path`.
bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string& error);

// Creates the folder and its parents; false with `error` when it cannot be had.
bool EnsureFolder(const std::string& folder, std::string& error);

// The whole file; false with `error` when it cannot be read.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

// The current time as "2026-12-09T03:50:00Z" and as "20261209T035000Z" for file names.
std::string UtcTimeText();
std::string UtcTimeForFileName();

}  // namespace corvane::app::cli
