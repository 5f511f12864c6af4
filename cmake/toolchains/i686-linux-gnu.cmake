# Linux on i686 (i686-linux-gnu), run under qemu-i386.
set(TRIPLE i686-linux-gnu)
set(PROCESSOR i686)
set(QEMU qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
