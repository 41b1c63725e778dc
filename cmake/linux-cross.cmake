# What the Linux cross toolchain files share (arm-linux-gnueabi.cmake,
# arm-linux-gnueabihf.cmake, aarch64-linux-gnu.cmake): each sets
# CMAKE_SYSTEM_PROCESSOR, QBG_LINUX_TRIPLET (Debian's cross compilers and
# target root), QBG_TARGET_FLAGS and QBG_QEMU (the user-mode emulator and its
# CPU option), then includes this file.
if(NOT QBG_LINUX_TRIPLET OR NOT QBG_QEMU)
  message(FATAL_ERROR "use one of the Linux cross toolchain files in cmake/")
endif()
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${QBG_LINUX_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${QBG_LINUX_TRIPLET}-g++)
set(CMAKE_C_FLAGS_INIT "${QBG_TARGET_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${QBG_TARGET_FLAGS}")

set(CMAKE_FIND_ROOT_PATH /usr/${QBG_LINUX_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Target programs (tests included) run under user-mode qemu; -L finds the
# target's loader and libc.
set(CMAKE_CROSSCOMPILING_EMULATOR ${QBG_QEMU} -L /usr/${QBG_LINUX_TRIPLET})
