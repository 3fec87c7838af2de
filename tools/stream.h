#pragma once
// `orvix stream [--frames N] [--seconds S]`: live frames from the camera.
int commandStream(int argc, char** argv);
