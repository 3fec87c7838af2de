#pragma once
// `orvix snap [--color BITS] [--format F] [--out FILE] [NAME VALUE]...`: one frame
// saved to a file, after the settings NAME VALUE were applied for this frame.

#include "OrvixSdk_K62DT4.h"

// Checks NAME VALUE pairs before the camera starts, and applies them to a started
// camera; both print their own messages and return false on failure.
struct SnapSettings {
    bool (*check)(int count, char** pairs);
    bool (*apply)(ORVIX_HANDLE camera, int count, char** pairs);
};

int commandSnap(int argc, char** argv, const SnapSettings& settings);
