# Saving a full-frame 24-bit image in each format, beside the same encode done
# directly with the library from pixels already in the file's layout.
orvix_add_bench(saving_bench ${CMAKE_CURRENT_LIST_DIR}/saving_bench.cpp)
target_link_libraries(saving_bench PRIVATE orvix::jpeg orvix::png orvix::tiff orvix::zlib)
