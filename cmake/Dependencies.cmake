# Imported targets for the libraries of the dependency cache.

add_library(dep::tinyxml STATIC IMPORTED GLOBAL)
set_target_properties(dep::tinyxml PROPERTIES
  IMPORTED_LOCATION "${PELORA_TINYXML_ROOT}/lib/libtinyxml.a"
  INTERFACE_INCLUDE_DIRECTORIES "${PELORA_TINYXML_ROOT}/include")

add_library(dep::lzma STATIC IMPORTED GLOBAL)
set_target_properties(dep::lzma PROPERTIES
  IMPORTED_LOCATION "${PELORA_LZMA_ROOT}/lib/liblzma7z.a"
  INTERFACE_INCLUDE_DIRECTORIES "${PELORA_LZMA_ROOT}/include")

add_library(dep::protobuf STATIC IMPORTED GLOBAL)
set_target_properties(dep::protobuf PROPERTIES
  IMPORTED_LOCATION "${PELORA_PROTOBUF_ROOT}/lib/libprotobuf.a"
  INTERFACE_INCLUDE_DIRECTORIES "${PELORA_PROTOBUF_ROOT}/include")
# The lite runtime: messages built, serialised and parsed, without descriptors or reflection.
add_library(dep::protobuf_lite STATIC IMPORTED GLOBAL)
set_target_properties(dep::protobuf_lite PROPERTIES
  IMPORTED_LOCATION "${PELORA_PROTOBUF_ROOT}/lib/libprotobuf-lite.a"
  INTERFACE_INCLUDE_DIRECTORIES "${PELORA_PROTOBUF_ROOT}/include")

add_library(dep::gtest STATIC IMPORTED GLOBAL)
set_target_properties(dep::gtest PROPERTIES
  IMPORTED_LOCATION "${PELORA_GTEST_ROOT}/lib/libgtest.a"
  INTERFACE_INCLUDE_DIRECTORIES "${PELORA_GTEST_ROOT}/include")
add_library(dep::gmock STATIC IMPORTED GLOBAL)
set_target_properties(dep::gmock PROPERTIES
  IMPORTED_LOCATION "${PELORA_GTEST_ROOT}/lib/libgmock.a"
  INTERFACE_INCLUDE_DIRECTORIES "${PELORA_GTEST_ROOT}/include"
  INTERFACE_LINK_LIBRARIES dep::gtest)
add_library(dep::gtest_main STATIC IMPORTED GLOBAL)
set_target_properties(dep::gtest_main PROPERTIES
  IMPORTED_LOCATION "${PELORA_GTEST_ROOT}/lib/libgtest_main.a"
  INTERFACE_LINK_LIBRARIES dep::gtest)

find_program(PROTOC protoc REQUIRED)
find_program(SEVENZIP 7zz REQUIRED)
