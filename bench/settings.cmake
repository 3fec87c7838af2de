# Settings queries on a large settings file, and Orvix_SetCaptureWindow's scan of the
# stored formats on it.
orvix_add_bench(settings_bench ${CMAKE_CURRENT_LIST_DIR}/settings_bench.cpp)
