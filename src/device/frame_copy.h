#pragma once
// Copying the capture window out of a raw frame, packed row after row.
//
// Raw frames are `lineLength` samples per line, one byte per sample (8-bit mode) or
// one little-endian word per sample (10-bit mode: low byte = bits 9..2, two lowest
// bits of the high byte = bits 1..0). 10-bit samples are unpacked into 16-bit
// little-endian words 0..1023.
//
// Sub-sampling keeps the colour filter's 2 x 2 quads whole: at 1/2 it keeps two of
// every four columns and lines, at 1/4 two of every eight, at 1/8 two of every
// sixteen. The result is exactly (width >> subSample) x (height >> subSample)
// samples, so it fits the half-, quarter- or eighth-size destination.

#include <cstddef>
#include <cstdint>

namespace orvix {

struct WindowCopy {
    int lineLength = 0;   // samples per raw line
    int originSample = 0; // first window sample within a line
    int originLine = 0;   // first window line
    int width = 0;        // window size before sub-sampling
    int height = 0;
    int subSample = 0;    // 0..3: 1/1, 1/2, 1/4, 1/8

    int outputWidth() const { return width >> subSample; }
    int outputHeight() const { return height >> subSample; }
};

// Bytes the copy writes: output width x height x 1 (8-bit) or 2 (10-bit).
std::size_t windowCopyBytes(const WindowCopy& window, bool tenBit);

void copyWindow8(const std::uint8_t* frame, const WindowCopy& window, std::uint8_t* dst);
void copyWindow10(const std::uint8_t* frame, const WindowCopy& window, std::uint8_t* dst);

// One run of `count` 10-bit samples into 16-bit words (source and destination 2 *
// count bytes each): the plain version, the SSE2 version (where the processor has
// SSE2; the same results), and the one copyWindow10 uses.
using UnpackTenBitRow = void (*)(const std::uint8_t* src, std::uint8_t* dst, int count);
void unpackTenBitRow(const std::uint8_t* src, std::uint8_t* dst, int count);
UnpackTenBitRow unpackTenBitRowSse2(); // nullptr when the processor lacks SSE2
UnpackTenBitRow selectedUnpackTenBitRow();

} // namespace orvix
