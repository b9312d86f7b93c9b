# Windows shows a version as four numbers; the missing ones of the project version are 0.
string(REGEX MATCH "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+" PARLET_VERSION4 "${PROJECT_VERSION}.0.0.0")

# parlet_version_resource(TARGET DESCRIPTION [ICON file.ico]) gives a Windows program a version
# resource from the project version, and an icon. A resource file of its own per program, so that
# other resources (such as the application manifest) stay in theirs.
function(parlet_version_resource target description)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "ICON" "")
  set(PARLET_RC_NAME ${target})
  set(PARLET_RC_DESCRIPTION ${description})
  string(REPLACE "." "," PARLET_RC_VERSION ${PARLET_VERSION4})
  # Explorer and the taskbar show the first icon of a program; Qt's Windows platform gives the
  # name IDI_ICON1 to windows that set no icon of their own.
  set(PARLET_RC_ICON "")
  if(arg_ICON)
    set(PARLET_RC_ICON "IDI_ICON1 ICON \"${arg_ICON}\"")
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
