// quillon-cli drives: lists the drive letters of this machine with their
// media type, readiness, volume data, space, mount point and device.
#pragma once

#include <cstdio>

// Writes one line (or, with json, one JSON object per line) per drive to out;
// messages go to err. Returns a CliExit status.
int RunDrivesCommand(bool json, FILE *out, FILE *err);
