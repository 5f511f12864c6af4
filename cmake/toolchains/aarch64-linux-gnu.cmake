# Linux on aarch64 (aarch64-linux-gnu), run under qemu-aarch64.
set(TRIPLE aarch64-linux-gnu)
set(PROCESSOR aarch64)
set(QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
