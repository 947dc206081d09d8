# The page scripts are injected byte for byte as they stand in bridge/: this file
# turns them into a generated header at build time, so the product carries exactly the
# bytes the page tests run.
#
# Included from the root CMakeLists.txt it defines the INTERFACE target nimo_page_scripts
# (link it to make the header available and generated first). Run with -P it is the
# generator itself: -DNIMO_SHIM=<js> -DNIMO_PROBE=<js> -DNIMO_FOCUS=<js> -DNIMO_LEASH=<js> -DNIMO_CALL=<js>
# -DNIMO_OUT=<header>.

function(nimo_embed_bytes out_var symbol file)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR length "${digits} / 2")
  # Sixteen bytes to a line, each as a character literal so every byte value survives.
  string(REPEAT "[0-9a-f]" 32 sixteen)
  string(REGEX REPLACE "(${sixteen})" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," hex "${hex}")
  string(REPLACE "\n" "\n    " hex "${hex}")
  get_filename_component(name "${file}" NAME)
  string(CONCAT text
    "// bridge/${name}: ${length} bytes, the terminator is not part of the script.\n"
    "inline constexpr char ${symbol}[] = {\n    ${hex}'\\0'};\n"
    "inline constexpr std::size_t ${symbol}Length = ${length};\n\n")
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  nimo_embed_bytes(shim kPageShim "${NIMO_SHIM}")
  nimo_embed_bytes(probe kRateProbe "${NIMO_PROBE}")
  nimo_embed_bytes(focus kFocusWatch "${NIMO_FOCUS}")
  nimo_embed_bytes(leash kProbeLeash "${NIMO_LEASH}")
  nimo_embed_bytes(call kPageCall "${NIMO_CALL}")
  string(CONCAT text
    "// Generated at build time from bridge/page_shim.js, bridge/rate_probe.js,\n"
    "// bridge/focus_watch.js, bridge/probe_leash.js and bridge/page_call.js by\n"
    "// cmake/page_scripts.cmake: edit those files, not this one.\n"
    "// Interface: the script texts with their exact lengths; constants, any thread.\n"
    "#pragma once\n#include <cstddef>\n\nnamespace nimo {\n\n"
    "${shim}" "${probe}" "${focus}" "${leash}" "${call}" "}  // namespace nimo\n")
  set(old "")
  if(EXISTS "${NIMO_OUT}")
    file(READ "${NIMO_OUT}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${NIMO_OUT}" "${text}")
  endif()
  return()
endif()

set(NIMO_PAGE_SCRIPTS_HEADER ${PROJECT_BINARY_DIR}/generated/bridge/page_scripts.h)
add_custom_command(
  OUTPUT ${NIMO_PAGE_SCRIPTS_HEADER}
  COMMAND ${CMAKE_COMMAND}
    -DNIMO_SHIM=${PROJECT_SOURCE_DIR}/bridge/page_shim.js
    -DNIMO_PROBE=${PROJECT_SOURCE_DIR}/bridge/rate_probe.js
    -DNIMO_FOCUS=${PROJECT_SOURCE_DIR}/bridge/focus_watch.js
    -DNIMO_LEASH=${PROJECT_SOURCE_DIR}/bridge/probe_leash.js
    -DNIMO_CALL=${PROJECT_SOURCE_DIR}/bridge/page_call.js
    -DNIMO_OUT=${NIMO_PAGE_SCRIPTS_HEADER}
    -P ${CMAKE_CURRENT_LIST_FILE}
  DEPENDS ${PROJECT_SOURCE_DIR}/bridge/page_shim.js ${PROJECT_SOURCE_DIR}/bridge/rate_probe.js
    ${PROJECT_SOURCE_DIR}/bridge/focus_watch.js ${PROJECT_SOURCE_DIR}/bridge/probe_leash.js
    ${PROJECT_SOURCE_DIR}/bridge/page_call.js
    ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Embedding the page scripts"
  VERBATIM)
# Part of every build, so the page tests can compare the header with the scripts.
add_custom_target(nimo_page_scripts_header ALL DEPENDS ${NIMO_PAGE_SCRIPTS_HEADER})
add_library(nimo_page_scripts INTERFACE)
add_dependencies(nimo_page_scripts nimo_page_scripts_header)
