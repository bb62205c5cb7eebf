// The records built into the program: the four boot images as escaped text,
// the gradient steps and the two page texts, read from one position.
#pragma once

#include "core/installer_state.h"

#include <string>

enum RecordLabel : int {
    BootImageRecords = 1,
    GradientSteps = 24,
    MainMenuText = 40,
    PartitionScreenText = 68,
};

int recordCount();                       // 95
const std::string& recordAt(int number); // 1-based
void restoreTo(RecordReader& reader, RecordLabel label);
std::string readText(RecordReader& reader);
int32_t readInteger(RecordReader& reader);
void decodeImageToScratch(InstallerState& state);
void decodeImageToBuffer(InstallerState& state);
