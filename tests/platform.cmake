# The platform stand-in: its own unit tests, the real program end to end
# through the capture driver, and the sdl driver in a private X server.

find_package(PNG REQUIRED)

add_executable(test_platform
  ${CMAKE_CURRENT_LIST_DIR}/test_platform_settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_platform_windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_platform_display.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_platform_scale.cpp)
target_link_libraries(test_platform PRIVATE flyover_platform flyover_convert PNG::PNG GTest::gtest_main)
gtest_discover_tests(test_platform PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)

# --- End to end: the program itself -------------------------------------------

find_package(PkgConfig REQUIRED)
pkg_check_modules(WEBPDEMUX REQUIRED IMPORTED_TARGET libwebpdemux)
add_executable(expected_frames ${CMAKE_CURRENT_LIST_DIR}/e2e/expected_frames.cpp)
target_link_libraries(expected_frames PRIVATE flyover_runtime flyover_convert PNG::PNG PkgConfig::WEBPDEMUX)

set(flyover_capture ${CMAKE_CURRENT_LIST_DIR}/e2e/capture.sh $<TARGET_FILE:flyover> $<TARGET_FILE:expected_frames>
    $<TARGET_FILE:mkmaps>)

# Every screen format the display can report, as asked for.
foreach(format xrgb8888 xbgr8888 rgb888 bgr888 rgb565 bgr565 rgb555 bgr555)
  add_test(NAME e2e_capture_${format} COMMAND ${flyover_capture} frames ${format} - ${format} 4)
endforeach()
# Depths the display refuses: the program steps down to 16, where a mode at a
# depth other than FLYOVER_FORMAT's shows that depth's usual format; and the
# deepest accepted depth wins whatever the order the display lists them in.
# The step-down and the mode-to-format mapping are unit-tested as well.
add_test(NAME e2e_capture_fallback_usual_16 COMMAND ${flyover_capture} frames xbgr8888 16,8 rgb565 3)
add_test(NAME e2e_capture_first_depth_wins COMMAND ${flyover_capture} frames rgb555 16,24,32 xrgb8888 3)
# Past the wrap of the camera (frame 102 is the first at 50000).
add_test(NAME e2e_capture_long_run COMMAND ${flyover_capture} frames rgb565 - rgb565 105)
# Frame 8 differs from frame 7 (frames 2k and 2k+1 show the same rows).
add_test(NAME e2e_capture_png COMMAND ${flyover_capture} png 8)
# Every frame in one animation, in the 32-bit format and in a 16-bit one
# whose channels are widened back; 9 frames, so that pairs of equal frames
# that the encoder merges and a last one of its own are all in it.
add_test(NAME e2e_capture_webp_xrgb8888 COMMAND ${flyover_capture} webp 9 xrgb8888)
add_test(NAME e2e_capture_webp_rgb565 COMMAND ${flyover_capture} webp 9 rgb565)
# The raw stream recorded with ffmpeg, as the README shows; ffmpeg is the
# host's, so not in a cross build.
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME e2e_capture_video COMMAND ${flyover_capture} video 60)
endif()

# Output that cannot be written, map files as the capture path, starts that
# fail, signals and standard error closed; then a full file system, which
# needs a tmpfs of its own (skipped where mounting is not permitted). The
# harness is the host's Python; a cross build's programs run under the
# emulator it is handed below.
set(flyover_capture_failures /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/e2e/capture_failures.py
    $<TARGET_FILE:flyover> $<TARGET_FILE:mkmaps>)
add_test(NAME e2e_capture_failures COMMAND ${flyover_capture_failures} files)
add_test(NAME e2e_capture_full_disk COMMAND ${flyover_capture_failures} full)
add_test(NAME e2e_capture_streams COMMAND ${flyover_capture_failures} streams)
if(FLYOVER_SDL)
  add_test(NAME e2e_capture_starts COMMAND ${flyover_capture_failures} starts sdl)
