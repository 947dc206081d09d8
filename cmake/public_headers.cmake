# The public headers as a program sees them: client/nimo_host.h and every header of this
# repository it includes, directly or not, copied below one folder with their includes
# rewritten to "nimo/...". The copies are what cmake --install puts under include/nimo,
# and what a parent project that adds this repository as a subdirectory compiles against,
# so both ways of linking see the same files and the repository's own folder names
# (client/, protocol/) never reach a program's include path.
#
# Where a header goes: client/X -> X, any other path as it is (protocol/wire.h ->
# protocol/wire.h). Runs at configure time; an edit of any of the headers configures again.

function(nimo_stage_public_headers root out_dir)
  set(queue ${root})
  set(found "")
  while(queue)
    list(POP_FRONT queue header)
    if(header IN_LIST found)
      continue()
    endif()
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${header})
      message(FATAL_ERROR "public header ${header} (included by a public header) does not exist")
    endif()
    list(APPEND found ${header})
    file(STRINGS ${PROJECT_SOURCE_DIR}/${header} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      if(line MATCHES "\"([^\"]+)\"")
        list(APPEND queue ${CMAKE_MATCH_1})
      endif()
    endforeach()
  endwhile()

  set(staged "")
  foreach(header IN LISTS found)
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${header})
    file(READ ${PROJECT_SOURCE_DIR}/${header} text)
    foreach(other IN LISTS found)
      string(REGEX REPLACE "^client/" "" target ${other})
      string(REGEX REPLACE "(#[ \t]*include[ \t]*)\"${other}\"" "\\1\"nimo/${target}\"" text "${text}")
    endforeach()
    # Anything left would be looked for in the program's own folders.
    string(REGEX MATCHALL "#[ \t]*include[ \t]*\"[^\"]*\"" left "${text}")
    foreach(include IN LISTS left)
      if(NOT include MATCHES "\"nimo/")
        message(FATAL_ERROR "${header}: ${include} cannot be installed")
      endif()
    endforeach()
    string(REGEX REPLACE "^client/" "" target ${header})
    set(old "")
    if(EXISTS ${out_dir}/${target})
      file(READ ${out_dir}/${target} old)
    endif()
    if(NOT old STREQUAL text)
      file(WRITE ${out_dir}/${target} "${text}")
    endif()
    list(APPEND staged ${target})
  endforeach()
  # For the install rules (cmake/install.cmake): exactly these files, none left from before.
  set_property(GLOBAL PROPERTY NIMO_PUBLIC_HEADERS ${staged})
  set_property(GLOBAL PROPERTY NIMO_PUBLIC_HEADER_DIR ${out_dir})
endfunction()
