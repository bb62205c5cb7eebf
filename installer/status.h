// --status: what stands on each named drive, read without writing anything.
#pragma once

#include <string>

// The report as text (Dutch) or as one JSON object; `exitCode` 0, or 3 when a
// drive could not be read.
std::string statusReport(bool json, int& exitCode);
