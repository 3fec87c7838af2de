#include "emulator/request_log.h"

namespace orvix::emulator {

const char* rejectionName(Rejection rejection) {
    switch (rejection) {
    case Rejection::None:
        return "none";
    case Rejection::DeviceName:
        return "device name";
    case Rejection::OpenMode:
        return "open mode";
    case Rejection::ControlCode:
        return "control code";
    case Rejection::PipeInput:
        return "pipe input";
    case Rejection::Pipe:
        return "pipe";
    case Rejection::BufferLength:
        return "buffer length";
    case Rejection::TimeoutRequest:
        return "time-out request";
    case Rejection::Packet:
        return "packet";
    case Rejection::FrameLength:
        return "frame length";
    }
    return "unknown";
}

} // namespace orvix::emulator
