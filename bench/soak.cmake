# Soak run through the exported functions (a plain program, not a benchmark): N
# preview frames and M open/release cycles, with resident memory, descriptors and
# threads before and after (Linux /proc).
if(NOT WIN32)
  find_package(X11 REQUIRED)
  add_executable(soak ${CMAKE_CURRENT_LIST_DIR}/soak.cpp)
  target_link_libraries(soak PRIVATE OrvixSdk_K62DT4 X11::X11)
  set_target_properties(soak PROPERTIES BUILD_RPATH "${CMAKE_BINARY_DIR}/bin")
endif()
