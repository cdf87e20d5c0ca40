# Windows tree: the setup program and the stand-in word processor (win32 thread model),
# or, with VELMORRA_WIN_TESTS, the Win32 test runner (posix thread model, for GoogleTest).
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 1252")

add_compile_definitions(_WIN32_WINNT=0x0500 WINVER=0x0500 _WIN32_IE=0x0500 STRICT NOMINMAX)
set(WIN_LINK_FLAGS
    -static -static-libgcc -static-libstdc++
    -Wl,--major-os-version,5,--minor-os-version,0
    -Wl,--major-subsystem-version,5,--minor-subsystem-version,0)
set(WIN_SYSTEM_LIBS comctl32 ole32 oleaut32 uuid shell32 gdi32 user32 advapi32 kernel32)
set(ZLIB_STATIC /usr/i686-w64-mingw32/lib/libz.a)

file(GLOB WIN_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/src/platform/Win32Platform*.cpp
     ${CMAKE_SOURCE_DIR}/src/wizard/win32/*.cpp)

add_library(velmorra_core STATIC ${CORE_SOURCES} ${WIN_SOURCES})
target_include_directories(velmorra_core PUBLIC ${CMAKE_SOURCE_DIR}/src /usr/i686-w64-mingw32/include)
target_link_libraries(velmorra_core PUBLIC ${ZLIB_STATIC} ${WIN_SYSTEM_LIBS})

if(VELMORRA_WIN_TESTS)
    # GoogleTest from the Debian sources, built with the cross compiler.
    set(GTEST_ROOT /usr/src/googletest/googletest)
    add_library(gtest_win STATIC ${GTEST_ROOT}/src/gtest-all.cc ${GTEST_ROOT}/src/gtest_main.cc)
    target_include_directories(gtest_win PUBLIC ${GTEST_ROOT}/include PRIVATE ${GTEST_ROOT})
    target_compile_options(gtest_win PRIVATE -w)
    file(GLOB WIN_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*.cpp)
    add_executable(win_tests ${WIN_TEST_SOURCES})
    target_include_directories(win_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/win)
    target_link_libraries(win_tests PRIVATE velmorra_core gtest_win)
    target_link_options(win_tests PRIVATE ${WIN_LINK_FLAGS})
    return()
endif()

# Small, stripped product.
add_compile_options(-Os -ffunction-sections -fdata-sections)
list(APPEND WIN_LINK_FLAGS -s -Wl,--gc-sections)

# The stand-in word processor of the demo payload.
file(GLOB VLM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/payload/vlm/*.cpp ${CMAKE_SOURCE_DIR}/payload/vlm/*.rc)
add_executable(vlm WIN32 ${VLM_SOURCES})
target_link_options(vlm PRIVATE ${WIN_LINK_FLAGS})
target_link_libraries(vlm PRIVATE user32 gdi32 advapi32 kernel32)

# The payload folder and the "FILES" archive made from it.
set(VELMORRA_PAYLOAD_DIR "" CACHE PATH "Folder of files to install; empty for the demo payload")
set(VELMORRA_HOST_TOOLS "" CACHE PATH "Folder holding velmorra-pack and velmorra-demo-payload (host build)")
set(FILES_ARCHIVE ${CMAKE_BINARY_DIR}/files.bin)
if(VELMORRA_PAYLOAD_DIR)
    file(GLOB_RECURSE PAYLOAD_FILES CONFIGURE_DEPENDS ${VELMORRA_PAYLOAD_DIR}/*)
    add_custom_command(OUTPUT ${FILES_ARCHIVE}
        COMMAND ${VELMORRA_HOST_TOOLS}/velmorra-pack ${VELMORRA_PAYLOAD_DIR} ${FILES_ARCHIVE}
        DEPENDS ${PAYLOAD_FILES} ${VELMORRA_HOST_TOOLS}/velmorra-pack
        COMMENT "Packing ${VELMORRA_PAYLOAD_DIR}")
else()
    set(DEMO_DIR ${CMAKE_BINARY_DIR}/payload)
    add_custom_command(OUTPUT ${FILES_ARCHIVE}
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${DEMO_DIR}
        COMMAND ${VELMORRA_HOST_TOOLS}/velmorra-demo-payload ${DEMO_DIR}
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:vlm> ${DEMO_DIR}/vlm.exe
        COMMAND ${VELMORRA_HOST_TOOLS}/velmorra-pack ${DEMO_DIR} ${FILES_ARCHIVE}
        DEPENDS vlm ${VELMORRA_HOST_TOOLS}/velmorra-demo-payload ${VELMORRA_HOST_TOOLS}/velmorra-pack
        COMMENT "Generating and packing the demo payload")
endif()
add_custom_target(files_archive DEPENDS ${FILES_ARCHIVE})

file(GLOB SETUP_ENTRY CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/setup/WinMain*.cpp)
add_executable(VelmorraSetup WIN32 ${SETUP_ENTRY} ${CMAKE_SOURCE_DIR}/resources/setup.rc)
add_dependencies(VelmorraSetup files_archive)
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/setup.rc PROPERTIES
    OBJECT_DEPENDS ${FILES_ARCHIVE})
target_include_directories(VelmorraSetup PRIVATE ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}/resources)
target_link_libraries(VelmorraSetup PRIVATE velmorra_core)
target_link_options(VelmorraSetup PRIVATE ${WIN_LINK_FLAGS})
