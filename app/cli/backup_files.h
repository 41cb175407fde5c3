// Where backups are kept, what a backup file may weigh, and the times that name and stamp them.
// The per-OS files know the user's data folder and the words to fix it; every byte is written and
// read through the one file writer and reader (device/file_io.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::app::cli {

// The largest backup is about 71 KB (header, identity text, the KTS260's firmware area, NVRAM
// block, checksum); a file larger than this is refused unread.
inline constexpr std::uint64_t kMaxBackupFileBytes = 128 * 1024;

// $XDG_DATA_HOME/corvane-update/backups (else ~/.local/share/...), on Windows
// %LOCALAPPDATA%\corvane-update\backups; for simulated adaptors its sub-folder "simulated", so
// their backups are kept apart from real ones. Empty, with `error` set, when the folder is not
// known.
std::string DefaultBackupFolder(std::string& error, bool simulated);

// What a user does when no backup folder can be had, in the platform's own terms.
std::string_view BackupFolderAdvice();

// The current time as "2026-12-09T03:50:00Z", and to the microsecond as
// "20261209T035000.123456Z" for file names.
std::string UtcTimeText();
std::string UtcTimeForFileName();

}  // namespace corvane::app::cli
