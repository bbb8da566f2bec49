# The library's test sources that are plain C++, for the Linux suites
# (tests/JPEGsource, tests/Graphics) and their Windows build (tests/windows);
# what runs other projects' decoders stays beside the Linux suites.
set(RASTELLO_JPEG_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/JPEGsource/quantization_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JPEGsource/component_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JPEGsource/huffman_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JPEGsource/bitoutput_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JPEGsource/entropy_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JPEGsource/scanplan_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JPEGsource/stream_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JPEGsource/golden_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JPEGsource/earlyconversion_test.cpp)
set(RASTELLO_GRAPHICS_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/Graphics/bitmapimage_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Graphics/outputbytestream_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Graphics/bmpencoder_test.cpp)
