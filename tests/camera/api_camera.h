#pragma once
// A camera handle opened through the exported functions for one test, released at
// the end, and a helper that empties its error queue.

#include <gtest/gtest.h>

#include <vector>

#include "OrvixSdk_K62DT4.h"

namespace orvix::test {

class ApiCamera {
public:
    ApiCamera() : handle_(Orvix_Initialize(0)) { EXPECT_NE(handle_, nullptr); }
    ~ApiCamera() { release(); }
    ApiCamera(const ApiCamera&) = delete;
    ApiCamera& operator=(const ApiCamera&) = delete;

    ORVIX_HANDLE get() const { return handle_; }
    operator ORVIX_HANDLE() const { return handle_; }
    void release() {
        if (handle_) {
            EXPECT_EQ(Orvix_Release(handle_), 1);
        }
        handle_ = nullptr;
    }

    // The handle was released by other means.
    void forget() { handle_ = nullptr; }

    // The queued codes, newest first; the queue is empty afterwards.
    std::vector<int> errors() const {
        std::vector<int> codes;
        for (int code = Orvix_GetLastError(handle_); code != 0; code = Orvix_GetLastError(handle_))
            codes.push_back(code);
        return codes;
    }

private:
    ORVIX_HANDLE handle_;
};

using Codes = std::vector<int>;

} // namespace orvix::test
