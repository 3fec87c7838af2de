#pragma once
// The emulated driver's record of what it was asked: one entry per open, close and
// I/O control request, and the kinds of request it refuses.

#include <array>
#include <cstdint>
#include <string>

namespace orvix::emulator {

// What a request was. Commands are the packets the camera takes from the command
// pipe, through the pipe-write code or (the frame request only) the pipe-read code.
enum class RequestKind {
    Open,
    Close,
    Command,       // command pipe
    AnswerRead,    // response pipe
    FrameTransfer, // frame pipe
    SetTimeout,    // the set-time-out request
    Rejected,      // a request the driver refuses (see Rejection)
};

// Why the driver refused a request. A refused open returns no file; a refused I/O
// control request fails with no bytes returned and leaves the camera as it was.
enum class Rejection {
    None,
    DeviceName,     // open of a name that is none of "\\.\OvixK62DT4-0" .. "-7"
    OpenMode,       // open with another access, share mode or disposition than
                    // write access, write sharing and open-existing
    ControlCode,    // a control code the driver does not serve (0x2220A6 included)
    PipeInput,      // pipe or frame request whose input is not the 4-byte pipe number
    Pipe,           // a pipe the control code does not serve
    BufferLength,   // data buffer missing, or not the 64 bytes of a packet
    TimeoutRequest, // set-time-out input not 44 bytes starting with 1, or an output buffer
    Packet,         // a command packet the camera does not take
    FrameLength,    // frame length other than the raw frame's, or a frame transfer of
                    // another length than the frame's
};

const char* rejectionName(Rejection rejection);

struct LogEntry {
    RequestKind kind = RequestKind::Rejected;
    int slot = -1;              // -1 when an open named no slot
    std::uint32_t code = 0;     // control code
    std::uint32_t pipe = 0;
    std::uint32_t length = 0;   // output buffer length asked for
    std::uint32_t bytesReturned = 0;
    bool succeeded = false;
    std::uint32_t byteCount = 0;        // bytes kept below
    std::array<std::uint8_t, 64> bytes{}; // command packet, answer, or set-time-out input
    std::string path;                   // opens: the name asked for
    std::uint32_t access = 0, shareMode = 0, disposition = 0; // opens
    Rejection rejection = Rejection::None; // kind Rejected: why
    std::string reason;                    // kind Rejected: the request and the rule it broke
};

} // namespace orvix::emulator
