# The capture path per frame (ring copy, row unpacking, frame pipeline without
# filters) and the CPU time of previewing at the emulated camera's 15 frames/s.
orvix_add_bench(capture_bench ${CMAKE_CURRENT_LIST_DIR}/capture_bench.cpp)
