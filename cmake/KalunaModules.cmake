# Source collection shared by the folders.
#
# A subsystem folder holds its portable code at the top, the code that needs
# Windows in win32/ and the native stand-ins of the platform seam in posix/.
# Files are picked up by globbing, so adding a source file needs no CMake edit.

# kal_sources(OUT DIR): portable sources of DIR, plus the platform ones.
function(kal_sources out dir)
  file(GLOB portable CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(WIN32)
    file(GLOB platform CONFIGURE_DEPENDS ${dir}/win32/*.cpp)
  else()
    file(GLOB platform CONFIGURE_DEPENDS ${dir}/posix/*.cpp)
  endif()
  set(${out} ${portable} ${platform} PARENT_SCOPE)
endfunction()

# kal_windows_program(TARGET SOURCES...): a 32-bit GUI program that must import
# only Windows system DLLs.
function(kal_windows_program target)
  add_executable(${target} WIN32 ${ARGN})
  target_link_options(${target} PRIVATE -mwindows -static)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endfunction()
