# Linux on s390x (s390x-linux-gnu), run under qemu-s390x.
set(TRIPLE s390x-linux-gnu)
set(PROCESSOR s390x)
set(QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
