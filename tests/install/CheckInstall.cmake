# cmake -DBUILD_DIR=DIR -DPREFIX=DIR -P CheckInstall.cmake
# Installs the build into a scratch prefix and checks what a desktop needs is there.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${output}")
endif()
set(expected bin/tarnwick share/applications/com.merrowfield4.tarnwick.desktop)
foreach(size 16 22 24 32 48 64 128 256 512)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/com.merrowfield4.tarnwick.png)
endforeach()
foreach(file ${expected})
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
# The installed program runs: without a display it says so and ends with status 1.
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
    ${PREFIX}/bin/tarnwick
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output TIMEOUT 60)
if(NOT status EQUAL 1 OR NOT output MATCHES "needs a graphical session")
  message(FATAL_ERROR "bin/tarnwick without a display: status ${status}, output:\n${output}")
endif()
# Nothing but these files goes in.
file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT installed)
list(SORT expected)
if(NOT installed STREQUAL expected)
  message(FATAL_ERROR "installed files differ:\n  got ${installed}\n  expected ${expected}")
endif()
# Each icon is a PNG of its size (width and height in the IHDR chunk).
foreach(size 16 22 24 32 48 64 128 256 512)
  file(READ ${PREFIX}/share/icons/hicolor/${size}x${size}/apps/com.merrowfield4.tarnwick.png header
    LIMIT 24 HEX)
  string(SUBSTRING "${header}" 0 16 signature)
  string(SUBSTRING "${header}" 32 8 width)
  string(SUBSTRING "${header}" 40 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT width EQUAL size OR NOT height EQUAL size)
    message(FATAL_ERROR "${size}x${size} icon is not a ${size}-pixel PNG (${signature}, ${width}x${height})")
  endif()
endforeach()
