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
  set(version ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} ${PROJECT_VERSION_TWEAK})
  list(APPEND version 0 0 0 0) # the parts a short version leaves out
  list(SUBLIST version 0 4 version)
  string(REPLACE ";" "," LANSCOUT_RC_VERSION_COMMAS "${version}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/resources/windows-program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  target_link_options(${target} PRIVATE $<$<CONFIG:Release>:-s>)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
  set_property(GLOBAL APPEND PROPERTY LANSCOUT_WINDOWS_PROGRAMS ${target})
endfunction()
