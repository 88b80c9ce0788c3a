# Installs the build into an empty prefix and checks what a desktop and a
# user find there: the program, a valid desktop entry named after the
# AppStream component that starts it, its icon at every size of the theme,
# AppStream metadata with a content rating that validates without network
# access, a manual page that renders without warnings and describes every
# option the program's --help lists, the settings and the entry that list it
# as a screensaver, and the licence; and that the install manifest removes
# all of it.
#
#   cmake -DBUILD_DIR=<build> -DPREFIX=<empty folder> -DBINDIR=<program's folder under the prefix>
#         -P check-install.cmake

cmake_minimum_required(VERSION 3.25)

if(NOT BUILD_DIR OR NOT PREFIX OR NOT BINDIR)
  message(FATAL_ERROR "BUILD_DIR, PREFIX and BINDIR must be set")
endif()

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

# The metadata must validate and name the desktop entry after its own id,
# which is how software centres find the entry.  Its OARS rating, which
# software centres show as the ages a program suits, finds nothing to rate.
set(metainfo "${PREFIX}/share/metainfo/io.github.rain.Rain.metainfo.xml")
run_checked(appstreamcli validate --no-net "${metainfo}")
file(READ "${metainfo}" metadata)
string(REGEX MATCH "<id>([^<]+)</id>" id "${metadata}")
set(id "${CMAKE_MATCH_1}")
string(REGEX MATCH "<launchable type=\"desktop-id\">([^<]+)</launchable>" launchable "${metadata}")
if(NOT id OR NOT CMAKE_MATCH_1 STREQUAL "${id}.desktop")
  message(FATAL_ERROR "the metadata's desktop entry is not named after its id '${id}'")
endif()
string(REGEX MATCH "<content_rating type=\"oars-1\\.1\"(/>|>.*</content_rating>)" rating "${metadata}")
string(REGEX MATCHALL "<content_attribute id=\"[a-z-]+\">[a-z]+<" ratings "${rating}")
list(FILTER ratings EXCLUDE REGEX ">none<$")
if(NOT rating OR ratings)
  message(FATAL_ERROR "the metadata lacks an OARS 1.1 rating of none for everything: '${rating}'")
endif()

# The desktop entry must validate and start the program that was installed.
set(entry "${PREFIX}/share/applications/${id}.desktop")
require_file(share/applications/${id}.desktop)
run_checked(desktop-file-validate "${entry}")
file(STRINGS "${entry}" exec REGEX "^Exec=")
file(STRINGS "${entry}" icon REGEX "^Icon=")
string(REGEX REPLACE "^Exec=" "" exec "${exec}")
string(REGEX REPLACE "^Icon=" "" icon "${icon}")
require_file(${BINDIR}/${exec})

# The screensaver entry must validate and run the command on the
# screensaver's window.  It stays out of application menus by its one
# category, reserved for screensavers and so limited to the desktops whose
# screensavers read it, and must not set NoDisplay, which would hide it from
# mate-screensaver's list as well.
set(saver "share/applications/screensavers/${exec}.desktop")
require_file(${saver})
run_checked(desktop-file-validate "${PREFIX}/${saver}")
file(READ "${PREFIX}/${saver}" entry)
if(NOT entry MATCHES "\nExec=${exec} --root\n" OR NOT entry MATCHES "\nCategories=Screensaver;\n"
   OR NOT entry MATCHES "\nOnlyShowIn=[^\n]*MATE;" OR NOT entry MATCHES "\nOnlyShowIn=[^\n]*XFCE;"
   OR entry MATCHES "\nNoDisplay=true")
  message(FATAL_ERROR "${saver} must run '${exec} --root', be a Screensaver alone, shown in MATE and XFCE, "
                      "and not set NoDisplay")
endif()

# The licence, as the installed copy of the source's.
set(licence "${PREFIX}/share/doc/${exec}/LICENSE")
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${licence}" "${CMAKE_CURRENT_LIST_DIR}/../../LICENSE"
                RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "${licence} is not the source's LICENSE")
endif()

# The command's manual page, in the games section, must render as that
# command's page, and without a single warning on groff's default device
# (the terminal devices let some faults pass).
set(manual "${PREFIX}/share/man/man6/${exec}.6")
require_file(share/man/man6/${exec}.6)
execute_process(COMMAND groff -man -ww -z "${manual}" RESULT_VARIABLE status ERROR_VARIABLE warnings)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "groff warns about ${manual} (${status}):\n${warnings}")
endif()
execute_process(COMMAND groff -man -Tutf8 "${manual}" RESULT_VARIABLE status OUTPUT_VARIABLE page)
string(TOUPPER "${exec}(6)" header)
string(FIND "${page}" "${header}" headerAt)
if(NOT status EQUAL 0 OR NOT headerAt EQUAL 0)
  message(FATAL_ERROR "${manual} does not render as the manual page ${header}")
endif()

# The screensaver settings name the installed command and run it on the
# window xscreensaver gives it.
set(settings "share/xscreensaver/config/${exec}.xml")
require_file(${settings})
file(READ "${PREFIX}/${settings}" settings)
if(NOT settings MATCHES "<screensaver name=\"${exec}\"" OR NOT settings MATCHES "<command arg=\"--root\"/>")
  message(FATAL_ERROR "${settings} does not run ${exec} --root")
endif()

# The theme's icon by the entry's name, at each size, as a PNG of that size:
# the signature, the IHDR chunk's length and name, then width and height as
# big-endian words.
set(sizes 16 24 32 48 64 128 256)
set(words 00000010 00000018 00000020 00000030 00000040 00000080 00000100)
foreach(size word IN ZIP_LISTS sizes words)
  set(png "share/icons/hicolor/${size}x${size}/apps/${icon}.png")
  require_file(${png})
  file(READ "${PREFIX}/${png}" header LIMIT 24 HEX)
  if(NOT header STREQUAL "89504e470d0a1a0a0000000d49484452${word}${word}")
    message(FATAL_ERROR "${png} is not a ${size} x ${size} PNG")
  endif()
endforeach()

# Every option the installed program's --help lists (on a line of its own,
# indented by two spaces) is described in the manual page, as a tagged
# paragraph.  Rendered without hyphenation on long lines, no option is split.
execute_process(COMMAND "${PREFIX}/${BINDIR}/${exec}" --help RESULT_VARIABLE status OUTPUT_VARIABLE help)
string(REGEX MATCHALL "\n  --[a-z][a-z-]*" listed "\n${help}")
if(NOT status EQUAL 0 OR NOT listed)
  message(FATAL_ERROR "${exec} --help (${status}) lists no options:\n${help}")
endif()
execute_process(COMMAND groff -man -Tascii -P-cbu -rLL=1000n -rHY=0 "${manual}" OUTPUT_VARIABLE page)
foreach(option IN LISTS listed)
  string(REPLACE "\n  " "\n       " tag "${option}")
  if(NOT page MATCHES "${tag}( |\n)")
    string(STRIP "${option}" option)
    message(FATAL_ERROR "${manual} does not describe ${option}, which ${exec} --help lists")
  endif()
endforeach()

# What the manifest lists is all that was installed: removing it, as the
# README tells users to, leaves no file behind.
file(REMOVE ${installed})
file(GLOB_RECURSE left LIST_DIRECTORIES false "${PREFIX}/*")
if(left)
  string(JOIN "\n" left ${left})
  message(FATAL_ERROR "removing what install_manifest.txt lists leaves\n${left}")
endif()

message(STATUS "Installed and valid under ${PREFIX}")
