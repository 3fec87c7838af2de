#pragma once
// `orvix snap [--color BITS] [--format F] [--out FILE]`: one frame saved to a file.
int commandSnap(int argc, char** argv);
