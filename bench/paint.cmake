# The preview paint path per colour type and window size under an X server, and its
# display conversions, stretches and upload on their own (Linux only).
if(NOT WIN32)
  orvix_add_bench(paint_bench ${CMAKE_CURRENT_LIST_DIR}/paint_bench.cpp)
endif()
