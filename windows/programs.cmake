# The version in the four parts that Windows' version resources and installers take (1.0 is
# 1.0.0.0: the parts a short version leaves out are 0).
set(LANSCOUT_VERSION_PARTS ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH}
    ${PROJECT_VERSION_TWEAK} 0 0 0 0)
list(SUBLIST LANSCOUT_VERSION_PARTS 0 4 LANSCOUT_VERSION_PARTS)

# lanscout_windows_program(TARGET DESCRIPTION text)
#   Makes TARGET one of the programs that go to Windows users: its icon and version resource,
#   stripped in release builds, built into the top of the build folder, and packed into the
#   portable zip and the installer (windows/CMakeLists.txt), with an inbound firewall rule of
#   its own. Adding a program to the Windows packages is this one call. Does nothing
#   elsewhere than on Windows.
function(lanscout_windows_program target)
  cmake_parse_arguments(P "" "DESCRIPTION" "" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  set(LANSCOUT_RC_NAME ${target})
  set(LANSCOUT_RC_DESCRIPTION ${P_DESCRIPTION})
  set(LANSCOUT_RC_ICON ${PROJECT_SOURCE_DIR}/resources/lanScout.ico)
  string(REPLACE ";" "," LANSCOUT_RC_VERSION_COMMAS "${LANSCOUT_VERSION_PARTS}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/resources/windows-program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  target_link_options(${target} PRIVATE $<$<CONFIG:Release>:-s>)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
  set_property(GLOBAL APPEND PROPERTY LANSCOUT_WINDOWS_PROGRAMS ${target})
endfunction()
