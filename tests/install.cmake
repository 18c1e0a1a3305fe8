# The installed copy run from an empty folder, as the README says to fly it.
# Not in a cross build, whose programs would need the emulator once installed.
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME e2e_install COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/install.sh ${CMAKE_COMMAND} ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_install PROPERTIES LABELS e2e TIMEOUT 120)
endif()
