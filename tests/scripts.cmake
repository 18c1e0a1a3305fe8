# The build scripts' shared command line (scripts/lib.sh): help, refusals and
# what each option sets, all before any package or build work.
add_test(NAME scripts_options COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/scripts/options.sh ${PROJECT_SOURCE_DIR})
set_tests_properties(scripts_options PROPERTIES LABELS unit TIMEOUT 60)
