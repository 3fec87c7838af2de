#pragma once
// The frame every exported function runs in: look the handle up (moving the table's
// cursor), forward to the Camera, return its result. An unknown handle returns the
// export's unknown-handle value without touching any out-parameter or queuing
// anything. Nothing is thrown across the C interface: an exception escaping a Camera
// operation (an allocation failure, say) ends the call with that same value.

#include <cstdint>
#include <type_traits>
#include <utility>

#include "OrvixSdk_K62DT4.h"
#include "api/handle_table.h"
#include "camera/camera.h"
#include "platform/window_handle.h"

namespace orvix::api {

// The 32-bit handle carried in the pointer-sized parameter. An application that kept
// the handle in a 32-bit signed integer and cast it back passes a handle above
// 0x7FFFFFFF sign-extended: that form names the same camera. Any other value that
// does not fit in 32 bits can never name a camera and maps to 0, which is never a
// handle.
inline std::uint32_t handleValue(ORVIX_HANDLE handle) {
    const auto raw = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
    if (raw <= 0xFFFFFFFFu) return static_cast<std::uint32_t>(raw);
    const bool signExtended = (raw >> 31) == 0x1FFFFFFFFull;
    return signExtended ? static_cast<std::uint32_t>(raw) : 0u;
}

inline ORVIX_HANDLE toApiHandle(std::uint32_t handle) {
    return reinterpret_cast<ORVIX_HANDLE>(static_cast<std::uintptr_t>(handle));
}

// ORVIX_WINDOW is an HWND on Windows and an X11 window id elsewhere.
template <typename Window>
platform::WindowHandle windowValue(Window window) {
    if constexpr (std::is_pointer_v<Window>) {
        return reinterpret_cast<platform::WindowHandle>(window);
    } else {
        return static_cast<platform::WindowHandle>(window);
    }
}

template <typename Result, typename Operation>
Result forward(ORVIX_HANDLE handle, Result unknownHandleValue, Operation&& operation) noexcept {
    try {
        const std::shared_ptr<Camera> camera = CameraHandleTable::instance().lookup(handleValue(handle));
        if (!camera) return unknownHandleValue;
        return static_cast<Result>(std::forward<Operation>(operation)(*camera));
    } catch (...) {
        return unknownHandleValue;
    }
}

} // namespace orvix::api
