// What the writing verbs share: where a backup goes and how it is taken, the confirmation
// question, and the re-plug and rescan of a virtual adaptor after a write.
#pragma once

#include <optional>
#include <string>

#include "app/cli/backend.h"
#include "app/cli/cli_options.h"
#include "app/cli/device_outcome.h"
#include "firmware/adaptor_backup.h"

namespace corvane::app::cli {

struct BackupTarget {
  std::string folder;               // a new file is named in it
  std::optional<std::string> file;  // --output FILE
};

// Makes sure there is somewhere to save a backup before any command is sent: the folder is made
// if missing (private to the user) and must take a new file; --output FILE must be a regular
// file or nothing. Backups of simulated adaptors go to a folder of their own ("simulated" in the
// backups folder), apart from those of real ones. False with `error` otherwise.
bool PrepareBackupTarget(const std::optional<std::string>& output, BackupTarget& target,
                         std::string& error, bool simulated);

struct SavedBackup {
  std::string file;
  firmware::AdaptorBackup backup;
};

// Reads the checked adaptor's backup (nothing is written to it) and saves it: to --output FILE,
// replacing it, or to a new file of its own in the folder.
bool TakeBackup(const BackupTarget& target, const DeviceOutcome& checked, SavedBackup& saved,
                std::string& error);

// "Corvane KTS260 NVMe (<<USB>>)": the product as INQUIRY names it, and its bus, as the text
// output shows them.
std::string ProductText(const DeviceOutcome& checked);

// --yes, or "y" on the terminal to `question`; false with `reason` otherwise.
bool Confirmed(const CliOptions& options, const std::string& question, std::string& reason);

struct AfterWrite {
  std::optional<std::string> firmware;  // a.b.c.d after the re-plug
  bool romMode = false;
  std::string rescanStatus;
};

// A virtual adaptor is unplugged and plugged in again as a user would do, and rescanned and
// checked as the window's watch would; nullopt on a real adaptor.
std::optional<AfterWrite> ReplugAndRescan(Backend& backend, TForm1& form, HeadlessView& view,
                                          const std::string& path);

}  // namespace corvane::app::cli
