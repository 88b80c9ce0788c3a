# Tests of the real program, each in an X server of its own (Xvfb, and openbox
# where a window manager matters), and of its installation.  They need the
# program and its build without the picture resource.
if(NOT TARGET rain OR NOT TARGET rain-nopicture)
  message(STATUS "The window tests wait for the rain and rain-nopicture targets")
  return()
endif()

find_package(X11 REQUIRED)
if(NOT X11_Xtst_FOUND)
  message(FATAL_ERROR "The window tests need the XTest library (libxtst-dev)")
endif()

add_executable(rain_window_test window_test.cpp x_session.cpp)
target_link_libraries(rain_window_test PRIVATE rain_platform_imagefile X11::X11 X11::Xtst GTest::gtest_main)
target_compile_definitions(rain_window_test PRIVATE
  RAIN_PROGRAM="$<TARGET_FILE:rain>"
  RAIN_PROGRAM_WITHOUT_PICTURE="$<TARGET_FILE:rain-nopicture>"
  RAIN_PICTURE_BMP="${PROJECT_SOURCE_DIR}/resources/princess.bmp"
  RAIN_DESKTOP_ENTRY="${PROJECT_SOURCE_DIR}/resources/desktop/rain.desktop")
add_dependencies(rain_window_test rain rain-nopicture)
gtest_discover_tests(rain_window_test PROPERTIES LABELS window TIMEOUT 120)

add_test(NAME DesktopInstall.InstallsValidEntryIconsAndMetadata
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                 -DPREFIX=${CMAKE_CURRENT_BINARY_DIR}/install-check
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/check-install.cmake)
set_tests_properties(DesktopInstall.InstallsValidEntryIconsAndMetadata PROPERTIES LABELS install TIMEOUT 120)
