# Demosaic and filter kernels at full sensor size, beside a naive bilinear demosaic
# and, when OpenCV is installed, its single-thread Bayer conversion (benchmark only;
# the library never links OpenCV).
add_executable(imaging_kernels_bench ${CMAKE_CURRENT_LIST_DIR}/imaging_kernels_bench.cpp)
target_link_libraries(imaging_kernels_bench PRIVATE orvix_core benchmark::benchmark)
target_include_directories(imaging_kernels_bench PRIVATE ${PROJECT_SOURCE_DIR}/src)
if(OpenCV_FOUND AND NOT WIN32)
  target_compile_definitions(imaging_kernels_bench PRIVATE ORVIX_BENCH_WITH_OPENCV=1)
  target_include_directories(imaging_kernels_bench PRIVATE ${OpenCV_INCLUDE_DIRS})
  target_link_libraries(imaging_kernels_bench PRIVATE opencv_core opencv_imgproc)
endif()
