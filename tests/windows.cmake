# framehash on this build, from the default maps: the renderer's fade must
# equal long double evaluated at 64-bit x87 precision for every row and
# channel, and its fast frame path the literal loop for the first 120 frames.
# The same program, cross-built, is what the Windows builds are compared with
# under Wine (scripts/windows.sh, which runs apart from CTest).
set(framehash_dir ${CMAKE_CURRENT_BINARY_DIR}/framehash)
file(MAKE_DIRECTORY ${framehash_dir})
add_test(NAME framehash_maps COMMAND mkmaps --force ${framehash_dir})
set_tests_properties(framehash_maps PROPERTIES FIXTURES_SETUP framehash_maps LABELS unit)
add_test(NAME framehash COMMAND framehash 120 WORKING_DIRECTORY ${framehash_dir})
set_tests_properties(framehash PROPERTIES FIXTURES_REQUIRED framehash_maps LABELS unit)
