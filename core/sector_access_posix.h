// How the POSIX build finds \\.\PhysicalDriveN. With VELTRA_DRIVES set it is a
// colon-separated list of up to four paths (image files or block devices),
// entry N being drive N; without it, drive N is the N-th whole disk that the
// system lists. Exposed so that the rules can be tried on a fake tree.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The path of drive N from a VELTRA_DRIVES value; nothing for a missing or empty entry.
std::optional<std::string> driveFromList(const std::string& list, int drive);
// The whole disks under a /sys/block-like directory, in name order: entries
// backed by a device (X/device exists), without loop, ram, zram, sr, md and dm.
std::vector<std::string> listWholeDisks(const std::string& sysBlockDir);
// The path that drive N stands for on this machine, or nothing.
std::optional<std::string> drivePath(int drive);
