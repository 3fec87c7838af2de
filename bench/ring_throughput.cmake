# Frame ring throughput with the unthrottled emulator, beside memcpy of the same bytes.
orvix_add_bench(ring_throughput_bench ${CMAKE_CURRENT_LIST_DIR}/ring_throughput_bench.cpp)
