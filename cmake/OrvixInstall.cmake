# Install rules and packages of the SDK.
#
#   cmake --install <build> --prefix <dir> [--component <c>]     the SDK as a tree
#   cmake --build <build> --target package                        a ZIP (Windows) or .deb (Linux)
#
# Components: Runtime (the library and the orvix tool), Development (header, import
# libraries and .def, pkg-config file, CMake package), Debug (Windows: the debug
# information of the stripped binaries), Documentation (the README).
#
# Windows tree:  bin/OrvixSdk_K62DT4.dll, bin/orvix.exe (both stripped)
#                include/OrvixSdk_K62DT4.h
#                lib/OrvixSdk_K62DT4.def, lib/libOrvixSdk_K62DT4.dll.a (MinGW),
#                lib/OrvixSdk_K62DT4.lib (MSVC), lib/cmake/OrvixSdk/
#                debug/OrvixSdk_K62DT4.dll.debug, debug/orvix.exe.debug
#                doc/README.md
# Linux tree:    lib/libOrvixSdk_K62DT4.so.<version> (SONAME .so.<major>), lib/pkgconfig/,
#                lib/cmake/OrvixSdk/, include/, bin/orvix, share/doc/OrvixSdk_K62DT4/ (with
#                udev/70-orvix-k62dt4.rules)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ORVIX_LIBRARY_NAME OrvixSdk_K62DT4)
if(WIN32)
  set(ORVIX_INSTALL_DOCDIR doc)
  set(ORVIX_INSTALL_DEBUGDIR debug)
  set(ORVIX_RUNTIME_DIR ${CMAKE_INSTALL_BINDIR})
  set(ORVIX_RUNTIME_FILE ${ORVIX_LIBRARY_NAME}.dll)
  set(ORVIX_SONAME "")
else()
  set(ORVIX_INSTALL_DOCDIR ${CMAKE_INSTALL_DOCDIR})
  set(ORVIX_RUNTIME_DIR ${CMAKE_INSTALL_LIBDIR})
  set(ORVIX_RUNTIME_FILE lib${ORVIX_LIBRARY_NAME}.so.${PROJECT_VERSION})
  set(ORVIX_SONAME lib${ORVIX_LIBRARY_NAME}.so.${PROJECT_VERSION_MAJOR})
endif()

install(FILES ${PROJECT_SOURCE_DIR}/include/OrvixSdk_K62DT4.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${ORVIX_INSTALL_DOCDIR} COMPONENT Documentation)

