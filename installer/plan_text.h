// A plan in words, for --dry-run: which sectors would change, in which
// order, and for LBA 0 which fields.
#pragma once

#include "core/disk_plan.h"

#include <string>

std::string describePlan(const DiskPlan& plan, const FirstSectors& now);