else()
  add_test(NAME e2e_capture_starts COMMAND ${flyover_capture_failures} starts)
endif()
set_tests_properties(e2e_capture_full_disk PROPERTIES SKIP_RETURN_CODE 77)

get_property(flyover_e2e_tests DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} PROPERTY TESTS)
list(FILTER flyover_e2e_tests INCLUDE REGEX "^e2e_capture_")
set_tests_properties(${flyover_e2e_tests} PROPERTIES LABELS e2e TIMEOUT 120)
if(CMAKE_CROSSCOMPILING_EMULATOR)
  # The script runs the programs itself, so it is handed the emulator that
  # CTest would put in front of them. The failure harness, some fifty runs,
  # took a minute under qemu on a busy machine: room for twice that load.
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " flyover_emulator)
  set_tests_properties(${flyover_e2e_tests} PROPERTIES ENVIRONMENT "FLYOVER_EMULATOR=${flyover_emulator}" TIMEOUT 300)
endif()

# --- The sdl driver in a private X server ----------------------------------------

# Not in a cross build: under qemu-user the program's SDL start-up on X11
# does not finish, so there the sdl driver is built and linked, not run.
if(FLYOVER_SDL AND NOT CMAKE_CROSSCOMPILING)
  set(flyover_xvfb /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/e2e/sdl_xvfb.py $<TARGET_FILE:flyover>
      $<TARGET_FILE:mkmaps>)
  # Each check over every way to the window; the stderr check fails before any.
  add_test(NAME xvfb_sdl_stderr_closed COMMAND ${flyover_xvfb} stderr-closed rgb444)
  set(flyover_xvfb_tests xvfb_sdl_stderr_closed)
  foreach(present surface renderer xrender)
    add_test(NAME xvfb_sdl_escape_${present} COMMAND ${flyover_xvfb} escape xrgb8888 ${present})
    add_test(NAME xvfb_sdl_escape_rgb565_${present} COMMAND ${flyover_xvfb} escape rgb565 ${present})
    # A screen smaller than the picture: every way scales it down into the same place.
    add_test(NAME xvfb_sdl_small_${present} COMMAND ${flyover_xvfb} small xrgb8888 ${present})
    add_test(NAME xvfb_sdl_close_${present} COMMAND ${flyover_xvfb} close xrgb8888 ${present})
    add_test(NAME xvfb_sdl_alt_f4_${present} COMMAND ${flyover_xvfb} alt-f4 bgr555 ${present})
    # Losing the display server; on Wayland the surface falls back to the renderer.
    add_test(NAME xvfb_sdl_lost_x_${present} COMMAND ${flyover_xvfb} lost-x xrgb8888 ${present})
    add_test(NAME xvfb_sdl_wayland_${present} COMMAND ${flyover_xvfb} wayland xrgb8888 ${present})
    foreach(how escape escape_rgb565 small close alt_f4 lost_x wayland)
      list(APPEND flyover_xvfb_tests xvfb_sdl_${how}_${present})
    endforeach()
  endforeach()
  # The server's scaling without shared memory (a remote display's case),
  # and the surface in its place where the server has no RENDER.
  add_test(NAME xvfb_sdl_no_shm_xrender COMMAND ${flyover_xvfb} no-shm xrgb8888 xrender)
  add_test(NAME xvfb_sdl_no_render COMMAND ${flyover_xvfb} no-render xrgb8888 auto)
  list(APPEND flyover_xvfb_tests xvfb_sdl_no_shm_xrender xvfb_sdl_no_render)
  set_tests_properties(${flyover_xvfb_tests} PROPERTIES LABELS xvfb TIMEOUT 120)
  if(FLYOVER_SANITIZE)
    # The system's D-Bus and Mesa libraries that SDL loads keep a few blocks
    # until exit; the stand-in's own memory is checked by the unit tests.
    set_tests_properties(${flyover_xvfb_tests} PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
  endif()
endif()
