# Host tree: the portable code, its unit tests, the archive packer and the demo payload generator.
find_package(ZLIB REQUIRED)
find_package(GTest REQUIRED)
include(GoogleTest)
enable_testing()

set(VELMORRA_SANITIZE "" CACHE STRING "Sanitizers for the host build: empty, address (with undefined) or thread")
if(VELMORRA_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
elseif(VELMORRA_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

add_library(velmorra_core STATIC ${CORE_SOURCES})
target_include_directories(velmorra_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(velmorra_core PUBLIC ZLIB::ZLIB)

# Host tools
file(GLOB PACKER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/packer/*.cpp)
if(PACKER_SOURCES)
    add_executable(velmorra-pack ${PACKER_SOURCES})
    target_include_directories(velmorra-pack PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tools)
    target_link_libraries(velmorra-pack PRIVATE ZLIB::ZLIB)
endif()
file(GLOB GENERATOR_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/payload/generator/*.cpp)
if(GENERATOR_SOURCES)
    add_executable(velmorra-demo-payload ${GENERATOR_SOURCES})
endif()

# Unit tests over the fake machine
file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp ${CMAKE_SOURCE_DIR}/tests/unit/support/*.cpp
     ${CMAKE_SOURCE_DIR}/tests/contract/*.cpp)
if(UNIT_TEST_SOURCES)
    add_executable(unit_tests ${UNIT_TEST_SOURCES})
    target_include_directories(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tools)
    target_link_libraries(unit_tests PRIVATE velmorra_core GTest::gtest GTest::gtest_main pthread)
    if(PACKER_SOURCES)
        # The packer's rules are tested too.
        list(FILTER PACKER_SOURCES EXCLUDE REGEX "PackerMain")
        target_sources(unit_tests PRIVATE ${PACKER_SOURCES})
    endif()
    # The stand-in word processor's removal rules (its Windows entry stays out).
    target_sources(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/payload/vlm/Remover.cpp)
    target_include_directories(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/payload/vlm)
    gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60)
endif()

if(EXISTS ${CMAKE_SOURCE_DIR}/tests/fuzz/CMakeLists.txt)
    add_subdirectory(tests/fuzz)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/bench/CMakeLists.txt)
    add_subdirectory(bench)
endif()