if(WIN32)
  # The shipped binaries are stripped copies that name their debug file
  # (.gnu_debuglink); the build tree keeps the unstripped ones for the tests. The
  # MSVC import library is made from the same .def as the MinGW one.
  set(stage ${CMAKE_BINARY_DIR}/sdk)
  set(shipped "")
  foreach(entry IN ITEMS "OrvixSdk_K62DT4|${ORVIX_RUNTIME_FILE}" "orvix|orvix${CMAKE_EXECUTABLE_SUFFIX}")
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 target)
    list(GET entry 1 file_name)
    add_custom_command(
      OUTPUT ${stage}/bin/${file_name} ${stage}/debug/${file_name}.debug
      COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/bin ${stage}/debug
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> ${stage}/debug/${file_name}.debug
      COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${stage}/debug/${file_name}.debug
              $<TARGET_FILE:${target}> ${stage}/bin/${file_name}
      DEPENDS ${target}
      COMMENT "Stripping ${file_name} (debug information in ${file_name}.debug)" VERBATIM)
    list(APPEND shipped ${stage}/bin/${file_name} ${stage}/debug/${file_name}.debug)
    install(FILES ${stage}/bin/${file_name} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
    install(FILES ${stage}/debug/${file_name}.debug DESTINATION ${ORVIX_INSTALL_DEBUGDIR} COMPONENT Debug)
  endforeach()

  find_program(ORVIX_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 llvm-dlltool-15 llvm-dlltool-16)
  if(ORVIX_LLVM_DLLTOOL)
    # Writes the short import format of the Microsoft tools.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(dlltool ${ORVIX_LLVM_DLLTOOL} -m i386)
    else()
      set(dlltool ${ORVIX_LLVM_DLLTOOL} -m i386:x86-64)
    endif()
  else()
    message(STATUS "llvm-dlltool not found: the MSVC import library is made with ${ORVIX_MINGW_TRIPLE}-dlltool")
    set(dlltool ${ORVIX_MINGW_TRIPLE}-dlltool)
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # The .def names carry their stdcall decoration (Name@bytes), as callers compiled
    # with the header refer to them; the DLL is imported by the undecorated names.
    list(APPEND dlltool -k)
  endif()
  add_custom_command(
    OUTPUT ${stage}/lib/${ORVIX_LIBRARY_NAME}.lib
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/lib
    COMMAND ${dlltool} -d ${ORVIX_EXPORTS_DEF} -D ${ORVIX_RUNTIME_FILE} -l ${stage}/lib/${ORVIX_LIBRARY_NAME}.lib
    DEPENDS ${ORVIX_EXPORTS_DEF} orvix_exports
    COMMENT "Writing the MSVC import library" VERBATIM)
  list(APPEND shipped ${stage}/lib/${ORVIX_LIBRARY_NAME}.lib)
  add_custom_target(orvix_sdk_files ALL DEPENDS ${shipped})

  install(FILES ${ORVIX_EXPORTS_DEF} $<TARGET_LINKER_FILE:OrvixSdk_K62DT4> ${stage}/lib/${ORVIX_LIBRARY_NAME}.lib
          DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
else()
  install(TARGETS OrvixSdk_K62DT4
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development)
  # The installed tool finds the library beside its own prefix, wherever it is installed.
  set_target_properties(orvix PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS orvix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
  # The udev rule for USB cameras, to be completed with the camera's ids (orvix usb-rule).
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/udev/70-orvix-k62dt4.rules
          DESTINATION ${ORVIX_INSTALL_DOCDIR}/udev COMPONENT Runtime)

  # pkg-config file, relocatable: its paths are taken from where it lies.
  file(RELATIVE_PATH pc_to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" ORVIX_PC_TO_PREFIX "${pc_to_prefix}")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/OrvixSdk_K62DT4.pc.in
                 ${CMAKE_BINARY_DIR}/packaging/OrvixSdk_K62DT4.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/OrvixSdk_K62DT4.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
endif()

# CMake package: find_package(OrvixSdk) gives the imported target OrvixSdk::OrvixSdk_K62DT4.
set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/OrvixSdk)
configure_package_config_file(${PROJECT_SOURCE_DIR}/packaging/OrvixSdkConfig.cmake.in
  ${CMAKE_BINARY_DIR}/packaging/OrvixSdkConfig.cmake
  INSTALL_DESTINATION ${config_dir}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_BINDIR ORVIX_RUNTIME_DIR)
# A 32-bit application does not take the 64-bit package, nor the other way round.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/OrvixSdkConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/packaging/OrvixSdkConfig.cmake ${CMAKE_BINARY_DIR}/packaging/OrvixSdkConfigVersion.cmake
        DESTINATION ${config_dir} COMPONENT Development)

# Packages. Windows: OrvixSdk_K62DT4-<version>-win32.zip or -win64.zip holding the tree
# above in one top folder. Linux: orvixsdk-k62dt4_<version>_amd64.deb, installing to /usr.
set(CPACK_PACKAGE_NAME ${ORVIX_LIBRARY_NAME})
set(CPACK_PACKAGE_VENDOR Quelm)
set(CPACK_PACKAGE_CONTACT "Quelm K62DT4 SDK team")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "C interface library and tool for K62DT4 USB industrial cameras")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES OFF) # Windows binaries are stripped above; the .deb strips its own
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
  set(CPACK_PACKAGE_FILE_NAME ${ORVIX_LIBRARY_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_NAME orvixsdk-k62dt4)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
