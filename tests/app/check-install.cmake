# Installs the build into an empty prefix and checks what a desktop finds
# there: the program, a valid desktop entry that starts it, its icon at both
# sizes and AppStream metadata that validates without network access.
#
#   cmake -DBUILD_DIR=<build> -DPREFIX=<empty folder> -P check-install.cmake

foreach(variable IN ITEMS BUILD_DIR PREFIX)
  if(NOT ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

function(run_checked)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    string(JOIN " " command ${ARGN})
    message(FATAL_ERROR "${command} failed (${status}):\n${output}")
  endif()
endfunction()

function(require_file path)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "${path} was not installed")
  endif()
endfunction()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
find_program(APPSTREAMCLI appstreamcli)
if(NOT DESKTOP_FILE_VALIDATE OR NOT APPSTREAMCLI)
  message(FATAL_ERROR "desktop-file-validate (desktop-file-utils) and appstreamcli (appstream) are needed")
endif()

file(REMOVE_RECURSE "${PREFIX}")
run_checked(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}")

# A destination written as an absolute path would escape the prefix.
file(STRINGS "${BUILD_DIR}/install_manifest.txt" installed)
foreach(path IN LISTS installed)
  cmake_path(IS_PREFIX PREFIX "${path}" NORMALIZE inside)
  if(NOT inside)
    message(FATAL_ERROR "${path} was installed outside the prefix ${PREFIX}")
  endif()
endforeach()

# The desktop entry must validate and start the program that was installed.
set(entry "${PREFIX}/share/applications/rain.desktop")
require_file(share/applications/rain.desktop)
run_checked(${DESKTOP_FILE_VALIDATE} "${entry}")
file(STRINGS "${entry}" exec REGEX "^Exec=")
file(STRINGS "${entry}" icon REGEX "^Icon=")
string(REGEX REPLACE "^Exec=" "" exec "${exec}")
string(REGEX REPLACE "^Icon=" "" icon "${icon}")
require_file(bin/${exec})

# The theme's icon by the entry's name, at each size, as a PNG of that size:
# width and height are the big-endian words at bytes 16 and 20 of the header.
foreach(size IN ITEMS 32 128)
  set(png "share/icons/hicolor/${size}x${size}/apps/${icon}.png")
  require_file(${png})
  file(READ "${PREFIX}/${png}" header LIMIT 24 HEX)
  string(SUBSTRING "${header}" 0 16 signature)
  string(SUBSTRING "${header}" 32 16 dimensions)
  math(EXPR hex_size "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(REGEX REPLACE "^0x" "" hex_size "${hex_size}")
  string(LENGTH "${hex_size}" digits)
  math(EXPR padding "8 - ${digits}")
  string(REPEAT "0" ${padding} zeros)
  if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT dimensions STREQUAL "${zeros}${hex_size}${zeros}${hex_size}")
    message(FATAL_ERROR "${png} is not a ${size} x ${size} PNG")
  endif()
endforeach()

# The metadata must validate and name the installed desktop entry.
set(metainfo "${PREFIX}/share/metainfo/io.github.rain.Rain.metainfo.xml")
require_file(share/metainfo/io.github.rain.Rain.metainfo.xml)
run_checked(${APPSTREAMCLI} validate --no-net "${metainfo}")
file(READ "${metainfo}" metadata)
string(REGEX MATCH "<launchable type=\"desktop-id\">([^<]+)</launchable>" launchable "${metadata}")
if(NOT launchable)
  message(FATAL_ERROR "the metadata names no desktop entry")
endif()
require_file(share/applications/${CMAKE_MATCH_1})

message(STATUS "Installed and valid under ${PREFIX}")
